// The main window driven through its controls with QTest: start-up, the query modes and
// the rows they show, choosing a state, the key filters, ending, Output and Help.

#include "WindowTestFakes.h"

#include "retrieval/ControlType.h"
#include "ui/HelpWindow.h"

#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStyle>
#include <QTextBrowser>

#include <csignal>
#include <fstream>
#include <set>
#include <tuple>

namespace tervane::test {
namespace {

using Rows = std::set<std::string>;

// The field of each row; its label is named "lbl" and the rest of the field's name.
const char* const kRows[] = {"cboState",  "cboCounty",  "txtLatitude",   "txtLongitude",
                             "txtRadius", "txtProject", "cboControlType"};

// The rows whose label and field are both shown; a row half shown fails the test.
Rows VisibleRows(WindowUnderTest& w)
{
    Rows rows;
    for (const std::string field : kRows) {
        const bool shown = !w.Find(field.c_str())->isHidden();
        EXPECT_NE(w.Find(("lbl" + field.substr(3)).c_str())->isHidden(), shown)
            << field << " row is half shown";
        if (shown)
            rows.insert(field);
    }
    return rows;
}

std::vector<std::string> Entries(QComboBox* list)
{
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i)
        entries.push_back(list->itemText(i).toStdString());
    return entries;
}

// The "Output" menu's choices that are ticked.
std::vector<std::string> Ticked(WindowUnderTest& w)
{
    std::vector<std::string> texts;
    for (const char* name : {"mnuFormatKml", "mnuFormatKmz", "mnuFormatGpx", "mnuFormatGeojson", "mnuFormatCsv"})
        if (w.Find<QAction>(name)->isChecked())
            texts.push_back(w.Find<QAction>(name)->text().toStdString());
    return texts;
}

// Start-up restores the remembered state, county and output format (a remembered name the
// program does not know leaves the KML document ticked), fills the state and type lists and
// hides every row; without a catalogue it says so, leaving the lists empty, rows shown.
TEST(MainWindowStartUp, RestoresRememberedTextsAndFillsTheListsOrReportsTheCatalogue)
{
    const std::tuple<bool, std::string, std::string> rows[] = {{true, "kmz", "KMZ package (icons included)"},
                                                               {false, "gpx", "GPX waypoints"},
                                                               {true, "csv", "CSV table"},
                                                               {true, "GPX", "KML document"}};
    for (const auto& [catalogue, remembered, shown] : rows) {
        SCOPED_TRACE(remembered);
        WindowUnderTest w(false, catalogue);
        w.settings.SaveSetting(kSettingsSection, kStateKey, "VA");
        w.settings.SaveSetting(kSettingsSection, kCountyKey, "Prince William ");
        w.settings.SaveSetting(kSettingsSection, kFormatKey, remembered);
        w.window.Load();
        EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText(), "VA");
        EXPECT_EQ(w.Find<QComboBox>("cboCounty")->currentText(), "Prince William ");
        EXPECT_EQ(Ticked(w), std::vector<std::string>{shown});
        EXPECT_EQ(w.Find<QComboBox>("cboControlType")->count(), catalogue ? std::ssize(kControlTypes) : 0);
        EXPECT_EQ(Entries(w.Find<QComboBox>("cboState")).size(), catalogue ? 4u : 0u);
        EXPECT_EQ(VisibleRows(w).size(), catalogue ? 0u : std::size(kRows));
        EXPECT_EQ(w.All("message: ").size(), catalogue ? 0u : 1u);
        EXPECT_TRUE(catalogue || w.Last("message: ").find("Country.dat") != std::string::npos);
    }
}

// The Stations commands show their rows and leave the focus alone: a focused field that a
// mode hides loses the focus rather than handing it on (the next control taking it would
// show rows of its own). Rows appear as the focus moves on and stay across modes; a run
// leaves the project row.
TEST(MainWindowModes, CommandsAndTheFocusShowTheRowsAQueryNeeds)
{
    WindowUnderTest w;
    w.ShowActive();
    w.Find("cmdGo")->setFocus();
    // command: or the field that takes the focus
    const std::tuple<const char*, std::string, Rows> steps[] = {
        {"GetMonStateCo", "SC", {"cboState"}},
        {"cboState", "SC", {"cboState", "cboCounty"}},
        {"mnuLatLonRad", "LL", {"cboCounty", "txtLatitude", "txtLongitude", "txtRadius"}},
        {"cboCounty", "LL", {"cboCounty", "txtLatitude", "txtLongitude", "txtRadius", "cboControlType"}},
        {"mnuByProj", "PR", {"cboCounty", "txtProject", "cboControlType"}},
    };
    for (const auto& [command, mode, rows] : steps) {
        QWidget* before = QApplication::focusWidget();
        if (auto* action = w.window.findChild<QAction*>(QString::fromLatin1(command))) {
            action->trigger();
            EXPECT_TRUE(QApplication::focusWidget() == before || before->isHidden()) << command;
        } else {
            w.Find(command)->setFocus();
        }
        EXPECT_EQ(w.window.QueryMode(), mode) << command;
        EXPECT_EQ(VisibleRows(w), rows) << command;
    }
    w.window.HideQueryInputs();
    EXPECT_EQ(VisibleRows(w), Rows{"txtProject"});
}

// Opening the empty county list loads the counties of the typed state. Picking a state
// leaves its code and loads its counties, keeping the typed county; a state without
// counties empties and hides the county row. A catalogue gone unreadable is reported.
TEST(MainWindowChoosingState, PickingOrTypingAStateLoadsItsCounties)
{
    WindowUnderTest w;
    w.ShowActive();
    w.Trigger("GetMonStateCo");
    auto* state = w.Find<QComboBox>("cboState");
    auto* county = w.Find<QComboBox>("cboCounty");
    state->setFocus(); // shows the county row
    state->setEditText("DC and more");
    county->showPopup();
    EXPECT_EQ(state->currentText(), "DC");
    EXPECT_EQ(Entries(county), std::vector<std::string>{"District of Columbia"});
    county->hidePopup();

    county->setEditText("Arlington");
    w.PickState(0);
    EXPECT_EQ(state->currentText(), "VA");
    EXPECT_EQ(Entries(county), (std::vector<std::string>{"Fairfax", "Prince William", "Alexandria city"}));
    EXPECT_EQ(county->currentText(), "Arlington");
    w.PickState(1);
    EXPECT_EQ(state->currentText(), "ZZ");
    EXPECT_EQ(county->currentText(), "");
    EXPECT_EQ(VisibleRows(w), (Rows{"cboState", "cboControlType"}));

    std::filesystem::remove(w.Path() / "Country.dat");
    w.PickState(3);
    EXPECT_EQ(w.All("message: ").size(), 1u);
    EXPECT_EQ(county->count(), 0);
}

// Each filtered field capitalises and refuses with a beep (the rules themselves are the
// key filter's, tested on their own), and passes keys that type no character whatever
// text the platform gives them: X11 gives Delete the text U+007F, which must not count
// as a control code.
TEST(MainWindowKeys, FilteredFieldsCapitaliseRefuseAndPassKeysWithoutCharacters)
{
    const std::tuple<const char*, const char*, std::string, int> rows[] = {
        {"txtLatitude", "n38.5323", "N385323", 1}, {"txtLongitude", "w0770213", "W0770213", 0},
        {"txtRadius", "12.5mi", "12.5", 2},        {"txtProject", "l-27 001", "L27001", 2},
        {"cboControlType", "pacs ", "PACS", 1},
    };
    const QString del(QChar(0x7F));
    WindowUnderTest w;
    w.ShowActive();
    for (const auto& [name, typed, expected, beeped] : rows) {
        SCOPED_TRACE(name);
        const int beeps = w.beeps;
        QWidget* field = w.Find(name);
        field->show();
        field->setFocus();
        auto* edit = qobject_cast<QLineEdit*>(field) ? qobject_cast<QLineEdit*>(field)
                                                     : qobject_cast<QComboBox*>(field)->lineEdit();
        QTest::keyClicks(field, QString::fromLatin1(typed));
        EXPECT_EQ(edit->text().toStdString(), expected);
        EXPECT_EQ(w.beeps - beeps, beeped);
        for (Qt::Key key : {Qt::Key_F5, Qt::Key_Home, Qt::Key_Right, Qt::Key_Delete})
            QTest::sendKeyEvent(QTest::Click, field, key, key == Qt::Key_Delete ? del : QString(),
                                Qt::NoModifier);
        EXPECT_EQ(edit->text().toStdString(), std::string(expected).erase(1, 1));
        EXPECT_EQ(w.beeps - beeps, beeped) << "no beep for keys without a character";
    }
}

// An open menu, an open drop-down list and the menu bar the keyboard moves through
// (after Alt or F10) take one Escape and close; only the next Escape ends the program.
// Escape on the Help or Exit title (F10, then Right) used to end the program, and after
// F10 and Escape the bar stayed active and swallowed the next one.
TEST(MainWindowEnding, EscapeClosesAnOpenMenuFirst)
{
    const auto f10Then = [](int rights) {
        return [rights](WindowUnderTest&) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
            for (int i = 0; i < rights; ++i)
                QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                                  : QApplication::focusWidget(),
                                Qt::Key_Right);
        };
    };
    const std::pair<const char*, std::function<void(WindowUnderTest&)>> cases[] = {
        {"Stations menu opened by a click",
         [](WindowUnderTest& w) {
             QMenuBar* bar = w.window.menuBar();
             QTest::mouseClick(bar, Qt::LeftButton, {},
                               bar->actionGeometry(w.Find<QMenu>("mnuStations")->menuAction()).center());
         }},
        {"menu bar after Alt",
         [](WindowUnderTest&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Alt); }},
        {"Stations menu after F10", f10Then(0)},
        {"Help title after F10", f10Then(2)},
        {"Exit title after F10", f10Then(3)},
        {"state list dropped down", [](WindowUnderTest& w) { w.Find<QComboBox>("cboState")->showPopup(); }},
    };
    for (const auto& [name, open] : cases) {
        SCOPED_TRACE(name);
        WindowUnderTest w;
        w.ShowActive();
        w.Trigger("GetMonStateCo");
        w.Find("cboState")->setFocus();
        open(w);
        QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::focusWidget();
        ASSERT_TRUE(QApplication::activePopupWidget() || w.window.menuBar()->activeAction())
            << "nothing was opened";
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        EXPECT_EQ(w.window.menuBar()->activeAction(), nullptr) << "the menu bar let go";
        EXPECT_EQ(w.quits, 0);
        EXPECT_EQ(QApplication::focusWidget(), w.Find("cboState")) << "the focus is back where it was";
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(w.quits, 1);
    }
}

#ifdef TERVANE_WINDOW_PATH
// SIGTERM (a logout, `kill`) ends the window as Exit does, with exit status 0, rather
// than killing it where it stands (a run in progress would leave its temporary file).
TEST(MainWindowEnding, TerminationSignalEndsTheProgramAsExitDoes)
{
    QTemporaryDir home;
    QProcess window;
    window.setEnvironment(QProcess::systemEnvironment() << "QT_QPA_PLATFORM=offscreen"
                                                        << "XDG_CONFIG_HOME=" + home.path());
    window.start(QStringLiteral(TERVANE_WINDOW_PATH), {});
    ASSERT_TRUE(window.waitForStarted(5000));
    // Ready once it catches the signal (Linux shows that in /proc).
    const auto catchesTerm = [&window] {
        QFile file(QStringLiteral("/proc/%1/status").arg(window.processId()));
        const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const qsizetype at = status.indexOf("SigCgt:");
        return at >= 0 &&
               (status.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
    };
    for (int i = 0; i < 250 && !catchesTerm(); ++i)
        QTest::qWait(20);
    EXPECT_TRUE(catchesTerm());

    ::kill(static_cast<pid_t>(window.processId()), SIGTERM);
    ASSERT_TRUE(window.waitForFinished(3000));
    EXPECT_EQ(window.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(window.exitCode(), 0);
}
#endif

// The "Output" menu's choices are exclusive, the KML document ticked at first, and a choice
// is remembered at once. The menu says where the files go (the per-user folder when the
// program's cannot be written to).
TEST(MainWindowOutput, TheFormatChoiceIsExclusiveRememberedAndTheFolderNamed)
{
    WindowUnderTest w;
    EXPECT_EQ(Ticked(w), std::vector<std::string>{"KML document"});
    w.Trigger("mnuFormatKmz");
    w.Trigger("mnuFormatGpx");
    EXPECT_EQ(Ticked(w), std::vector<std::string>{"GPX waypoints"});
    EXPECT_EQ(w.settings.GetSetting(kSettingsSection, kFormatKey, "<absent>"), "gpx");
    emit w.Find<QMenu>("mnuOutput")->aboutToShow();
    EXPECT_EQ(w.Find<QAction>("mnuOutputFolder")->text().toStdString(), "Files go to " + w.Path().string());
}

// Go shows its focus as a frame a few pixels thick inside itself (a one-pixel frame on
// cyan was hard to see), its place and size unchanged.
TEST(MainWindowGo, TheFocusIsAThickFrameInsideTheButton)
{
    WindowUnderTest w;
    w.ShowActive();
    auto* go = w.Find("cmdGo");
    const QRect geometry = go->geometry();
    const QColor highlight = go->palette().color(QPalette::Highlight);
    const auto framed = [&] {
        const QImage image = go->grab().toImage();
        const int inset = go->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, go) + 1;
        int pixels = 0;
        for (int i = 0; i < kGoFocusWidth; ++i)
            for (const QPoint at :
                 {QPoint(inset + i, image.height() / 2), QPoint(image.width() / 2, inset + i)})
                pixels += image.pixelColor(at * image.devicePixelRatio()) == highlight ? 1 : 0;
        return pixels;
    };
    w.Find("cboState")->show();
    w.Find("cboState")->setFocus();
    EXPECT_EQ(framed(), 0);
    go->setFocus();
    EXPECT_EQ(framed(), 2 * kGoFocusWidth);
    EXPECT_EQ(go->geometry(), geometry);
}

TEST(MainWindowHelp, AMissingHelpPageIsReportedAndF1ShowsAnExistingOne)
{
    WindowUnderTest w;
    w.ShowActive();
    w.Trigger("mnuHelp");
    EXPECT_NE(w.Last("message: ").find("Tervane.html"), std::string::npos) << w.Last("message: ");
    std::ofstream(w.Path() / "Tervane.html") << "<html><body><h1>Using Tervane</h1></body></html>";
    QTest::keyClick(&w.window, Qt::Key_F1);
    auto* help = w.window.findChild<HelpWindow*>();
    ASSERT_TRUE(help && help->isVisible());
    EXPECT_NE(help->Browser()->toPlainText().toStdString().find("Using Tervane"), std::string::npos);
}

} // namespace
} // namespace tervane::test
