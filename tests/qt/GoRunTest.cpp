// Go pressed in the real main window against the sample mark-list service on 127.0.0.1,
// through the real HTTP transfer: the written file and the processing dialog's steps,
// Enter on Go, input during a run, and ending the program during a run.

#include "ReplyLines.h"
#include "WindowTestFakes.h"

#include "SampleService.h"

#include "datasheets/FetchDatasheets.h"
#include "retrieval/ServiceAddress.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <tuple>

namespace tervane::test {
namespace {

// The window asking the sample service, which comes first and goes last, once the
// transfer has closed its connections.
struct GoRun : sample::SampleService, WindowUnderTest {
    GoRun()
    {
        const int port = Bind(0);
        EXPECT_TRUE(port > 0 && ServeInBackground());
        settings.SaveSetting(kServiceSection, kServiceKey, "http://127.0.0.1:" + std::to_string(port));
        window.show();
    }

    // Virginia, the first state of the test catalogue.
    void CountyQuery(const char* county, const char* type = "GPS")
    {
        Trigger("GetMonStateCo");
        PickState(0);
        Find<QComboBox>("cboCounty")->setEditText(QString::fromLatin1(county));
        Find<QComboBox>("cboControlType")->setEditText(QString::fromLatin1(type));
    }
    void PressGo() { QTest::mouseClick(Find<QPushButton>("cmdGo"), Qt::LeftButton); }

    // Everything in the output folder but the catalogue: documents and temporary files.
    std::vector<std::string> Written() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Path()))
            if (entry.path().filename() != "Country.dat")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // A click the user makes while the run is busy: queued now, delivered once the run
    // looks at its events.
    static void QueueClick(QWidget* target, QPoint at)
    {
        for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(target,
                                        new QMouseEvent(type, QPointF(at), QPointF(target->mapToGlobal(at)),
                                                        Qt::LeftButton, {}, Qt::NoModifier));
    }
};

// The "Output" menu's choice decides the file (here a KMZ package, written by the real
// archive writer, with the datasheets: a choice open to the KMZ package alone and
// remembered) and the dialog's words, the datasheets counted in a step of their own and
// kept in the cache. A first query by project on a fresh start, with the state and county
// never touched, is run (it was refused with "State must be selected first!"). When no
// viewer takes the document, one message says so and names the file's full path.
TEST(GoRun, AFreshProjectQueryIsWrittenInTheChosenFormatAndAFailedViewerNamed)
{
    GoRun run;
    std::filesystem::copy(std::filesystem::path(TERVANE_SOURCE_DIR) / "data" / "icons", run.Path() / "icons");
    EXPECT_FALSE(run.Find<QAction>("mnuDatasheets")->isEnabled());
    run.Trigger("mnuFormatKmz");
    run.Trigger("mnuDatasheets");
    EXPECT_EQ(run.settings.GetSetting(kSettingsSection, kDatasheetsKey, ""), "1");
    run.viewerFailure = "xdg-open found no program that opens this type of file.";
    run.Trigger("mnuByProj");
    QTest::keyClicks(run.Find("txtProject"), "gps1234");
    run.PressGo();

    const std::filesystem::path written = run.Path() / "GPS1234.kmz";
    EXPECT_EQ(run.Written(), (std::vector<std::string>{"GPS1234.kmz", "cache", "icons"}));
    EXPECT_EQ(testing::ReadFile(written).substr(0, 4), std::string("PK\x03\x04", 4));
    const std::size_t pages = static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(run.Path() / "cache"), {}));
    std::vector<std::string> steps{std::string(kInfoFetching)};
    for (std::size_t done = 0; done < pages + kDatasheetRequestsAtOnce; done += kDatasheetRequestsAtOnce)
        steps.push_back(FetchingDatasheetsInfo(std::min(done, pages), pages));
    steps.insert(steps.end(), {"Creating .kmz file...", "Packing .kmz file...", std::string(kInfoStarting)});
    EXPECT_EQ(run.All("info: "), steps);
    EXPECT_EQ(run.All("opened "), std::vector<std::string>{written.string()});
    EXPECT_EQ(run.All("message: "), std::vector<std::string>{"No viewer could be started for the document. It was "
                                                             "written to:\n" +
                                                             written.string() + "\n\n" + run.viewerFailure});
    EXPECT_FALSE(run.Busy());
}

// Against a fast service the run is over before the second click of a double click
// arrives: that click belongs to the same gesture and is dropped (it ran the query again,
// writing the document twice and starting two viewers). Later, Enter in the last field
// moves the focus to Go, and Enter on a focused Go runs the query, as Space and a click
// do. Nothing the user does while a run is busy is kept for later, apart from ending the
// program: two clicks on Go meanwhile run no second query, and a click on the Stations
// menu opens nothing, during the run or after it.
TEST(GoRun, ADoubleClickOrEnterOnGoRunsOneQueryInputMeanwhileIsDropped)
{
    GoRun run;
    run.ShowActive();
    run.CountyQuery("Fairfax");
    auto* go = run.Find<QPushButton>("cmdGo");
    // As X delivers a double click: press, release, the second press as a double click,
    // release.
    const QPoint at = go->rect().center();
    QTest::mouseClick(go, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(at), QPointF(go->mapToGlobal(at)), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(go, &second);
    QTest::mouseRelease(go, Qt::LeftButton, {}, at);
    EXPECT_EQ(run.RequestCount(), 1);
    EXPECT_EQ(run.All("opened ").size(), 1u);

    QTest::qWait(QApplication::doubleClickInterval() + 50);
    run.CountyQuery("Fairfax"); // the run hid the rows
    run.Find("cboControlType")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), go);
    QMenuBar* bar = run.window.menuBar();
    run.whileShown = [&] {
        GoRun::QueueClick(go, go->rect().center());
        GoRun::QueueClick(go, go->rect().center());
        GoRun::QueueClick(bar, bar->actionGeometry(run.Find<QMenu>("mnuStations")->menuAction()).center());
    };
    QTest::keyClick(go, Qt::Key_Return);
    QTest::qWait(200);

    EXPECT_EQ(run.All("message: "), std::vector<std::string>{});
    EXPECT_EQ(run.RequestCount(), 2);
    EXPECT_EQ(run.All("opened ").size(), 2u);
    EXPECT_EQ(run.Written(), std::vector<std::string>{"VA_Fairfax_H-G.kml"});
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the Stations menu stayed closed";
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    EXPECT_EQ(run.quits, 0);
}

// Closing the window, Exit and Escape end the program at once during a fetch from a
// service that never answers: the fetch is given up, nothing is written, no message, no
// viewer, and the program ends once the run has unwound, long before the time-out.
TEST(GoRun, EndingTheProgramDuringAFetchEndsTheRunAtOnceWritingNothing)
{
    const std::tuple<const char*, std::function<void(GoRun&)>> cases[] = {
        {"closing the window", [](GoRun& run) { run.window.close(); }},
        {"Escape",
         [](GoRun& run) {
             QCoreApplication::postEvent(run.Find("cmdGo"),
                                         new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
         }},
        {"Exit on the menu bar",
         [](GoRun& run) {
             QMenuBar* bar = run.window.menuBar();
             GoRun::QueueClick(bar, bar->actionGeometry(run.Find<QAction>("mnuExit")).center());
         }},
    };
    for (const auto& [name, end] : cases) {
        SCOPED_TRACE(name);
        QTcpServer silent; // takes the connection and never answers
        ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
        GoRun run;
        run.transfer.SetTimeout(std::chrono::seconds(3));
        run.settings.SaveSetting(kServiceSection, kServiceKey,
                                 "http://127.0.0.1:" + std::to_string(silent.serverPort()));
        run.CountyQuery("Fairfax", "HORIZONTAL"); // with a companion request
        QTimer::singleShot(100, &run.window, [&] { end(run); });
        QElapsedTimer clock;
        clock.start();
        run.PressGo();

        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_EQ(run.quits, 1);
        EXPECT_EQ(run.All("message: "), std::vector<std::string>{});
        EXPECT_EQ(run.Last("opened "), "");
        EXPECT_EQ(run.Written(), std::vector<std::string>{});
        EXPECT_FALSE(run.Busy());
        EXPECT_EQ(run.settings.GetSetting(kSettingsSection, kStateKey, "<absent>"), "<absent>");
    }
}

// A termination signal can end the program while the run waits on a modal message box:
// the box goes and the program ends.
TEST(GoRun, EndingTheProgramClosesAMessageBoxTheRunWaitsOn)
{
    GoRun run;
    run.CountyQuery("Fairfax");
    run.Find<QComboBox>("cboState")->setEditText(""); // no state: a message
    run.whileShown = [&run] {
        QDialog box(&run.window);
        QTimer::singleShot(50, &run.window, [&run] { run.window.EndProgram(); });
        QTimer::singleShot(3000, &box, &QDialog::reject); // bounds the test when it fails
        box.exec();
    };
    QElapsedTimer clock;
    clock.start();
    run.PressGo();
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(run.quits, 1);
    EXPECT_EQ(run.RequestCount(), 0);
}

} // namespace
} // namespace tervane::test
