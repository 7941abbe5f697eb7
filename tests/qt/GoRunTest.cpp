// Go pressed in the real main window against the sample mark-list service on 127.0.0.1,
// through the real HTTP transfer: the written KML file, the remembered state and county,
// the processing dialog's steps, the failure messages and the hand-over to the viewer.

#include "WindowTestFakes.h"

#include "SampleMarks.h"
#include "SampleService.h"

#include "qt/HttpTransfer.h"
#include "retrieval/MarkList.h"
#include "retrieval/ServiceAddress.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tervane::test {
namespace {

constexpr const char* kFetching = "Getting PID list from NivoraIDB...";
constexpr const char* kCreating = "Creating .kml file...";
constexpr const char* kStarting = "Starting GoogleEarth...";

// The window over fakes, its run's ports, and the sample service it asks.
struct GoRun {
    explicit GoRun(const std::string& user = {}, const std::string& password = {})
        : service(user, password), w(folder)
    {
        port = service.Bind(0);
        EXPECT_GT(port, 0);
        EXPECT_TRUE(service.ServeInBackground());
        w.settings.SaveSetting(kServiceSection, kServiceKey, ServiceUrl());
        w.window.SetRunServices({pointer, dialog, transfer, signIn, opener});
        w.window.show();
    }

    std::string ServiceUrl() const { return "http://127.0.0.1:" + std::to_string(port); }

    void ChooseMode(const char* action) { w.window.findChild<QAction*>(QString::fromLatin1(action))->trigger(); }

    void CountyQuery(int stateIndex, const char* county, const char* type)
    {
        ChooseMode("GetMonStateCo");
        auto* state = w.Find<QComboBox>("cboState");
        state->setCurrentIndex(stateIndex);
        emit state->activated(stateIndex);
        w.Find<QComboBox>("cboCounty")->setEditText(QString::fromLatin1(county));
        w.Find<QComboBox>("cboControlType")->setEditText(QString::fromLatin1(type));
    }

    void PressGo() { QTest::mouseClick(w.Find<QPushButton>("cmdGo"), Qt::LeftButton); }

    std::filesystem::path Output(const std::string& name) const { return folder.Path() / name; }

    ProgramFolder folder;
    sample::SampleService service;
    WindowUnderTest w;
    RecordingDialog dialog;
    RecordingOpener opener{dialog};
    RecordingPointer pointer;
    ScriptedSignIn signIn;
    HttpTransfer transfer;
    int port = 0;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The marks the service gives for these queries, read as the run reads them.
std::size_t MarksFor(const std::vector<std::map<std::string, std::string>>& queries, const std::string& code)
{
    std::string reply;
    for (const auto& query : queries) {
        reply += sample::AnswerMarkList(query).body;
    }
    return ReadMarkList(reply, code).records.size();
}

TEST(GoRun, ACountyQueryWritesItsDocumentRemembersTheQueryAndOpensIt)
{
    GoRun run;
    // The county is looked up and named trimmed, and remembered as typed.
    run.CountyQuery(0, "Fairfax ", "HORIZONTAL");
    run.PressGo();

    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    const std::filesystem::path kml = run.Output("VA_Fairfax_H-0-0.kml");
    ASSERT_TRUE(std::filesystem::exists(kml));
    const std::string document = ReadFile(kml);
    const std::size_t marks = MarksFor({{{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", "H-0-0"}},
                                        {{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", "H-G-0"}}},
                                       "H-0-0");
    EXPECT_GT(marks, 0u);
    EXPECT_EQ(Count(document, "<Placemark>"), marks) << "the primary and the companion GPS marks";
    EXPECT_NE(document.find(run.ServiceUrl() + "/cgi-bin/ds_mark.prl?PidBox="), std::string::npos);
    EXPECT_EQ(document.substr(document.size() - 8), "</kml>\r\n");

    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kStateKey), "VA");
    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kCountyKey), "Fairfax ");
    EXPECT_EQ(run.opener.opened, std::vector<std::filesystem::path>{kml});
    EXPECT_EQ(run.opener.infoWhenOpened, kStarting);
    EXPECT_EQ(run.dialog.shownTexts, (std::vector<std::string>{kFetching, kCreating}));
    EXPECT_EQ(run.dialog.events.back(), "hide");
    EXPECT_EQ(run.dialog.events[run.dialog.events.size() - 2], "bar:off") << "no bar while the viewer starts";
    EXPECT_EQ(run.dialog.lastBarValue, marks) << "one step per mark";
    EXPECT_FALSE(run.pointer.hourglass);
    EXPECT_EQ(run.w.window.ControlCode(), "H-0-0");
    EXPECT_EQ(run.w.quits, 0) << "the window stays open for the next query";
    EXPECT_TRUE(run.w.Find<QWidget>("cboState")->isHidden()) << "the run hid the query rows";
    EXPECT_EQ(run.service.RequestCount(), 2);
}

TEST(GoRun, ARadiusQueryTypedIntoTheFieldsNamesItsFileAfterThem)
{
    GoRun run;
    ShowActive(run.w);
    run.ChooseMode("mnuLatLonRad");
    // The state and county are checked in every mode; a remembered state will do.
    run.w.Find<QComboBox>("cboState")->setEditText("VA");
    run.w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
    QTest::keyClicks(run.w.Find<QLineEdit>("txtLatitude"), "n385323");
    QTest::keyClicks(run.w.Find<QLineEdit>("txtLongitude"), "w0770213");
    QTest::keyClicks(run.w.Find<QLineEdit>("txtRadius"), "5");
    QComboBox* type = run.w.Find<QComboBox>("cboControlType");
    type->show();
    QTest::keyClicks(type, "gps");
    run.PressGo();

    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    const std::filesystem::path kml = run.Output("N385323_W0770213_RADIUS-5MI_H-G.kml");
    ASSERT_TRUE(std::filesystem::exists(kml));
    EXPECT_EQ(Count(ReadFile(kml), "<Placemark>"),
              MarksFor({{{"1", "RADIUS"}, {"2", "N385323"}, {"3", "W0770213"}, {"4", "5"}, {"5", "H-G"}}}, "H-G"));
    EXPECT_EQ(run.service.RequestCount(), 1) << "GPS has no companion request";
}

TEST(GoRun, ASecondRunOfTheSameQueryReplacesTheFile)
{
    GoRun run;
    run.CountyQuery(0, "Fairfax", "VERTICAL");
    run.PressGo();
    const std::filesystem::path kml = run.Output("VA_Fairfax_V-0-0.kml");
    ASSERT_TRUE(std::filesystem::exists(kml));
    const std::string first = ReadFile(kml);
    { std::ofstream(kml, std::ios::app) << "stale"; }

    run.CountyQuery(0, "Fairfax", "VERTICAL");
    run.PressGo();
    EXPECT_EQ(ReadFile(kml), first);
    EXPECT_EQ(run.opener.opened.size(), 2u);
}

struct FailureCase {
    const char* name;
    const char* mode;
    const char* state;
    const char* latitude;
    const char* project;
    std::string message;
    int requests; // to the service
};

TEST(GoRun, FailuresShowOneMessageWriteNothingAndRememberNothing)
{
    const FailureCase cases[] = {
        {"no state", "mnuByProj", "", "", "L27001", "State must be selected first!", 0},
        {"project without marks", "mnuByProj", "VA", "", "NOMARKS", "No marks found!", 1},
        {"empty project", "mnuByProj", "VA", "", "", "Invalid input data!", 1},
        {"latitude the service refuses", "mnuLatLonRad", "VA", "N386000", "",
         "INPUT ERROR: latitude 'N386000' is not like N385323", 1},
    };
    for (const FailureCase& c : cases) {
        GoRun run;
        run.w.settings.SaveSetting(kSettingsSection, kStateKey, "remembered");
        run.ChooseMode(c.mode);
        run.w.Find<QComboBox>("cboState")->setEditText(QString::fromLatin1(c.state));
        run.w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
        run.w.Find<QLineEdit>("txtLatitude")->setText(QString::fromLatin1(c.latitude));
        run.w.Find<QLineEdit>("txtLongitude")->setText("W0770213");
        run.w.Find<QLineEdit>("txtRadius")->setText("5");
        run.w.Find<QComboBox>("cboControlType")->setEditText("GPS");
        run.w.Find<QLineEdit>("txtProject")->setText(QString::fromLatin1(c.project));
        run.PressGo();

        EXPECT_EQ(run.w.messages.shown, std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(run.service.RequestCount(), c.requests) << c.name;
        EXPECT_FALSE(run.dialog.visible) << c.name << ": no processing dialog is left on the screen";
        EXPECT_FALSE(run.pointer.hourglass) << c.name;
        EXPECT_TRUE(run.opener.opened.empty()) << c.name;
        EXPECT_EQ(run.w.settings.Get(kSettingsSection, kStateKey), "remembered") << c.name;
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(run.folder.Path())) {
            files += entry.path().extension() == ".kml";
        }
        EXPECT_EQ(files, 0u) << c.name;
    }
}

TEST(GoRun, AServiceThatCannotBeReachedIsReported)
{
    GoRun run;
    run.service.Stop();
    run.CountyQuery(0, "Fairfax", "GPS");
    run.PressGo();
    ASSERT_EQ(run.w.messages.shown.size(), 1u);
    EXPECT_NE(run.w.messages.shown[0].find("mark-list service"), std::string::npos) << run.w.messages.shown[0];
    EXPECT_FALSE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));
    EXPECT_FALSE(run.pointer.hourglass);
}

TEST(GoRun, WithoutAServiceAddressGoSaysHowToSetOne)
{
    if (!BuiltInServiceUrl().empty()) {
        GTEST_SKIP() << "this build has an address built in";
    }
    GoRun run;
    run.w.settings.values.erase({std::string(kServiceSection), std::string(kServiceKey)});
    run.CountyQuery(0, "Fairfax", "GPS");
    run.PressGo();
    EXPECT_EQ(run.w.messages.shown, std::vector<std::string>{std::string(kMsgNoServiceAddress)});
    EXPECT_EQ(run.service.RequestCount(), 0);
}

TEST(GoRun, SignInOnceThenTheCredentialsServeLaterRuns)
{
    GoRun run("surveyor", "s3cret");
    run.signIn.answers.push_back({true, "surveyor", "s3cret"});
    run.CountyQuery(0, "Fairfax", "GPS");
    run.PressGo();
    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    EXPECT_EQ(run.signIn.asked, 1);
    EXPECT_TRUE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));

    run.CountyQuery(0, "Prince William", "GPS");
    run.PressGo();
    EXPECT_TRUE(run.w.messages.shown.empty());
    EXPECT_EQ(run.signIn.asked, 1) << "the transfer kept the user name and password";
    EXPECT_TRUE(std::filesystem::exists(run.Output("VA_Prince William_H-G.kml")));
    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kCountyKey), "Prince William");
}

TEST(GoRun, CancellingTheSignInEndsTheRun)
{
    GoRun run("surveyor", "s3cret");
    run.CountyQuery(0, "Fairfax", "GPS");
    run.PressGo();
    EXPECT_EQ(run.signIn.asked, 1);
    EXPECT_EQ(run.w.messages.shown, std::vector<std::string>{"Internet access failed"});
    EXPECT_FALSE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));
}

} // namespace
} // namespace tervane::test
