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
void TakeField(std::string& field, std::string_view line, Column column)
{
    auto start = column.first - 1;
    if (start < line.size())
        field.assign(line.substr(start, column.width));
}

bool IsMarkLine(std::string_view line)
{
    return line.size() >= kMarkPointColumn && line[kMarkPointColumn - 1] == '.';
}

// Lines are cut at LF only; the text after the last LF is a line too.
template <typename Visit> void ForEachLine(std::string_view text, Visit visit)
{
    std::size_t start = 0;
    while (true) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            visit(text.substr(start));
            return;
        }
        visit(text.substr(start, end - start));
        start = end + 1;
    }
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

    // Counting the mark lines first spares the record list its regrowth, which on a
    // large reply costs more than the counting pass.
    std::size_t markLines = 0;
    ForEachLine(reply, [&](std::string_view line) { markLines += IsMarkLine(line) ? 1 : 0; });
    result.records.reserve(markLines);

    const bool cors = IsCorsCode(controlCode);
    const bool vertical = IsVerticalCode(controlCode);
    ForEachLine(reply, [&](std::string_view line) {
        if (IsMarkLine(line)) {
            MarkRecord& record = result.records.emplace_back();
            TakeField(record.pid, line, kPidColumns);
            TakeField(record.horizontalOrder, line, kHorizontalOrderColumns);
            TakeField(record.verticalOrder, line, kVerticalOrderColumns);
            TakeField(record.latitudeHemisphere, line, kLatitudeHemisphereColumns);
            TakeField(record.latitudeText, line, kLatitudeColumns);
            TakeField(record.longitudeHemisphere, line, kLongitudeHemisphereColumns);
            TakeField(record.longitudeText, line, kLongitudeColumns);
            TakeField(record.designation, line, kDesignationColumns);
            if (cors)
                record.horizontalOrder.assign(1, kCorsHorizontalOrder);
            if (vertical)
                record.horizontalOrder.clear();
        }
    });
    result.outcome = result.records.empty() ? ReplyOutcome::NoMarks : ReplyOutcome::Marks;
    return result;
}

} // namespace tervane
