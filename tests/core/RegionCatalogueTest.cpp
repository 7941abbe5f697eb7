#include "regions/RegionCatalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <random>

namespace tervane {
namespace {

namespace fs = std::filesystem;

// A scratch folder of its own per test, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() { fs::create_directories(m_dir); }
    ~ScratchDir()
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    const fs::path& Dir() const { return m_dir; }

    // Writes the lines joined by `lineEnd`, with a final line end, byte for byte.
    fs::path Write(const std::vector<std::string>& lines, const std::string& lineEnd = "\r\n",
                   const std::string& name = "Country.dat") const
    {
        std::ofstream out(m_dir / name, std::ios::binary);
        for (const auto& line : lines)
            out << line << lineEnd;
        return m_dir / name;
    }

  private:
    fs::path m_dir = fs::temp_directory_path() /
                     ("tervane-catalogue-" + std::to_string(std::random_device()()));
};

using Lines = std::vector<std::string>;
using Names = std::vector<std::string>;

TEST(RegionCatalogue, ListStatesTakesEveryStateRecordFromColumnFive)
{
    ScratchDir scratch;
    auto file = scratch.Write({"; a comment", "RA  US US", "  RB  VA Virginia  ", "RC  059 Fairfax", "",
                               "RA  CA Canada", "RB  ON Ontario", "RB  VA Virginia again", "RB"});
    Names states;
    std::string error = "stale";
    ASSERT_TRUE(ListStates(file, states, error));
    EXPECT_EQ("", error);
    EXPECT_EQ((Names{"VA Virginia", "ON Ontario", "VA Virginia again", ""}), states);
}

TEST(RegionCatalogue, ListCountiesFollowsTheBlockRules)
{
    struct Row {
        const char* name;
        Lines file;
        const char* state;
        Names counties;
        std::optional<std::string> designation;
    };
    const std::string us = "RA  US US";
    // clang-format off
    const Row rows[] = {
        {"state without counties", {us, "RB  VA Virginia", "RB  MD Maryland", "RC  031 Montgomery"}, "VA", {},
         "US"},
        {"blanks around records are stripped",
         {"  RA  US  United States  ", " RB  VA Virginia", "\tRC  001 Tab", "   RC  059 Fairfax   "}, "VA",
         {"Fairfax"}, "United States"},
        {"a code in two records lists both blocks",
         {us, "RB  VA Virginia", "RC  059 Fairfax", "RB  MD Maryland", "RC  031 Montgomery",
          "RB  VA Virginia (2)", "RC  153 Prince William"}, "VA", {"Fairfax", "Prince William"}, "US"},
        {"a second record that ends the first block is not examined",
         {us, "RB  VA Virginia", "RC  059 Fairfax", "RB  VA Virginia (2)", "RC  153 Prince William"}, "VA",
         {"Fairfax"}, "US"},
        {"the region record ending a block is not the designation",
         {us, "RB  VA Virginia", "RC  059 Fairfax", "RA  CA Canada", "RB  ON Ontario"}, "VA", {"Fairfax"},
         "US"},
        {"a state outside the US region",
         {us, "RB  VA Virginia", "RA  CA Canada", "RB  ON Ontario", "RC  001 Ottawa"}, "ON", {"Ottawa"},
         "Canada"},
        {"no matching state gives the last region", {us, "RB  VA Virginia", "RA  CA Canada"}, "XX", {},
         "Canada"},
        {"no region record", {"RB  VA Virginia", "RC  059 Fairfax"}, "VA", {"Fairfax"}, std::nullopt},
        {"other lines inside a block are skipped",
         {us, "RB  VA Virginia", "; note", "", "RX  001 X", "RC  059 Fairfax"}, "VA", {"Fairfax"}, "US"},
        {"codes compare case-sensitively", {us, "RB  VA Virginia", "RC  059 Fairfax"}, "va", {}, "US"},
    };
    // clang-format on
    for (const auto& row : rows) {
        for (const std::string lineEnd : {"\r\n", "\n"}) {
            ScratchDir scratch;
            CountyList result;
            std::string error;
            ASSERT_TRUE(ListCounties(scratch.Write(row.file, lineEnd), row.state, result, error)) << row.name;
            EXPECT_EQ(row.counties, result.counties) << row.name << (lineEnd == "\n" ? " (LF)" : "");
            EXPECT_EQ(row.designation, result.regionDesignation) << row.name;
        }
    }
}

TEST(RegionCatalogue, GetStateCoFindsTheCountyOfTheRightState)
{
    const Lines file = {
        "RA  US US",
        "RB  VA Virginia",
        "RC  059 Fairfax",
        "RC  153 Prince William  ",
        "RA  XX Elsewhere", // does not switch the state off
        "RC  510 Alexandria city",
        "RB  MD Maryland",
        "RC  031 Montgomery",
        "RC  033 Fairfax",
        "RA  CA Canada",
        "RB  ON Ontario",
        "RC  006 Ottawa",
    };
    struct Row {
        const char* name;
        const char* state;
        const char* county;
        const char* fips;
    };
    const Row rows[] = {
        {"plain", "VA", "Fairfax", "059"},
        {"same name in another state", "MD", "Fairfax", "033"},
        {"trailing blanks in the file", "VA", "Prince William", "153"},
        {"a region record does not end the state", "VA", "Alexandria city", "510"},
        {"state outside the US region", "ON", "Ottawa", "006"},
        {"county of another state", "VA", "Montgomery", ""},
        {"letter case differs", "VA", "fairfax", ""},
        {"unknown state", "TX", "Fairfax", ""},
        {"empty state", "", "Fairfax", ""},
    };
    for (const std::string lineEnd : {"\r\n", "\n"}) {
        ScratchDir scratch;
        RegionCatalogue catalogue(scratch.Write(file, lineEnd));
        for (const auto& row : rows) {
            std::string fips = "999"; // an earlier code must not survive
            std::string error;
            ASSERT_TRUE(catalogue.GetStateCo(row.state, row.county, fips, error)) << row.name;
            EXPECT_EQ(row.fips, fips) << row.name << (lineEnd == "\n" ? " (LF)" : "");
        }
        // Maryland follows the "XX" region, so only a scan from the top finds it.
        EXPECT_EQ("      VA0001 ", catalogue.StateIndex());
    }
}

// Regression: line numbers were 16-bit, so a catalogue past 32,767 lines failed, and
// the index held only four digits of each line number.
TEST(RegionCatalogue, LargeCataloguesIndexAndFindEveryState)
{
    constexpr int kStates = 60;
    constexpr int kCountiesPerState = 800; // about 48,000 lines
    Lines file = {"RA  US US"};
    for (int s = 0; s < kStates; ++s) {
        file.push_back("RB  " +
                       std::string{static_cast<char>('A' + s / 26), static_cast<char>('A' + s % 26)} +
                       " State");
        for (int c = 0; c < kCountiesPerState; ++c) {
            std::string fips = std::to_string(100 + (c + s) % 900);
            file.push_back("RC  " + fips + " County " + std::to_string(c));
        }
    }
    ASSERT_GT(file.size(), 40000u);
    ScratchDir scratch;
    RegionCatalogue catalogue(scratch.Write(file));
    std::string fips;
    std::string error;
    for (int s : {0, 40, 41, kStates - 1}) {
        std::string code{static_cast<char>('A' + s / 26), static_cast<char>('A' + s % 26)};
        ASSERT_TRUE(catalogue.GetStateCo(code, "County 799", fips, error)) << error;
        EXPECT_EQ(std::to_string(100 + (799 + s) % 900), fips) << code;
    }
    const std::size_t lastStateLine = 1 + static_cast<std::size_t>(kStates - 1) * (kCountiesPerState + 1);
    EXPECT_NE(std::string::npos, catalogue.StateIndex().find("CH" + std::to_string(lastStateLine) + " "));
}

// Found by fuzzing: the index is searched as plain text, so a code could match across
// an entry's code and line number ("A0" in "VA0004 "), and the scan then started at
// Virginia's line, past the state's own record, and found nothing.
TEST(RegionCatalogue, CodeMatchingInsideAnIndexEntryStillFindsTheCounty)
{
    ScratchDir scratch;
    RegionCatalogue catalogue(scratch.Write({"RA  XX Elsewhere", "RB  A0 Somewhere", "RC  001 Anywhere",
                                             "RA  US US", "RB  VA Virginia", "RC  059 Fairfax"}));
    std::string fips;
    std::string error;
    ASSERT_TRUE(catalogue.GetStateCo("A0", "Anywhere", fips, error)) << error;
    EXPECT_EQ("001", fips);
    ASSERT_TRUE(catalogue.GetStateCo("VA", "Fairfax", fips, error)) << error;
    EXPECT_EQ("059", fips);
    EXPECT_EQ("      VA0004 ", catalogue.StateIndex());
}

TEST(RegionCatalogue, ReadFailuresAreReportedAndRetried)
{
    ScratchDir scratch;
    const fs::path file = scratch.Dir() / "Country.dat";
    Names states{"old"};
    std::string error;
    EXPECT_FALSE(ListStates(file, states, error));
    EXPECT_NE(std::string::npos, error.find(file.string())) << error;
    EXPECT_TRUE(states.empty());

    CountyList counties;
    EXPECT_FALSE(ListCounties(file, "VA", counties, error));
    EXPECT_FALSE(error.empty());

    RegionCatalogue catalogue(file);
    std::string fips = "059";
    EXPECT_FALSE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("", fips);
    EXPECT_FALSE(error.empty());

    scratch.Write({"RA  US US", "RB  VA Virginia", "RC  059 Fairfax"});
    ASSERT_TRUE(catalogue.GetStateCo("VA", "Fairfax", fips, error));
    EXPECT_EQ("", error);
    EXPECT_EQ("059", fips);
}

TEST(RegionCatalogue, FindDataFileLooksBesideTheProgramThenInShare)
{
    ScratchDir scratch;
    const fs::path bin = scratch.Dir() / "bin";
    const fs::path share = scratch.Dir() / "share" / "tervane";
    fs::create_directories(bin);
    fs::create_directories(share);

    EXPECT_EQ(bin / "Country.dat", FindDataFile(bin, kCatalogueFileName)); // neither: names the first
    scratch.Write({"RA  US US"}, "\r\n", "share/tervane/Country.dat");
    EXPECT_EQ(share / "Country.dat", FindDataFile(bin, kCatalogueFileName));
    scratch.Write({"RA  US US"}, "\r\n", "bin/Country.dat");
    EXPECT_EQ(bin / "Country.dat", FindDataFile(bin, kCatalogueFileName));
}

} // namespace
} // namespace tervane
