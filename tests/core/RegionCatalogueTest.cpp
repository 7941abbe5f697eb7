#include "regions/RegionCatalogue.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A catalogue file in a folder of its own: the lines joined by `lineEnd`, with a final line end.
struct Catalogue : testing::Folder {
    const fs::path file = path / "Country.dat";
    const fs::path& Write(const Lines& lines, const std::string& lineEnd = "\r\n") const
    {
        std::string text;
        for (const auto& line : lines)
            text += line + lineEnd;
        testing::WriteFile(file, text);
        return file;
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
    // designation: of the region above the first matching state
    const std::tuple<const char*, Lines, std::optional<std::string>> lists[] = {
        {"VA", {"Fairfax", "Prince William", "Culpeper"}, "United States"},
        {"MD", {"Montgomery", "Fairfax"}, "Elsewhere"},
        {"ON", {"Ottawa"}, "Canada"},
        {"va", {}, "Canada"}, // no match: the last region
    };
    const char* lookups[][3] = {
        // state, county, FIPS code
        {"VA", "Fairfax", "059"},
        {"MD", "Fairfax", "033"},         // the same name in another state
        {"VA", "Prince William", "153"},  // trailing blanks in the file
        {"VA", "Alexandria city", "510"}, // a region record does not end the state
        {"VA", "Orange", "137"},          // a later record of the state
        // Found by fuzzing: the index is searched as plain text, so the code matched
        // across Virginia's entry ("VA0005 "), and the scan started past A0's own record.
        {"A0", "Anywhere", "001"},
        {"VA", "Montgomery", ""}, // a county of another state
        {"VA", "fairfax", ""},    // letter case differs
    };
    for (const std::string lineEnd : {"\r\n", "\n"}) {
        SCOPED_TRACE(lineEnd == "\n" ? "LF" : "CR LF");
        Catalogue scratch;
        const fs::path file = scratch.Write(kCatalogue, lineEnd);
        Lines states;
        std::string error;
        ASSERT_TRUE(ListStates(file, states, error));
        EXPECT_EQ((Lines{"A0 Somewhere", "VA Virginia", "MD Maryland", "VA Virginia (2)", "VA Virginia (3)",
                         "ON Ontario", ""}),
                  states);
        for (const auto& [state, counties, designation] : lists) {
            CountyList result;
            ASSERT_TRUE(ListCounties(file, state, result, error)) << state;
            EXPECT_EQ(counties, result.counties) << state;
            EXPECT_EQ(designation, result.regionDesignation) << state;
        }
        RegionCatalogue catalogue(file);
        for (const auto& [state, county, code] : lookups) {
            std::string fips = "999"; // an earlier code must not survive
            ASSERT_TRUE(catalogue.GetStateCo(state, county, fips, error)) << state << ' ' << county;
            EXPECT_EQ(code, fips) << state << ' ' << county;
        }
    }
}

// Regression: line numbers were 16-bit, so a catalogue past 32,767 lines failed, and the
// index held only four digits of each line number. Decoy records outside the US region
// come first: only a scan that starts at the state's own record passes them by.
TEST(RegionCatalogue, LargeCataloguesFindEveryStateAtItsOwnRecord)
{
    auto code = [](int s) {
        return std::string{static_cast<char>('A' + s / 26), static_cast<char>('A' + s % 26)};
    };
    const int probes[] = {0, 40, 41, 59};
    Lines file = {"RA  XX Elsewhere"};
    for (int s : probes)
        file.insert(file.end(), {"RB  " + code(s) + " Decoy", "RC  999 Last"});
    file.push_back("RA  US US");
    for (int s = 0; s < 60; ++s) { // about 48,000 lines
        file.push_back("RB  " + code(s) + " State");
        file.resize(file.size() + 800, "RC  001 County");
        file.push_back("RC  " + std::to_string(100 + s) + " Last");
    }
    Catalogue scratch;
    RegionCatalogue catalogue(scratch.Write(file));
    for (int s : probes) {
        std::string fips;
        std::string error;
        ASSERT_TRUE(catalogue.GetStateCo(code(s), "Last", fips, error)) << error;
        EXPECT_EQ(std::to_string(100 + s), fips) << code(s);
    }
}

// A catalogue that cannot be read is an error, and the lookup tries again at its next call.
// A catalogue without region records gives counties without a designation.
TEST(RegionCatalogue, ReadFailuresAreReportedAndRetried)
{
    Catalogue scratch;
    RegionCatalogue catalogue(scratch.file);
    std::string fips = "059";
    std::string error;
    EXPECT_FALSE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("Cannot open the region catalogue " + scratch.file.string() + ": No such file or directory",
              error);
    EXPECT_EQ("", fips);
    Lines states{"old"};
    EXPECT_FALSE(ListStates(scratch.file, states, error));
    EXPECT_TRUE(states.empty());

    scratch.Write({"RB  VA Virginia", "RC  059 Fairfax"});
    ASSERT_TRUE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("059", fips);
    CountyList counties;
    ASSERT_TRUE(ListCounties(scratch.file, "VA", counties, error));
    EXPECT_EQ(Lines{"Fairfax"}, counties.counties);
    EXPECT_EQ(std::nullopt, counties.regionDesignation);
}

// The catalogue shipped in data/: a few well-known counties, renamed and split ones too.
TEST(CountryDat, KnownCountiesHaveTheirCodes)
{
    const char* const rows[][3] = {
        {"VA", "Fairfax", "059"},
        {"AK", "Kusilvak Census Area", "158"},
        {"AK", "Wade Hampton Census Area", ""},   // renamed since 2010
        {"AK", "Valdez-Cordova Census Area", ""}, // split since 2010
    };
    RegionCatalogue catalogue(fs::path(TERVANE_SOURCE_DIR) / "data" / "Country.dat");
    for (const auto& [state, county, code] : rows) {
        std::string fips;
        std::string error;
        ASSERT_TRUE(catalogue.GetStateCo(state, county, fips, error)) << error;
        EXPECT_EQ(code, fips) << state << ' ' << county;
    }
}

} // namespace
} // namespace tervane
