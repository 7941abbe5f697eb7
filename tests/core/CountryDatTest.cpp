// The catalogue shipped in data/: its form and a few well-known counties.

#include "regions/RegionCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tervane {
namespace {

const std::filesystem::path kShipped = std::filesystem::path(TERVANE_SOURCE_DIR) / "data" / "Country.dat";

TEST(CountryDat, KnownCountiesHaveTheirCodes)
{
    const struct {
        const char* state;
        const char* county;
        const char* fips;
    } rows[] = {
        {"VA", "Fairfax", "059"},
        {"VA", "Fairfax city", "600"},
        {"CA", "Los Angeles", "037"},
        {"AK", "Kusilvak Census Area", "158"},
        {"AK", "Chugach Census Area", "063"},
        {"SD", "Oglala Lakota", "102"},
        {"PR", "San Juan", "127"},
        {"NM", "Dona Ana", "013"},
        {"AK", "Wade Hampton Census Area", ""},   // renamed since 2010
        {"AK", "Valdez-Cordova Census Area", ""}, // split since 2010
    };
    RegionCatalogue catalogue(kShipped);
    for (const auto& row : rows) {
        std::string fips;
        std::string error;
        ASSERT_TRUE(catalogue.GetStateCo(row.state, row.county, fips, error)) << error;
        EXPECT_EQ(row.fips, fips) << row.state << ' ' << row.county;
    }
}

TEST(CountryDat, EveryStateHasCountiesInTheUsRegion)
{
    std::vector<std::string> states;
    std::string error;
    ASSERT_TRUE(ListStates(kShipped, states, error)) << error;
    EXPECT_EQ(56u, states.size());
    EXPECT_NE(states.end(), std::find(states.begin(), states.end(), "VA Virginia"));
    for (const auto& state : states) {
        CountyList list;
        ASSERT_TRUE(ListCounties(kShipped, state.substr(0, 2), list, error)) << error;
        EXPECT_FALSE(list.counties.empty()) << state;
        EXPECT_EQ(std::optional<std::string>("US"), list.regionDesignation) << state;
    }
}

TEST(CountryDat, IsAsciiWithCrLfLineEndsAndTaggedRecords)
{
    std::ifstream in(kShipped, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(text.empty());
    ASSERT_EQ("\r\n", text.substr(text.size() - 2));
    std::size_t start = 0;
    int lineNumber = 1;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(std::string::npos, end) << "line " << lineNumber;
        const std::string line = text.substr(start, end - start);
        for (char c : line)
            ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "line " << lineNumber << ": " << line;
        const std::string tag = line.substr(0, 4);
        ASSERT_TRUE(tag == "RA  " || tag == "RB  " || tag == "RC  ") << "line " << lineNumber << ": " << line;
        start = end + 2;
        ++lineNumber;
    }
}

} // namespace
} // namespace tervane
