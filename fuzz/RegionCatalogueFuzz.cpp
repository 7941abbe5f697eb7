// The catalogue readers on any file contents and any keys. Input: the state code up to
// the first LF, the county name up to the second, and the rest is the catalogue file.
// Beyond crashes, the lookup must find what a plain scan finds: the county of the
// state scanned from the state's first record in a "US" region (the index's start),
// or from the top of the file.

#include "regions/RegionCatalogue.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <string_view>
#include <vector>

namespace {

std::filesystem::path g_file;

void RemoveFile() { std::filesystem::remove(g_file); }

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "region catalogue: %s\n", what.c_str());
    std::abort();
}

std::string_view NextLine(std::string_view& input)
{
    auto end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return line;
}

std::string_view Columns(std::string_view line, std::size_t column, std::size_t count = std::string_view::npos)
{
    return line.size() < column ? std::string_view() : line.substr(column - 1, count);
}

std::string_view Trim(std::string_view text)
{
    auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view()
                                           : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ScanFrom(const std::vector<std::string_view>& lines, std::size_t start, std::string_view state,
                     std::string_view county)
{
    bool inState = false;
    for (std::size_t i = start; i < lines.size(); ++i) {
        if (lines[i].substr(0, 2) == "RB")
            inState = Columns(lines[i], 5, 2) == state;
        else if (inState && Trim(Columns(lines[i], 9)) == county)
            return std::string(Columns(lines[i], 5, 3));
    }
    return {};
}

std::size_t FirstUsRecord(const std::vector<std::string_view>& lines, std::string_view state)
{
    bool inUs = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].substr(0, 2) == "RA")
            inUs = Columns(lines[i], 5, 2) == "US";
        else if (lines[i].substr(0, 2) == "RB" && inUs && Columns(lines[i], 5, 2) == state)
            return i;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // On ext4, rewriting a truncated file flushes it to disk on close; thousands of runs a
    // second need a file in memory.
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::is_directory("/dev/shm", ec)
        ? std::filesystem::path("/dev/shm")
        : std::filesystem::temp_directory_path();
    g_file = folder / ("tervane-fuzz-catalogue-" + std::to_string(::getpid()) + ".dat");
    std::atexit(RemoveFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view state = NextLine(input);
    std::string_view county = NextLine(input);
    {
        std::ofstream file(g_file, std::ios::binary | std::ios::trunc);
        file.write(input.data(), static_cast<std::streamsize>(input.size()));
        if (!file.flush())
            Fail("cannot write " + g_file.string());
    }

    std::string error;
    std::vector<std::string> states;
    if (!tervane::ListStates(g_file, states, error))
        Fail("ListStates: " + error);
    tervane::CountyList counties;
    if (!tervane::ListCounties(g_file, state, counties, error))
        Fail("ListCounties: " + error);

    std::vector<std::string_view> lines;
    while (true) {
        bool last = input.find('\n') == std::string_view::npos;
        std::string_view line = NextLine(input);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (last)
            break;
    }
    const std::size_t start = state.empty() ? 0 : FirstUsRecord(lines, state);

    // The second lookup (a county the list shows) is answered from the loaded catalogue.
    tervane::RegionCatalogue catalogue(g_file);
    std::vector<std::string_view> names{county};
    if (!counties.counties.empty())
        names.push_back(Trim(counties.counties.front()));
    for (std::string_view name : names) {
        std::string fips;
        if (!catalogue.GetStateCo(state, name, fips, error))
            Fail("GetStateCo: " + error);
        std::string expected = ScanFrom(lines, start, state, name);
        if (fips != expected && fips != ScanFrom(lines, 0, state, name))
            Fail("GetStateCo found \"" + fips + "\", a scan finds \"" + expected + "\"");
    }
    return 0;
}
