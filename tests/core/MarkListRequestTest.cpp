#include "retrieval/RetrievalRun.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kService = "http://marks.example:8080";
const std::string kQuery = std::string(kService) + "/cgi-bin/get_mark_list.prl?";
const fs::path kOutDir = "/tmp/tervane-out";

// The fields in order: mode, state, county, type, latitude, longitude, radius, project, region.
MarkListInputs CountyQuery(std::string county, std::string type)
{
    return {"SC", "VA Virginia", std::move(county), std::move(type), "", "", "", "", "US"};
}

MarkListInputs RadiusQuery(std::string lat, std::string lon, std::string radius, std::string type)
{
    return {"LL", "VA Virginia", "", std::move(type), std::move(lat), std::move(lon), std::move(radius), "",
            ""};
}

MarkListInputs ProjectQuery(std::string project, std::string mode = "PR")
{
    return {std::move(mode), "VA Virginia", "", "", "", "", "", std::move(project), ""};
}

// What a request comes to: "primary-query companion-query file" when it is ready, the
// message when it is refused (with the request left empty), "no mode" without a mode.
std::string Outcome(const MarkListInputs& in, std::string& controlCode)
{
    struct : QueryInputs {
        void HideQueryInputs() override {}
    } queryInputs;
    RegionCatalogue catalogue(fs::path(TEST_DATA_DIR) / "requests-catalogue.dat");
    RunState state{controlCode, catalogue};
    RunConfig config;
    config.serviceUrl = kService;
    config.outputDir = kOutDir;
    const RunPreparation prepared = PrepareRun(in, state, config, queryInputs);
    controlCode = state.controlCode;
    const MarkListRequest& r = prepared.request;
    if (prepared.outcome == RequestOutcome::NoMode)
        return "no mode";
    if (prepared.outcome == RequestOutcome::Invalid)
        return r.primaryUrl.empty() && r.kmlPath.empty() ? prepared.message : "request left: " + r.primaryUrl;
    const auto query = [](const std::string& url) {
        return url.starts_with(kQuery) ? url.substr(kQuery.size()) : url;
    };
    return query(r.primaryUrl) + " " + query(r.companionUrl) + " " +
           (r.kmlPath.parent_path() == kOutDir ? r.kmlPath.filename() : r.kmlPath).string();
}

// Typed fields are trimmed of spaces only and used as they stand. The checks run in a
// fixed order and stop at the first failure. The file name used to be built from typed
// text, so a name with '/' wrote outside the output folder.
TEST(MarkListRequest, ComposesTheRequestOrRefusesWithTheFirstFailedCheck)
{
    const std::string state(kMsgStateRequired), fips(kMsgInvalidFips), type(kMsgControlTypeRequired),
        latitude(kMsgLatitudeRequired), radius(kMsgInvalidRadius), fileName(kMsgUnusableFileName);
    const std::tuple<const char*, MarkListInputs, std::string> rows[] = {
        // clang-format off
        {"county trimmed, name with a space", CountyQuery("  Prince William ", "VERTICAL"),
         "1=COUNTY&2=VA&3=153&4=V-0-0  VA_Prince William_V-0-0.kml"},
        {"radius at the limit, horizontal", RadiusQuery(" N38 ", "W077", "30", "HORIZONTAL 2"),
         "1=RADIUS&2=N38&3=W077&4=30&5=H-2-0 1=RADIUS&2=N38&3=W077&4=30&5=H-G-0 "
         "N38_W077_RADIUS-30MI_H-2-0.kml"},
        {"radius read as 12 but sent as typed", RadiusQuery("N1", "W2", "12abc", "TIDAL"),
         "1=RADIUS&2=N1&3=W2&4=12abc&5=TID-0  N1_W2_RADIUS-12abcMI_TID-0.kml"},
        {"inner blanks and a backslash stay, no type needed", ProjectQuery(" a b\\c "),
         "1=PROJECT&2=a b\\c&3=N&4=X-0-0  a b\\c.kml"},
        // The state and county are checked only where the query shows them (and with no
        // mode); a first radius or project query used to be refused for want of a state.
        {"no state, radius mode", MarkListInputs{"LL", "", "", "GPS", "N1", "W2", "5", "", ""},
         "1=RADIUS&2=N1&3=W2&4=5&5=H-G  N1_W2_RADIUS-5MI_H-G.kml"},
        {"no state, project mode", MarkListInputs{"PR", "", "", "", "", "", "", "P", "US"},
         "1=PROJECT&2=P&3=N&4=X-0-0  P.kml"},
        {"no state, no mode", MarkListInputs{"", "", "", "", "", "", "", "P", ""}, state},
        {"US region needs a county", MarkListInputs{"SC", "VA", " ", "GPS", "", "", "", "", "US"},
         std::string(kMsgCountyRequired)},
        {"unknown county", CountyQuery("Nowhere Else", "HORIZONTAL"), fips},
        {"FIPS of zeros", CountyQuery("Nowhere", "HORIZONTAL"), fips},
        {"FIPS before type", CountyQuery("Nowhere Else", ""), fips},
        {"county without type", CountyQuery("Fairfax", ""), type},
        {"no latitude", RadiusQuery("", "W2", "5", "GPS"), latitude},
        {"no longitude", RadiusQuery("N1", "  ", "5", "GPS"), latitude},
        {"latitude before radius", RadiusQuery("", "W2", "abc", ""), latitude},
        {"radius 30.01", RadiusQuery("N1", "W2", "30.01", "GPS"), radius},
        {"radius 0", RadiusQuery("N1", "W2", "0", "GPS"), radius},
        {"radius before type", RadiusQuery("N1", "W2", "31", ""), radius},
        {"radius without type", RadiusQuery("N1", "W2", "5", ""), type},
        {"no mode ends quietly", MarkListInputs{"", "VA", "Nowhere Else", "", "", "", "", "", "US"},
         "no mode"},
        {"a path in the project", ProjectQuery("../../home/user/.bashrc"), fileName},
        {"a tab in the latitude", RadiusQuery("N38\t23", "W077", "5", "GPS"), fileName},
        {"NUL", ProjectQuery(std::string("nul\0here", 8)), fileName},
        {"DEL", ProjectQuery("del\x7f"), fileName},
        {"'/' in the county", CountyQuery("Odd/Name", "HORIZONTAL"), fileName},
        // clang-format on
    };
    for (const auto& [name, in, outcome] : rows) {
        std::string controlCode;
        EXPECT_EQ(outcome, Outcome(in, controlCode)) << name;
    }
}

// The window keeps the last type's code between runs.
TEST(MarkListRequest, ControlCodeOutlivesTheRunAndFailedChecks)
{
    std::string code;
    EXPECT_EQ(kMsgLatitudeRequired, Outcome(RadiusQuery("", "W2", "5", "TIDAL"), code));
    EXPECT_EQ("TID-0", code); // looked up although a later check failed
    EXPECT_EQ("1=COUNTY&2=VA&3=059&4=TID-0  VA_Fairfax_TID-0.kml", Outcome(CountyQuery("Fairfax", ""), code));
    Outcome(CountyQuery("Fairfax", "horizontal"), code); // no row matches: the code is kept
    EXPECT_EQ("TID-0", code);
}

} // namespace
} // namespace tervane
