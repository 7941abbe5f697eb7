#include "retrieval/MarkList.h"

#include "retrieval/ControlType.h"

namespace tervane {

namespace {

constexpr std::string_view kInputErrorPrefix = "INPUT ERR";
constexpr std::size_t kMarkPointColumn = 4;
constexpr char kCorsHorizontalOrder = 'S'; // shown as a star

// 1-based first column and width of each field; see the table in the header.
struct Column {
    std::size_t first;
    std::size_t width;
};
constexpr Column kPidColumns{7, 6};
constexpr Column kHorizontalOrderColumns{14, 1};
constexpr Column kVerticalOrderColumns{16, 1};
constexpr Column kLatitudeHemisphereColumns{30, 1};
constexpr Column kLatitudeColumns{31, 6};
constexpr Column kLongitudeHemisphereColumns{38, 1};
constexpr Column kLongitudeColumns{39, 7};
constexpr Column kDesignationColumns{52, std::string_view::npos};

// A field that starts past the line's end is empty; one the end cuts is short.
std::string Field(std::string_view line, Column column)
{
    auto start = column.first - 1;
    return start >= line.size() ? std::string() : std::string(line.substr(start, column.width));
}

bool IsMarkLine(std::string_view line)
{
    return line.size() >= kMarkPointColumn && line[kMarkPointColumn - 1] == '.';
}

} // namespace

MarkListReply ReadMarkList(std::string_view reply, std::string_view controlCode)
{
    MarkListReply result;
    auto firstEnd = reply.find('\n');
    std::string_view firstLine = reply.substr(0, firstEnd);
    if (firstLine.substr(0, kInputErrorPrefix.size()) == kInputErrorPrefix) {
        result.outcome = ReplyOutcome::InputError;
        result.message = std::string(firstLine);
        return result;
    }

    const bool cors = IsCorsCode(controlCode);
    const bool vertical = IsVerticalCode(controlCode);
    std::size_t start = 0;
    while (start <= reply.size()) {
        auto end = reply.find('\n', start);
        std::string_view line =
            reply.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (IsMarkLine(line)) {
            MarkRecord& record = result.records.emplace_back();
            record.pid = Field(line, kPidColumns);
            record.horizontalOrder = Field(line, kHorizontalOrderColumns);
            record.verticalOrder = Field(line, kVerticalOrderColumns);
            record.latitudeHemisphere = Field(line, kLatitudeHemisphereColumns);
            record.latitudeText = Field(line, kLatitudeColumns);
            record.longitudeHemisphere = Field(line, kLongitudeHemisphereColumns);
            record.longitudeText = Field(line, kLongitudeColumns);
            record.designation = Field(line, kDesignationColumns);
            if (cors)
                record.horizontalOrder.assign(1, kCorsHorizontalOrder);
            if (vertical)
                record.horizontalOrder.clear();
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    result.outcome = result.records.empty() ? ReplyOutcome::NoMarks : ReplyOutcome::Marks;
    return result;
}

} // namespace tervane
