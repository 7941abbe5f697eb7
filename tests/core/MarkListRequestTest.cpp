#include "retrieval/MarkListRequest.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kService = "http://marks.example:8080";
const std::string kQuery = std::string(kService) + "/cgi-bin/get_mark_list.prl?";
const fs::path kCatalogue = fs::path(TEST_DATA_DIR) / "requests-catalogue.dat";
const fs::path kOutDir = "/tmp/tervane-out";

MarkListInputs Query(std::string mode)
{
    MarkListInputs in;
    in.mode = std::move(mode);
    in.stateText = "VA Virginia";
    return in;
}

MarkListInputs CountyQuery(std::string county, std::string type)
{
    MarkListInputs in = Query("SC");
    in.countyText = std::move(county);
    in.controlTypeText = std::move(type);
    in.selectedRegion = "US";
    return in;
}

MarkListInputs RadiusQuery(std::string lat, std::string lon, std::string radius, std::string type)
{
    MarkListInputs in = Query("LL");
    in.latitudeText = std::move(lat);
    in.longitudeText = std::move(lon);
    in.radiusText = std::move(radius);
    in.controlTypeText = std::move(type);
    return in;
}

MarkListInputs ProjectQuery(std::string project)
{
    MarkListInputs in = Query("PR");
    in.projectText = std::move(project);
    return in;
}

struct Built {
    RequestOutcome outcome;
    MarkListRequest request;
    std::string message;
};

Built Build(const MarkListInputs& in, std::string& controlCode)
{
    RegionCatalogue catalogue(kCatalogue);
    Built b;
    b.outcome = BuildMarkListRequest(in, controlCode, catalogue, kService, kOutDir, b.request, b.message);
    return b;
}

Built Build(const MarkListInputs& in)
{
    std::string controlCode;
    return Build(in, controlCode);
}

TEST(MarkListRequest, ComposesUrlsAndFileNamesFromTheInputsAsTyped)
{
    struct Row {
        const char* name;
        MarkListInputs in;
        std::string primary;
        std::string companion;
        std::string fileName;
    };
    const Row rows[] = {
        {"county, horizontal", CountyQuery("Fairfax", "HORIZONTAL"), "1=COUNTY&2=VA&3=059&4=H-0-0",
         "1=COUNTY&2=VA&3=059&4=H-G-0", "VA_Fairfax_H-0-0.kml"},
        {"county trimmed, name with a space", CountyQuery("  Prince William ", "VERTICAL"),
         "1=COUNTY&2=VA&3=153&4=V-0-0", "", "VA_Prince William_V-0-0.kml"},
        {"radius, GPS", RadiusQuery("N385323", "W0770213", "5", "GPS"),
         "1=RADIUS&2=N385323&3=W0770213&4=5&5=H-G", "", "N385323_W0770213_RADIUS-5MI_H-G.kml"},
        {"radius at the limit, horizontal", RadiusQuery(" N38 ", "W077", "30", "HORIZONTAL 2"),
         "1=RADIUS&2=N38&3=W077&4=30&5=H-2-0", "1=RADIUS&2=N38&3=W077&4=30&5=H-G-0",
         "N38_W077_RADIUS-30MI_H-2-0.kml"},
        {"radius read as 12 but sent as typed", RadiusQuery("N1", "W2", "12abc", "TIDAL"),
         "1=RADIUS&2=N1&3=W2&4=12abc&5=TID-0", "", "N1_W2_RADIUS-12abcMI_TID-0.kml"},
        {"project", ProjectQuery("GPS1234"), "1=PROJECT&2=GPS1234&3=N&4=X-0-0", "", "GPS1234.kml"},
        {"empty project", ProjectQuery(""), "1=PROJECT&2=&3=N&4=X-0-0", "", ".kml"},
        {"inner blanks and a backslash stay", ProjectQuery(" a b\\c "), "1=PROJECT&2=a b\\c&3=N&4=X-0-0", "",
         "a b\\c.kml"},
    };
    for (const auto& row : rows) {
        Built b = Build(row.in);
        ASSERT_EQ(RequestOutcome::Ready, b.outcome) << row.name << ": " << b.message;
        EXPECT_EQ(kQuery + row.primary, b.request.primaryUrl) << row.name;
        EXPECT_EQ(row.companion.empty() ? "" : kQuery + row.companion, b.request.companionUrl) << row.name;
        EXPECT_EQ(kOutDir / row.fileName, b.request.kmlPath) << row.name;
    }
}

TEST(MarkListRequest, ChecksInOrderAndStopsAtTheFirstFailure)
{
    auto withRegion = [](MarkListInputs in, std::string region, std::string county) {
        in.selectedRegion = std::move(region);
        in.countyText = std::move(county);
        return in;
    };
    auto noState = [](MarkListInputs in) {
        in.stateText.clear();
        return in;
    };
    auto noMode = [](MarkListInputs in) {
        in.mode = "";
        return in;
    };
    struct Row {
        const char* name;
        MarkListInputs in;
        RequestOutcome outcome;
        std::string_view message;
    };
    const Row rows[] = {
        {"no state, radius mode", noState(RadiusQuery("N1", "W2", "5", "GPS")), RequestOutcome::Invalid,
         kMsgStateRequired},
        {"no state, no mode", noState(noMode(ProjectQuery("P"))), RequestOutcome::Invalid, kMsgStateRequired},
        {"US region needs a county in every mode", withRegion(ProjectQuery("P"), "US", "   "),
         RequestOutcome::Invalid, kMsgCountyRequired},
        {"other regions need none", withRegion(ProjectQuery("P"), "Canada", ""), RequestOutcome::Ready, ""},
        {"unknown county", CountyQuery("Nowhere Else", "HORIZONTAL"), RequestOutcome::Invalid,
         kMsgInvalidFips},
        {"FIPS of zeros", CountyQuery("Nowhere", "HORIZONTAL"), RequestOutcome::Invalid, kMsgInvalidFips},
        {"FIPS before type", CountyQuery("Nowhere Else", ""), RequestOutcome::Invalid, kMsgInvalidFips},
        {"county without type", CountyQuery("Fairfax", ""), RequestOutcome::Invalid, kMsgControlTypeRequired},
        {"no latitude", RadiusQuery("", "W2", "5", "GPS"), RequestOutcome::Invalid, kMsgLatitudeRequired},
        {"no longitude", RadiusQuery("N1", "  ", "5", "GPS"), RequestOutcome::Invalid, kMsgLatitudeRequired},
        {"latitude before radius", RadiusQuery("", "W2", "abc", ""), RequestOutcome::Invalid,
         kMsgLatitudeRequired},
        {"radius 30.01", RadiusQuery("N1", "W2", "30.01", "GPS"), RequestOutcome::Invalid, kMsgInvalidRadius},
        {"radius 0", RadiusQuery("N1", "W2", "0", "GPS"), RequestOutcome::Invalid, kMsgInvalidRadius},
        {"radius negative", RadiusQuery("N1", "W2", "-5", "GPS"), RequestOutcome::Invalid, kMsgInvalidRadius},
        {"radius infinite", RadiusQuery("N1", "W2", "1e999", "GPS"), RequestOutcome::Invalid,
         kMsgInvalidRadius},
        {"radius before type", RadiusQuery("N1", "W2", "31", ""), RequestOutcome::Invalid, kMsgInvalidRadius},
        {"radius without type", RadiusQuery("N1", "W2", "5", ""), RequestOutcome::Invalid,
         kMsgControlTypeRequired},
        {"project needs no type", ProjectQuery("P"), RequestOutcome::Ready, ""},
        {"no mode ends quietly", noMode(CountyQuery("Nowhere Else", "")), RequestOutcome::NoMode, ""},
    };
    for (const auto& row : rows) {
        Built b = Build(row.in);
        EXPECT_EQ(row.outcome, b.outcome) << row.name;
        EXPECT_EQ(row.message, b.message) << row.name;
        if (b.outcome != RequestOutcome::Ready) {
            EXPECT_EQ("", b.request.primaryUrl) << row.name;
        }
    }
}

TEST(MarkListRequest, OnlyTheFipsFailureResetsThePointer)
{
    RegionCatalogue catalogue(kCatalogue);
    MarkListRequest request;
    std::string message;
    bool resetPointer = false;
    EXPECT_EQ(RequestOutcome::Invalid,
              CompleteMarkListRequest(CountyQuery("Nowhere Else", "HORIZONTAL"), "H-0-0", catalogue, kService,
                                      kOutDir, request, message, resetPointer));
    EXPECT_TRUE(resetPointer);
    EXPECT_EQ(RequestOutcome::Invalid,
              CompleteMarkListRequest(CountyQuery("Fairfax", ""), "", catalogue, kService, kOutDir, request,
                                      message, resetPointer));
    EXPECT_FALSE(resetPointer);
    EXPECT_EQ(kMsgControlTypeRequired, message);
}

TEST(MarkListRequest, ControlCodeOutlivesTheRunAndFailedChecks)
{
    std::string controlCode;
    EXPECT_EQ(RequestOutcome::Invalid, Build(RadiusQuery("", "W2", "5", "TIDAL"), controlCode).outcome);
    EXPECT_EQ("TID-0", controlCode); // looked up although a later check failed

    Built again = Build(CountyQuery("Fairfax", ""), controlCode);
    ASSERT_EQ(RequestOutcome::Ready, again.outcome) << again.message;
    EXPECT_EQ(kQuery + "1=COUNTY&2=VA&3=059&4=TID-0", again.request.primaryUrl);

    Build(CountyQuery("Fairfax", "horizontal"), controlCode); // no row matches: code kept
    EXPECT_EQ("TID-0", controlCode);
}

// Regression: the KML path was built from typed text, so a name with '/' wrote outside
// the output folder.
TEST(MarkListRequest, RefusesFileNamesThatLeaveTheOutputFolder)
{
    const MarkListInputs rows[] = {
        ProjectQuery("../../home/user/.bashrc"),
        ProjectQuery(std::string("nul\0here", 8)),
        ProjectQuery("tab\there"),
        ProjectQuery("del\x7f"),
        RadiusQuery("N38/23", "W077", "5", "GPS"),
        CountyQuery("Odd/Name", "HORIZONTAL"),
    };
    for (const auto& in : rows) {
        Built b = Build(in);
        EXPECT_EQ(RequestOutcome::Invalid, b.outcome) << in.projectText << in.latitudeText << in.countyText;
        EXPECT_EQ(kMsgUnusableFileName, b.message);
        EXPECT_EQ("", b.request.primaryUrl);
        EXPECT_EQ(fs::path(), b.request.kmlPath);
    }
}

TEST(MarkListRequest, AnUnreadableCatalogueFailsWithItsReadError)
{
    RegionCatalogue catalogue(fs::path(TEST_DATA_DIR) / "no-such-catalogue.dat");
    std::string controlCode;
    MarkListRequest request;
    std::string message;
    EXPECT_EQ(RequestOutcome::Invalid, BuildMarkListRequest(CountyQuery("Fairfax", "HORIZONTAL"), controlCode,
                                                            catalogue, kService, kOutDir, request, message));
    EXPECT_NE(std::string::npos, message.find("no-such-catalogue.dat")) << message;
}

} // namespace
} // namespace tervane
