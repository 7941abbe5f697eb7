#include "marks/MarkList.h"

#include <utility>

namespace tervane {

namespace {

constexpr std::size_t kMarkPointColumn = 4;
constexpr std::string_view kCorsHorizontalOrder = "S"; // shown as a star

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
std::string_view Field(std::string_view line, Column column)
{
    const auto start = column.first - 1;
    return start < line.size() ? line.substr(start, column.width) : std::string_view();
}

bool IsMarkLine(std::string_view line)
{
    return line.size() >= kMarkPointColumn && line[kMarkPointColumn - 1] == '.';
}

// Lines are cut at LF only; the text after the last LF is a line too. Returns the start
// of the line after the one at `start`, or npos when that one is the last.
std::size_t NextLine(std::string_view text, std::size_t start)
{
    const auto end = text.find('\n', start);
    return end == std::string_view::npos ? std::string_view::npos : end + 1;
}

std::string_view LineAt(std::string_view text, std::size_t start, std::size_t next)
{
    return text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - 1 - start);
}

// The first mark line at or after `start`, or npos.
std::size_t FindMarkLine(std::string_view text, std::size_t start)
{
    while (start != std::string_view::npos) {
        const auto next = NextLine(text, start);
        if (IsMarkLine(LineAt(text, start, next)))
            return start;
        start = next;
    }
    return start;
}

} // namespace

MarkRecords::Iterator::Iterator(std::string_view text, std::size_t line, OrderCodeRule rule)
    : m_text(text), m_line(line), m_rule(rule)
{
    Cut();
}

MarkRecords::Iterator& MarkRecords::Iterator::operator++()
{
    m_line = FindMarkLine(m_text, m_next);
    Cut();
    return *this;
}

void MarkRecords::Iterator::Cut()
{
    if (m_line == std::string_view::npos) {
        m_record = MarkRecord{};
        return;
    }
    m_next = NextLine(m_text, m_line);
    const std::string_view line = LineAt(m_text, m_line, m_next);
    m_record.pid = Field(line, kPidColumns);
    m_record.horizontalOrder = Field(line, kHorizontalOrderColumns);
    m_record.verticalOrder = Field(line, kVerticalOrderColumns);
    m_record.latitudeHemisphere = Field(line, kLatitudeHemisphereColumns);
    m_record.latitudeText = Field(line, kLatitudeColumns);
    m_record.longitudeHemisphere = Field(line, kLongitudeHemisphereColumns);
    m_record.longitudeText = Field(line, kLongitudeColumns);
    m_record.designation = Field(line, kDesignationColumns);
    if (m_rule == OrderCodeRule::Star)
        m_record.horizontalOrder = kCorsHorizontalOrder;
    else if (m_rule == OrderCodeRule::NoHorizontal)
        m_record.horizontalOrder = {};
}

bool IsCorsCode(std::string_view code)
{
    return code == kCorsCode;
}

bool IsVerticalCode(std::string_view code)
{
    return !code.empty() && code.front() == 'V';
}

bool IsHorizontalOnlyCode(std::string_view code)
{
    return code == kHorizontalOnlyCode;
}

MarkListReply ReadMarkList(std::string reply, std::string_view controlCode)
{
    MarkListReply result;
    const std::string_view text = reply;
    const std::string_view firstLine = text.substr(0, text.find('\n'));
    if (IsInputErrorReply(firstLine)) {
        result.outcome = ReplyOutcome::InputError;
        result.message = std::string(firstLine);
        return result;
    }

    // One pass counts the marks and notes where the first stands; the records
    // themselves are cut when visited.
    MarkRecords& records = result.records;
    for (auto line = FindMarkLine(text, 0); line != std::string_view::npos;
         line = FindMarkLine(text, NextLine(text, line))) {
        if (records.m_count++ == 0)
            records.m_first = line;
    }
    if (IsVerticalCode(controlCode))
        records.m_rule = OrderCodeRule::NoHorizontal;
    else if (IsCorsCode(controlCode))
        records.m_rule = OrderCodeRule::Star;
    records.m_text = std::move(reply);
    result.outcome = records.empty() ? ReplyOutcome::NoMarks : ReplyOutcome::Marks;
    return result;
}

} // namespace tervane
