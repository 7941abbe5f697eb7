// The sample mark-list service: its replies read back through the program's own reply
// reader and angle parser, its refusals, and its HTTP front with Basic sign-in.

#include "SampleMarks.h"
#include "SampleService.h"

#include "calcs/Angles.h"
#include "marks/MarkList.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

namespace tervane::test {
namespace {

using sample::AnswerDatasheet;
using sample::AnswerMarkList;
using Query = std::map<std::string, std::string>;

constexpr double kEarthRadiusMiles = 3958.8;

Query County(const std::string& code) { return {{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", code}}; }

Query Radius(const std::string& lat, const std::string& lon, const std::string& miles, const std::string& code)
{
    return {{"1", "RADIUS"}, {"2", lat}, {"3", lon}, {"4", miles}, {"5", code}};
}

// Signed degrees of a record's position, as the placemark writer reads it.
struct Place {
    double latitude;
    double longitude;
};

Place PlaceOf(MarkRecord record)
{
    double latitude = 0;
    double longitude = 0;
    std::string error;
    EXPECT_TRUE(ParseDmsAngle(record.latitudeText, latitude, error)) << error;
    EXPECT_TRUE(ParseDmsAngle(record.longitudeText, longitude, error)) << error;
    return {RadToDeg(latitude) * (record.latitudeHemisphere == "S" ? -1 : 1),
            RadToDeg(longitude) * (record.longitudeHemisphere == "W" ? -1 : 1)};
}

double MilesBetween(Place a, Place b)
{
    const double toRad = kPi / 180;
    const double dLat = (b.latitude - a.latitude) * toRad;
    const double dLon = (b.longitude - a.longitude) * toRad;
    const double h = std::pow(std::sin(dLat / 2), 2) +
                     std::cos(a.latitude * toRad) * std::cos(b.latitude * toRad) * std::pow(std::sin(dLon / 2), 2);
    return 2 * kEarthRadiusMiles * std::asin(std::sqrt(h));
}

TEST(SampleService, CountyMarksReadBackThroughTheReplyReader)
{
    const sample::SampleReply reply = AnswerMarkList(County("H-0-0"));
    EXPECT_EQ(reply.status, 200);
    const MarkListReply marks = ReadMarkList(reply.body, "H-0-0");
    ASSERT_EQ(marks.outcome, ReplyOutcome::Marks) << reply.body;
    EXPECT_GE(marks.records.size(), 6u);
    std::set<std::string> pids;
    for (const MarkRecord& record : marks.records) {
        EXPECT_EQ(record.pid.size(), 6u) << record.pid;
        EXPECT_TRUE(pids.emplace(record.pid).second) << "PID twice: " << record.pid;
        EXPECT_EQ(record.latitudeHemisphere, "N");
        EXPECT_EQ(record.longitudeHemisphere, "W");
        EXPECT_FALSE(record.designation.empty());
        EXPECT_NE(std::string("AB123").find(record.horizontalOrder), std::string::npos) << record.horizontalOrder;
        const Place place = PlaceOf(record);
        EXPECT_GT(place.latitude, 24);
        EXPECT_LT(place.latitude, 50);
    }
}

TEST(SampleService, TheSameQueryGivesTheSameMarksAnotherQueryOthers)
{
    EXPECT_EQ(AnswerMarkList(County("H-0-0")).body, AnswerMarkList(County("H-0-0")).body);
    EXPECT_NE(AnswerMarkList(County("H-0-0")).body, AnswerMarkList(County("H-G-0")).body);
    Query otherCounty = County("H-0-0");
    otherCounty["3"] = "153";
    EXPECT_NE(AnswerMarkList(County("H-0-0")).body, AnswerMarkList(otherCounty).body);
}

TEST(SampleService, RadiusMarksLieWithinTheRadiusInEveryHemisphere)
{
    const struct {
        const char* name;
        const char* latitude;
        const char* longitude;
        const char* miles;
        Place centre;
    } cases[] = {
        {"north west, letters first", "N385323", "W0770213", "5", {38.88972, -77.03694}},
        {"no letters: north and west", "385323", "0770213", "12abc", {38.88972, -77.03694}},
        {"south east", "S335200", "E1511300", "10", {-33.86667, 151.21667}},
    };
    for (const auto& c : cases) {
        const sample::SampleReply reply = AnswerMarkList(Radius(c.latitude, c.longitude, c.miles, "H-G"));
        const MarkListReply marks = ReadMarkList(reply.body, "H-G");
        ASSERT_EQ(marks.outcome, ReplyOutcome::Marks) << c.name << "\n" << reply.body;
        const double miles = std::atof(c.miles);
        for (const MarkRecord& record : marks.records) {
            EXPECT_LE(MilesBetween(c.centre, PlaceOf(record)), miles) << c.name << ": " << record.pid;
        }
    }
}

TEST(SampleService, RefusesWhatItCannotAnswerAsTheServiceDoes)
{
    const struct {
        const char* name;
        Query query;
        const char* firstLineStart;
    } cases[] = {
        {"unknown control code", County("Q-9-9"), "INPUT ERROR"},
        {"unknown query kind", {{"1", "STATE"}, {"2", "VA"}}, "INPUT ERROR"},
        {"latitude of 60 minutes", Radius("N386000", "W0770213", "5", "H-G"), "INPUT ERROR"},
        {"radius without a number", Radius("N385323", "W0770213", "abc", "H-G"), "INPUT ERROR"},
        {"project with another code", {{"1", "PROJECT"}, {"2", "L27001"}, {"3", "N"}, {"4", "H-0-0"}}, "INPUT ERROR"},
        {"county without its code", {{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}}, "INPUT INCOMPLETE"},
        {"no query kind", {}, "INPUT INCOMPLETE"},
    };
    for (const auto& c : cases) {
        const std::string body = AnswerMarkList(c.query).body;
        EXPECT_EQ(body.rfind(c.firstLineStart, 0), 0u) << c.name << ": " << body;
        EXPECT_NE(ReadMarkList(body, "H-0-0").outcome, ReplyOutcome::Marks) << c.name;
    }
}

TEST(SampleService, ProjectsHaveMarksExceptTheOneWithout)
{
    const Query project{{"1", "PROJECT"}, {"2", "L27001"}, {"3", "N"}, {"4", "X-0-0"}};
    EXPECT_EQ(ReadMarkList(AnswerMarkList(project).body, "H-0-0").outcome, ReplyOutcome::Marks);
    Query none = project;
    none["2"] = "NOMARKS";
    EXPECT_EQ(ReadMarkList(AnswerMarkList(none).body, "H-0-0").outcome, ReplyOutcome::NoMarks);
}

TEST(SampleService, DatasheetsOnlyForWellFormedPids)
{
    const sample::SampleReply page = AnswerDatasheet("AB1234");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("AB1234"), std::string::npos);
    for (const char* pid : {"", "ab1234", "AB12345", "AB12X4"}) {
        EXPECT_EQ(AnswerDatasheet(pid).status, 404) << pid;
    }
}

TEST(SampleService, AsksForBasicSignInWhenStartedWithAUser)
{
    sample::SampleService service("surveyor", "s3cret");
    const int port = service.Bind(0);
    ASSERT_GT(port, 0);
    ASSERT_TRUE(service.ServeInBackground());
    httplib::Client client("127.0.0.1", port);
    const std::string path = "/cgi-bin/get_mark_list.prl?1=COUNTY&2=VA&3=059&4=H-0-0";

    const httplib::Result refused = client.Get(path.c_str());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 401);
    EXPECT_EQ(refused->get_header_value("WWW-Authenticate").rfind("Basic", 0), 0u);
    EXPECT_NE(refused->body.find("Unauthorized"), std::string::npos);

    client.set_basic_auth("surveyor", "wrong");
    EXPECT_EQ(client.Get(path.c_str())->status, 401);

    client.set_basic_auth("surveyor", "s3cret");
    const httplib::Result answered = client.Get(path.c_str());
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->status, 200);
    EXPECT_EQ(answered->body, AnswerMarkList(County("H-0-0")).body);
    EXPECT_EQ(client.Get("/cgi-bin/ds_mark.prl?PidBox=AB1234")->status, 200);
    EXPECT_EQ(service.RequestCount(), 4);
    service.Stop();
}

TEST(SampleServiceProgram, RefusesUnusableOptions)
{
    for (const char* arguments : {"--user surveyor", "--port -1", "--port 70000", "--port 80x", "--colour red"}) {
        const std::string command = std::string(TERVANE_SAMPLE_SERVICE_PATH) + " " + arguments + " 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << arguments;
        EXPECT_EQ(WEXITSTATUS(status), 2) << arguments;
    }
}

} // namespace
} // namespace tervane::test
