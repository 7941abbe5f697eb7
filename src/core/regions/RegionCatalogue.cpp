#include "regions/RegionCatalogue.h"

#include "io/WholeFile.h"
#include "text/SizeText.h"
#include "text/Trim.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

namespace tervane {

namespace {

constexpr std::string_view kRegionTag = "RA";
constexpr std::string_view kStateTag = "RB";
constexpr std::string_view kCountyTag = "RC";
constexpr std::string_view kUsRegionCode = "US";
constexpr std::size_t kMinIndexDigits = 4;
constexpr std::string_view kIndexLead = "      ";

// Record columns, 1-based as the file format counts them.
constexpr std::size_t kCodeColumn = 5; // region code, state code, FIPS code
constexpr std::size_t kStateCodeWidth = 2;
constexpr std::size_t kFipsWidth = 3;
constexpr std::size_t kDesignationColumn = 8; // region designation
constexpr std::size_t kCountyNameColumn = 9;  // county name

// The characters of `line` from 1-based `column` on, at most `count` of them; empty
// when the line is shorter.
std::string_view Columns(std::string_view line, std::size_t column,
                         std::size_t count = std::string_view::npos)
{
    if (line.size() < column)
        return {};
    return line.substr(column - 1, count);
}

std::string_view Tag(std::string_view line)
{
    return line.substr(0, 2);
}

// The file's lines in order. Lines may end CR LF or LF: splitting at LF and dropping
// one CR before it reads both, so a catalogue saved by a Unix editor still works.
// A final line end yields one more, empty line, which no reader uses.
bool ReadLines(const std::filesystem::path& file, std::vector<std::string>& lines, std::string& error)
{
    lines.clear();
    error.clear();
    std::string text;
    std::string reason;
    switch (ReadWholeFile(file, kMaxCatalogueBytes, text, reason)) {
    case WholeFileStatus::Read:
        break;
    case WholeFileStatus::NotRegularFile:
        error = "The region catalogue " + file.string() + " is not a regular file and was not read";
        return false;
    case WholeFileStatus::TooLarge:
        error = "The region catalogue " + file.string() + " is larger than " + SizeText(kMaxCatalogueBytes) +
                " and was not read";
        return false;
    case WholeFileStatus::CannotOpen:
        error = "Cannot open the region catalogue " + file.string() + ": " + reason;
        return false;
    case WholeFileStatus::CannotRead:
        error = "Cannot read the region catalogue " + file.string() + ": " + reason;
        return false;
    }

    std::size_t start = 0;
    while (true) {
        auto end = text.find('\n', start);
        std::string_view line(text.data() + start, (end == std::string::npos ? text.size() : end) - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

} // namespace

std::filesystem::path FindDataFile(const std::filesystem::path& programDir, std::string_view name)
{
    const std::filesystem::path beside = programDir / name;
    const std::filesystem::path installed = programDir / ".." / "share" / "tervane" / name;
    std::error_code ec;
    if (std::filesystem::exists(beside, ec))
        return beside;
    if (std::filesystem::exists(installed, ec))
        return installed.lexically_normal();
    return beside;
}

bool ListStates(const std::filesystem::path& file, std::vector<std::string>& states, std::string& error)
{
    states.clear();
    std::vector<std::string> lines;
    if (!ReadLines(file, lines, error))
        return false;
    for (const auto& raw : lines) {
        std::string_view line = TrimSpaces(raw);
        if (Tag(line) == kStateTag)
            states.emplace_back(Columns(line, kCodeColumn));
    }
    return true;
}

bool ListCounties(const std::filesystem::path& file, std::string_view stateCode, CountyList& result,
                  std::string& error)
{
    result = CountyList{};
    std::vector<std::string> lines;
    if (!ReadLines(file, lines, error))
        return false;

    // Once a matching state's block has ended, region records no longer count: the
    // designation stays that of the region above the first matching state.
    bool blockEnded = false;
    std::size_t i = 0;
    while (i < lines.size()) {
        std::string_view line = TrimSpaces(lines[i++]);
        if (Tag(line) == kRegionTag && !blockEnded)
            result.regionDesignation = std::string(TrimSpaces(Columns(line, kDesignationColumn)));
        if (Tag(line) != kStateTag || Columns(line, kCodeColumn, kStateCodeWidth) != stateCode)
            continue;
        // The record that ends the block is consumed with it: a state record that
        // directly follows this block is not itself looked at, nor is a region record.
        while (i < lines.size()) {
            std::string_view inner = TrimSpaces(lines[i++]);
            if (Tag(inner) == kStateTag || Tag(inner) == kRegionTag)
                break;
            if (Tag(inner) == kCountyTag)
                result.counties.emplace_back(Columns(inner, kCountyNameColumn));
        }
        blockEnded = true;
    }
    return true;
}

RegionCatalogue::RegionCatalogue(std::filesystem::path file) : m_file(std::move(file)) {}

bool RegionCatalogue::Load(std::string& error)
{
    m_stateIndex.clear();
    if (!ReadLines(m_file, m_lines, error)) {
        m_lines.clear();
        return false;
    }

    // Line numbers are written in full, however many digits they take, so that a
    // catalogue of any length indexes every state at its own record.
    m_stateIndex = kIndexLead;
    bool inUsRegion = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view line = m_lines[i];
        if (Tag(line) == kRegionTag) {
            inUsRegion = Columns(line, kCodeColumn, kStateCodeWidth) == kUsRegionCode;
        } else if (Tag(line) == kStateTag && inUsRegion) {
            std::string number = std::to_string(i);
            if (number.size() < kMinIndexDigits)
                number.insert(0, kMinIndexDigits - number.size(), '0');
            m_stateIndex += Columns(line, kCodeColumn, kStateCodeWidth);
            m_stateIndex += number;
            m_stateIndex += ' ';
        }
    }
    m_loaded = true;
    return true;
}

bool RegionCatalogue::GetStateCo(std::string_view state, std::string_view county, std::string& fipsCode,
                                 std::string& error)
{
    fipsCode.clear();
    error.clear();
    if (!m_loaded && !Load(error))
        return false;

    // The digits right after the first occurrence of the code are that record's line.
    // The first occurrence may also straddle an entry ("A0" in "VA0012 "), and its digits
    // then name another state's line, which may lie past every record of this one. Only
    // a start on a record of the state itself is kept; otherwise the scan starts at the
    // top, as it does for a state the index does not hold.
    std::size_t start = 0;
    auto pos = m_stateIndex.find(state);
    if (pos != std::string::npos) {
        const char* first = m_stateIndex.data() + pos + state.size();
        const char* last = m_stateIndex.data() + m_stateIndex.size();
        auto [end, ec] = std::from_chars(first, last, start);
        (void)end;
        if (ec != std::errc() || start >= m_lines.size() || Tag(m_lines[start]) != kStateTag ||
            Columns(m_lines[start], kCodeColumn, kStateCodeWidth) != state)
            start = 0;
    }

    bool inState = false;
    for (std::size_t i = start; i < m_lines.size(); ++i) {
        std::string_view line = m_lines[i];
        if (Tag(line) == kStateTag) {
            inState = Columns(line, kCodeColumn, kStateCodeWidth) == state;
        } else if (inState && TrimSpaces(Columns(line, kCountyNameColumn)) == county) {
            fipsCode = Columns(line, kCodeColumn, kFipsWidth);
            return true;
        }
    }
    return true;
}

} // namespace tervane
