// Go pressed in the real main window against the sample mark-list service on 127.0.0.1,
// through the real HTTP transfer: the written KML file, the remembered state and county,
// the processing dialog's steps, the failure messages and the hand-over to the viewer.

#include "LocalMarkServer.h"
#include "ReplyLines.h"
#include "WindowTestFakes.h"

#include "SampleMarks.h"
#include "SampleService.h"

#include "marks/MarkList.h"
#include "qt/HttpTransfer.h"
#include "qt/ZipArchiveWriter.h"
#include "retrieval/ServiceAddress.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

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
        w.window.SetRunServices({pointer, dialog, transfer, signIn, opener, &archiver});
        w.window.show();
    }

    std::string ServiceUrl() const { return "http://127.0.0.1:" + std::to_string(port); }

    void ChooseMode(const char* action) { w.window.findChild<QAction*>(QString::fromLatin1(action))->trigger(); }

    // Virginia, the first state of the test catalogue.
    void CountyQuery(const char* county, const char* type)
    {
        ChooseMode("GetMonStateCo");
        auto* state = w.Find<QComboBox>("cboState");
        state->setCurrentIndex(0);
        emit state->activated(0);
        w.Find<QComboBox>("cboCounty")->setEditText(QString::fromLatin1(county));
        w.Find<QComboBox>("cboControlType")->setEditText(QString::fromLatin1(type));
    }

    void PressGo() { QTest::mouseClick(w.Find<QPushButton>("cmdGo"), Qt::LeftButton); }

    std::filesystem::path Output(const std::string& name) const { return folder.Path() / name; }

    // Everything in the output folder but the catalogue: documents and temporary files.
    std::vector<std::string> Written() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            if (entry.path().filename() != "Country.dat")
                names.push_back(entry.path().filename().string());
        return names;
    }

    // A click the user makes while the run is busy: queued now, delivered once the run
    // looks at its events.
    void QueueClick(QWidget* target, QPoint at, bool twice = false)
    {
        const QPoint global = target->mapToGlobal(at);
        const auto post = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QCoreApplication::postEvent(target, new QMouseEvent(type, QPointF(at), QPointF(global), Qt::LeftButton,
                                                                buttons, Qt::NoModifier));
        };
        post(QEvent::MouseButtonPress, Qt::LeftButton);
        post(QEvent::MouseButtonRelease, Qt::NoButton);
        if (twice) {
            post(QEvent::MouseButtonDblClick, Qt::LeftButton);
            post(QEvent::MouseButtonRelease, Qt::NoButton);
        }
    }

    ProgramFolder folder;
    sample::SampleService service;
    WindowUnderTest w;
    RecordingDialog dialog;
    RecordingOpener opener{dialog};
    RecordingPointer pointer;
    ScriptedSignIn signIn;
    HttpTransfer transfer;
    ZipArchiveWriter archiver;
    int port = 0;
};

TEST(GoRun, ACountyQueryWritesItsDocumentRemembersTheQueryAndOpensIt)
{
    GoRun run;
    // The county is looked up and named trimmed, and remembered as typed.
    run.CountyQuery("Fairfax ", "HORIZONTAL");
    run.PressGo();

    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    const std::filesystem::path kml = run.Output("VA_Fairfax_H-0-0.kml");
    ASSERT_TRUE(std::filesystem::exists(kml));
    const std::string document = testing::ReadFile(kml);
    // The marks the service gives for the primary and the companion, read as the run reads them.
    const std::size_t marks =
        ReadMarkList(sample::AnswerMarkList({{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", "H-0-0"}}).body +
                         sample::AnswerMarkList({{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", "H-G-0"}}).body,
                     "H-0-0")
            .records.size();
    EXPECT_GT(marks, 0u);
    EXPECT_EQ(testing::CountOf(document, "<Placemark>"), marks) << "the primary and the companion GPS marks";
    EXPECT_NE(document.find(run.ServiceUrl() + "/cgi-bin/ds_mark.prl?PidBox="), std::string::npos);

    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kStateKey), "VA");
    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kCountyKey), "Fairfax ");
    EXPECT_EQ(run.opener.opened, std::vector<std::filesystem::path>{kml});
    EXPECT_EQ(run.opener.infoWhenOpened, kStarting);
    EXPECT_EQ(run.dialog.shownTexts, (std::vector<std::string>{kFetching, kCreating}));
    EXPECT_EQ(run.dialog.events.back(), "hide");
    EXPECT_EQ(run.dialog.lastBarValue, marks) << "one step per mark";
    EXPECT_FALSE(run.pointer.hourglass);
    EXPECT_EQ(run.w.quits, 0) << "the window stays open for the next query";
}

// The "Output" menu's choice decides the file: its extension and contents and the
// dialog's words. It is handed to the viewer as the KML document is; a package whose
// icons are missing fails like any other write.
TEST(GoRun, TheChosenFormatIsWrittenAndOpened)
{
    const struct {
        const char* action;
        bool icons;
        const char* file;
        std::string start; // the file's first bytes
        const char* creating;
        std::string message;
    } cases[] = {
        {"mnuFormatGpx", false, "VA_Fairfax_H-G.gpx", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<gpx ",
         "Creating .gpx file...", ""},
        {"mnuFormatKmz", true, "VA_Fairfax_H-G.kmz", std::string("PK\x03\x04", 4), "Creating .kmz file...",
         ""},
        {"mnuFormatKmz", false, "VA_Fairfax_H-G.kmz", "", "Creating .kmz file...",
         "Could not write the KMZ file "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + std::string(c.icons ? "" : " without icons"));
        GoRun run;
        if (c.icons)
            std::filesystem::copy(std::filesystem::path(TERVANE_SOURCE_DIR) / "data" / "icons",
                                  run.folder.Path() / "icons");
        run.ChooseMode(c.action);
        run.CountyQuery("Fairfax", "GPS");
        run.PressGo();

        const std::filesystem::path written = run.Output(c.file);
        EXPECT_EQ(run.dialog.shownTexts, (std::vector<std::string>{kFetching, c.creating}));
        if (!c.message.empty()) {
            ASSERT_EQ(run.w.messages.shown.size(), 1u);
            EXPECT_EQ(run.w.messages.shown[0].rfind(c.message + written.string(), 0), 0u)
                << run.w.messages.shown[0];
            EXPECT_FALSE(std::filesystem::exists(written));
            EXPECT_TRUE(run.opener.opened.empty());
            continue;
        }
        EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
        EXPECT_EQ(testing::ReadFile(written).substr(0, c.start.size()), c.start);
        EXPECT_EQ(run.opener.opened, std::vector<std::filesystem::path>{written});
        EXPECT_EQ(run.opener.infoWhenOpened, kStarting);
        EXPECT_FALSE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));
    }
}

// One failure before the service is asked and one of its reply, each in the window's
// message box, with nothing written or remembered.
TEST(GoRun, FailuresShowOneMessageWriteNothingAndRememberNothing)
{
    const struct {
        const char* state;
        std::string message;
        int requests; // to the service
    } cases[] = {
        {"", "State must be selected first!", 0},
        {"VA", "No marks found!", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        GoRun run;
        run.w.settings.SaveSetting(kSettingsSection, kStateKey, "remembered");
        run.ChooseMode("mnuByProj");
        run.w.Find<QComboBox>("cboState")->setEditText(QString::fromLatin1(c.state));
        run.w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
        run.w.Find<QLineEdit>("txtProject")->setText("NOMARKS");
        run.PressGo();

        EXPECT_EQ(run.w.messages.shown, std::vector<std::string>{c.message});
        EXPECT_EQ(run.service.RequestCount(), c.requests);
        EXPECT_FALSE(run.dialog.visible) << "no processing dialog is left on the screen";
        EXPECT_FALSE(run.pointer.hourglass);
        EXPECT_TRUE(run.opener.opened.empty());
        EXPECT_EQ(run.w.settings.Get(kSettingsSection, kStateKey), "remembered");
        EXPECT_FALSE(std::filesystem::exists(run.Output("NOMARKS.kml")));
    }
}

// A cancelled sign-in ends the run; the next one signs in, and its credentials serve the
// runs after it.
TEST(GoRun, SignInOnceThenTheCredentialsServeLaterRuns)
{
    GoRun run("surveyor", "s3cret");
    run.CountyQuery("Fairfax", "GPS");
    run.PressGo();
    EXPECT_EQ(run.w.messages.shown, std::vector<std::string>{"Internet access failed"});
    EXPECT_FALSE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));

    run.w.messages.shown.clear();
    run.signIn.answers.push_back({true, "surveyor", "s3cret"});
    run.CountyQuery("Fairfax", "GPS");
    run.PressGo();
    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    EXPECT_EQ(run.signIn.asked, 2);
    EXPECT_TRUE(std::filesystem::exists(run.Output("VA_Fairfax_H-G.kml")));

    run.CountyQuery("Prince William", "GPS");
    run.PressGo();
    EXPECT_TRUE(run.w.messages.shown.empty());
    EXPECT_EQ(run.signIn.asked, 2) << "the transfer kept the user name and password";
    EXPECT_TRUE(std::filesystem::exists(run.Output("VA_Prince William_H-G.kml")));
    EXPECT_EQ(run.w.settings.Get(kSettingsSection, kCountyKey), "Prince William");
}

// Enter in the project box moves the focus to Go, and Enter on a focused Go runs the
// query, as Space and a click do.
TEST(GoRun, EnterOnTheFocusedGoRunsTheQuery)
{
    GoRun run;
    ShowActive(run.w);
    run.ChooseMode("mnuByProj");
    run.w.Find<QComboBox>("cboState")->setEditText("VA");
    run.w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
    auto* project = run.w.Find<QLineEdit>("txtProject");
    project->setFocus();
    QTest::keyClicks(project, "L27001");
    QTest::keyClick(project, Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), run.w.Find<QWidget>("cmdGo"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

    EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
    EXPECT_EQ(run.Written(), std::vector<std::string>{"L27001.kml"});
    EXPECT_EQ(run.opener.opened.size(), 1u);
}

// Nothing the user does while a run is busy is kept for later, apart from ending the
// program: a double click on Go runs one query and opens one document, and a click on
// the Stations menu meanwhile opens nothing, during the run or after it.
TEST(GoRun, InputDuringARunIsDroppedNotReplayed)
{
    GoRun run;
    run.ChooseMode("mnuByProj");
    run.w.Find<QComboBox>("cboState")->setEditText("VA");
    run.w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
    run.w.Find<QLineEdit>("txtProject")->setText("L27001");
    auto* go = run.w.Find<QPushButton>("cmdGo");
    QMenuBar* bar = run.w.window.menuBar();
    const QPoint stations = bar->actionGeometry(run.w.window.findChild<QMenu*>("mnuStations")->menuAction()).center();
    run.QueueClick(go, go->rect().center(), true);
    run.QueueClick(bar, stations);
    run.PressGo();
    QTest::qWait(200);

    EXPECT_EQ(run.service.RequestCount(), 1);
    EXPECT_EQ(run.opener.opened.size(), 1u);
    EXPECT_EQ(run.Written(), std::vector<std::string>{"L27001.kml"});
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the Stations menu stayed closed";
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    EXPECT_EQ(run.w.quits, 0);
}

// Closing the window, Exit and Escape end the program at once during a fetch from a
// service that never answers: the fetch is given up, nothing is written, no message, no
// viewer, and the program ends once the run has unwound, long before the time-out.
TEST(GoRun, EndingTheProgramDuringAFetchEndsTheRunAtOnceWritingNothing)
{
    const struct {
        const char* name;
        std::function<void(GoRun&)> end;
    } cases[] = {
        {"closing the window", [](GoRun& run) { run.w.window.close(); }},
        {"Escape",
         [](GoRun& run) {
             QCoreApplication::postEvent(run.w.Find<QPushButton>("cmdGo"),
                                         new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
         }},
        {"Exit on the menu bar",
         [](GoRun& run) {
             QMenuBar* bar = run.w.window.menuBar();
             run.QueueClick(bar, bar->actionGeometry(run.w.window.findChild<QAction*>("mnuExit")).center());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const testing::SilentServer silent;
        GoRun run;
        run.transfer.SetTimeout(std::chrono::seconds(3));
        run.w.settings.SaveSetting(kServiceSection, kServiceKey, "http://127.0.0.1:" + std::to_string(silent.port));
        run.CountyQuery("Fairfax", "HORIZONTAL"); // with a companion request
        QTimer::singleShot(100, &run.w.window, [&] { c.end(run); });
        QElapsedTimer clock;
        clock.start();
        run.PressGo();

        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_EQ(run.w.quits, 1);
        EXPECT_TRUE(run.w.messages.shown.empty()) << run.w.messages.shown.front();
        EXPECT_TRUE(run.opener.opened.empty());
        EXPECT_TRUE(run.Written().empty()) << run.Written().front();
        EXPECT_FALSE(run.dialog.visible);
        EXPECT_FALSE(run.pointer.hourglass);
        EXPECT_EQ(run.w.settings.Get(kSettingsSection, kStateKey), "<absent>");
    }
}

// A termination signal can end the program while the run waits on a modal message box:
// the box goes and the program ends.
TEST(GoRun, EndingTheProgramClosesAMessageBoxTheRunWaitsOn)
{
    GoRun run;
    run.ChooseMode("mnuByProj");
    run.w.Find<QLineEdit>("txtProject")->setText("L27001"); // no state: a message
    run.w.messages.whileShown = [&run] {
        QDialog box(&run.w.window);
        QTimer::singleShot(50, &run.w.window, [&run] { run.w.window.EndProgram(); });
        QTimer::singleShot(3000, &box, &QDialog::reject); // bounds the test when it fails
        box.exec();
    };
    QElapsedTimer clock;
    clock.start();
    run.PressGo();

    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(run.w.quits, 1);
    EXPECT_EQ(run.service.RequestCount(), 0);
}

} // namespace
} // namespace tervane::test
