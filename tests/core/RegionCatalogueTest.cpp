#include "regions/RegionCatalogue.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

#include <random>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A scratch folder of its own, removed afterwards.
struct ScratchDir {
    fs::path dir =
        fs::temp_directory_path() / ("tervane-catalogue-" + std::to_string(std::random_device()()));
    ScratchDir() { fs::create_directories(dir); }
    ~ScratchDir() { fs::remove_all(dir); }

    // The lines joined by `lineEnd`, with a final line end, byte for byte.
    fs::path Write(const Lines& lines, const std::string& lineEnd = "\r\n") const
    {
        std::string text;
        for (const auto& line : lines)
            text += line + lineEnd;
        testing::WriteFile(dir / "Country.dat", text);
        return dir / "Country.dat";
    }
};

// One catalogue for the three readers, read with CR LF and with LF-only line ends. The
// lists trim blanks around records; the lookup takes records as they stand.
const Lines kCatalogue = {
    "; a comment",
    "RA  XX Elsewhere",
    "RB  A0 Somewhere",
    "RC  001 Anywhere",
    "RA  US  United States  ",
    "RB  VA Virginia", // the index holds "VA0005 "
    "RC  059 Fairfax",
    "; note",
    "",
    "RX  001 X",
    "RC  153 Prince William  ",
    "RA  XX Elsewhere", // ends the list's block, not the lookup's state
    "RC  510 Alexandria city",
    "RB  MD Maryland",
    "RC  031 Montgomery",
    "RC  033 Fairfax",
    "RB  VA Virginia (2)", // a later block of the same code is listed too
    "RC  047 Culpeper",
    "RB  VA Virginia (3)", // ends that block, so is not looked at itself
    "RC  137 Orange",
    "  RA  CA  Canada  ",
    " RB  ON Ontario",
    "\tRC  001 Tab",
    "   RC  006 Ottawa   ",
    "RB",
};

TEST(RegionCatalogue, ListsFollowTheBlockRulesTheLookupItsState)
{
    const struct {
        const char* state;
        Lines counties;
        std::optional<std::string> designation; // of the region above the first matching state
    } lists[] = {
        {"VA", {"Fairfax", "Prince William", "Culpeper"}, "United States"},
        {"MD", {"Montgomery", "Fairfax"}, "Elsewhere"},
        {"ON", {"Ottawa"}, "Canada"},
        {"va", {}, "Canada"}, // no match: the last region
    };
    const struct {
        const char* name;
        const char* state;
        const char* county;
        const char* fips;
    } lookups[] = {
        {"plain", "VA", "Fairfax", "059"},
        {"same name in another state", "MD", "Fairfax", "033"},
        {"trailing blanks in the file", "VA", "Prince William", "153"},
        {"a region record does not end the state", "VA", "Alexandria city", "510"},
        {"a later record of the state", "VA", "Orange", "137"},
        // Found by fuzzing: the index is searched as plain text, so the code matched
        // across Virginia's entry ("VA0005 "), and the scan started past A0's own record.
        {"a code inside another state's index entry", "A0", "Anywhere", "001"},
        {"county of another state", "VA", "Montgomery", ""},
        {"letter case differs", "VA", "fairfax", ""},
        {"unknown state", "TX", "Fairfax", ""},
    };
    for (const std::string lineEnd : {"\r\n", "\n"}) {
        SCOPED_TRACE(lineEnd == "\n" ? "LF" : "CR LF");
        ScratchDir scratch;
        const fs::path file = scratch.Write(kCatalogue, lineEnd);
        Lines states;
        std::string error;
        ASSERT_TRUE(ListStates(file, states, error));
        EXPECT_EQ((Lines{"A0 Somewhere", "VA Virginia", "MD Maryland", "VA Virginia (2)", "VA Virginia (3)",
                         "ON Ontario", ""}),
                  states);
        for (const auto& row : lists) {
            CountyList result;
            ASSERT_TRUE(ListCounties(file, row.state, result, error)) << row.state;
            EXPECT_EQ(row.counties, result.counties) << row.state;
            EXPECT_EQ(row.designation, result.regionDesignation) << row.state;
        }
        RegionCatalogue catalogue(file);
        for (const auto& row : lookups) {
            std::string fips = "999"; // an earlier code must not survive
            ASSERT_TRUE(catalogue.GetStateCo(row.state, row.county, fips, error)) << row.name;
            EXPECT_EQ(row.fips, fips) << row.name;
        }
    }
    ScratchDir scratch;
    CountyList result;
    std::string error;
    ASSERT_TRUE(ListCounties(scratch.Write({"RB  VA Virginia", "RC  059 Fairfax"}), "VA", result, error));
    EXPECT_EQ(Lines{"Fairfax"}, result.counties);
    EXPECT_EQ(std::nullopt, result.regionDesignation); // no region record
}

// Regression: line numbers were 16-bit, so a catalogue past 32,767 lines failed, and the
// index held only four digits of each line number. Decoy records outside the US region
// come first: only a scan that starts at the state's own record passes them by.
TEST(RegionCatalogue, LargeCataloguesFindEveryStateAtItsOwnRecord)
{
    constexpr int kStates = 60;
    constexpr int kCountiesPerState = 800; // about 48,000 lines
    auto code = [](int s) {
        return std::string{static_cast<char>('A' + s / 26), static_cast<char>('A' + s % 26)};
    };
    const int probes[] = {0, 40, 41, kStates - 1};
    Lines file = {"RA  XX Elsewhere"};
    for (int s : probes) {
        file.push_back("RB  " + code(s) + " Decoy");
        file.push_back("RC  999 County 799");
    }
    file.push_back("RA  US US");
    for (int s = 0; s < kStates; ++s) {
        file.push_back("RB  " + code(s) + " State");
        for (int c = 0; c < kCountiesPerState; ++c)
            file.push_back("RC  " + std::to_string(100 + (c + s) % 900) + " County " + std::to_string(c));
    }
    ScratchDir scratch;
    RegionCatalogue catalogue(scratch.Write(file));
    for (int s : probes) {
        std::string fips;
        std::string error;
        ASSERT_TRUE(catalogue.GetStateCo(code(s), "County 799", fips, error)) << error;
        EXPECT_EQ(std::to_string(100 + (799 + s) % 900), fips) << code(s);
    }
}

// A missing file is an error for each reader; the lookup tries again at its next call.
TEST(RegionCatalogue, ReadFailuresAreReportedAndRetried)
{
    ScratchDir scratch;
    const fs::path file = scratch.dir / "Country.dat";
    Lines states{"old"};
    CountyList counties;
    std::string error;
    EXPECT_FALSE(ListStates(file, states, error));
    EXPECT_NE(std::string::npos, error.find(file.string())) << error;
    EXPECT_TRUE(states.empty());
    EXPECT_FALSE(ListCounties(file, "VA", counties, error));

    RegionCatalogue catalogue(file);
    std::string fips = "059";
    EXPECT_FALSE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("", fips);
    scratch.Write({"RA  US US", "RB  VA Virginia", "RC  059 Fairfax"});
    ASSERT_TRUE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("059", fips);
}

} // namespace
} // namespace tervane
