// The catalogue shipped in data/: a few well-known counties, renamed and split ones too.

#include "regions/RegionCatalogue.h"

#include <gtest/gtest.h>

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
        {"AK", "Kusilvak Census Area", "158"},
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

} // namespace
} // namespace tervane
