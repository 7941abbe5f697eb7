// The main window driven through its controls with QTest: start-up, the query modes and
// the rows they show, choosing a state, the key filters, Escape, Exit and Help.

#include "WindowTestFakes.h"

#include "retrieval/ControlType.h"
#include "ui/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <set>

namespace tervane::test {
namespace {

struct RowNames {
    const char* row;
    const char* label;
    const char* field;
};

const RowNames kRows[] = {
    {"state", "lblState", "cboState"},
    {"county", "lblCounty", "cboCounty"},
    {"latitude", "lblLatitude", "txtLatitude"},
    {"longitude", "lblLongitude", "txtLongitude"},
    {"radius", "lblRadius", "txtRadius"},
    {"project", "lblProject", "txtProject"},
    {"type", "lblControlType", "cboControlType"},
};

// The rows whose label and field are both shown; a row half shown fails the test.
std::set<std::string> VisibleRows(WindowUnderTest& w)
{
    std::set<std::string> rows;
    for (const RowNames& row : kRows) {
        const bool label = !w.Find<QLabel>(row.label)->isHidden();
        const bool field = !w.Find<QWidget>(row.field)->isHidden();
        EXPECT_EQ(label, field) << row.row << " row is half shown";
        if (label) {
            rows.insert(row.row);
        }
    }
    return rows;
}

std::vector<std::string> Entries(QComboBox* list)
{
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) {
        entries.push_back(list->itemText(i).toStdString());
    }
    return entries;
}

void TriggerMenu(WindowUnderTest& w, const char* actionName)
{
    QAction* action = w.window.findChild<QAction*>(QString::fromLatin1(actionName));
    ASSERT_NE(action, nullptr) << actionName;
    action->trigger();
}

void PickState(WindowUnderTest& w, int index)
{
    auto* state = w.Find<QComboBox>("cboState");
    state->setCurrentIndex(index);
    emit state->activated(index);
}

TEST(MainWindowStartUp, RestoresRememberedTextsFillsListsAndHidesEveryRow)
{
    ProgramFolder folder;
    WindowUnderTest w(folder, false);
    w.settings.SaveSetting(kSettingsSection, kStateKey, "VA");
    w.settings.SaveSetting(kSettingsSection, kCountyKey, "Prince William ");
    w.window.Load();

    EXPECT_EQ(w.window.windowTitle().toStdString(), "TERVANE");
    EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText().toStdString(), "VA");
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->currentText().toStdString(), "Prince William ");
    EXPECT_EQ(Entries(w.Find<QComboBox>("cboState")),
              (std::vector<std::string>{"VA Virginia", "ZZ Statewithout Counties", "DC District of Columbia",
                                        "PQ Pacific Quarter"}));
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->count(), 0);
    EXPECT_EQ(w.Find<QComboBox>("cboControlType")->count(), static_cast<int>(kControlTypes.size()));
    EXPECT_EQ(w.Find<QComboBox>("cboControlType")->currentText().toStdString(), "");
    EXPECT_TRUE(VisibleRows(w).empty());
    EXPECT_EQ(w.window.QueryMode(), "");
    EXPECT_TRUE(w.messages.shown.empty());
}

TEST(MainWindowStartUp, MissingCatalogueIsReportedAndLeavesListsEmptyAndRowsShown)
{
    ProgramFolder folder("");
    WindowUnderTest w(folder, false);
    w.settings.SaveSetting(kSettingsSection, kStateKey, "VA");
    w.window.Load();

    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_NE(w.messages.shown[0].find("Country.dat"), std::string::npos) << w.messages.shown[0];
    EXPECT_EQ(w.Find<QComboBox>("cboState")->count(), 0);
    EXPECT_EQ(w.Find<QComboBox>("cboControlType")->count(), 0);
    EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText().toStdString(), "VA");
    EXPECT_EQ(VisibleRows(w).size(), std::size(kRows));
}

TEST(MainWindowLayout, EveryTextFitsItsControlAtTheWindowFont)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    w.window.show();
    for (const RowNames& row : kRows) {
        auto* label = w.Find<QLabel>(row.label);
        const QFontMetrics metrics(label->font());
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text())) << row.label;
        EXPECT_GE(label->height(), metrics.height()) << row.label;
        auto* field = w.Find<QWidget>(row.field);
        EXPECT_GE(field->height(), field->minimumSizeHint().height()) << row.field;
        EXPECT_LT(label->geometry().right(), field->x()) << row.label << " runs into its field";
    }
}

struct ModeCase {
    const char* name;
    const char* action;
    std::string mode;
    std::set<std::string> rows;
};

TEST(MainWindowModes, EachCommandShowsItsRowsAndSetsTheMode)
{
    const ModeCase cases[] = {
        {"by state and county", "GetMonStateCo", "SC", {"state"}},
        {"by lat lon radius", "mnuLatLonRad", "LL", {"latitude", "longitude", "radius"}},
        {"by project", "mnuByProj", "PR", {"project"}},
    };
    for (const ModeCase& c : cases) {
        ProgramFolder folder;
        WindowUnderTest w(folder);
        TriggerMenu(w, c.action);
        EXPECT_EQ(w.window.QueryMode(), c.mode) << c.name;
        EXPECT_EQ(VisibleRows(w), c.rows) << c.name;
    }
}

TEST(MainWindowModes, SwitchingModeKeepsRowsAndTextsARunLeavesTheProjectRow)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    TriggerMenu(w, "GetMonStateCo");
    PickState(w, 0);
    ASSERT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county", "type"}));
    w.Find<QLineEdit>("txtProject")->setText("L27001");

    TriggerMenu(w, "mnuLatLonRad");
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"county", "latitude", "longitude", "radius", "type"}));
    TriggerMenu(w, "mnuByProj");
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"county", "project", "type"}));
    EXPECT_EQ(w.Find<QLineEdit>("txtProject")->text().toStdString(), "L27001");
    w.window.HideQueryInputs(); // as a run does
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"project"}));
}

TEST(MainWindowModes, RowsAppearAsTheFocusMovesThroughTheFields)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);

    TriggerMenu(w, "GetMonStateCo");
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state"}));
    w.Find<QComboBox>("cboState")->setFocus();
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county"}));
    w.Find<QComboBox>("cboCounty")->setFocus();
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county", "type"}));
}

// The mode commands leave the focus alone. A focused field that a mode hides loses the
// focus rather than handing it on: the next control taking it would show rows of its own.
TEST(MainWindowModes, ChoosingAModeDoesNotMoveTheFocus)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    w.Find<QWidget>("cmdGo")->setFocus();
    TriggerMenu(w, "GetMonStateCo");
    EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>("cmdGo"));

    w.Find<QWidget>("cboState")->setFocus();
    ASSERT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county"}));
    TriggerMenu(w, "mnuLatLonRad");
    EXPECT_NE(QApplication::focusWidget(), w.Find<QWidget>("cboCounty"));
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"county", "latitude", "longitude", "radius"}));
}

TEST(MainWindowChoosingState, PickingAnEntryLeavesItsCodeAndLoadsItsCountiesIfAny)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    TriggerMenu(w, "GetMonStateCo");
    w.Find<QComboBox>("cboCounty")->setEditText("Arlington");

    PickState(w, 0);
    EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText().toStdString(), "VA");
    EXPECT_EQ(Entries(w.Find<QComboBox>("cboCounty")),
              (std::vector<std::string>{"Fairfax", "Prince William", "Alexandria city"}));
    // The typed county stays although the state has no county of that name.
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->currentText().toStdString(), "Arlington");
    EXPECT_EQ(w.window.SelectedRegion(), "US");
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county", "type"}));

    PickState(w, 3);
    EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText().toStdString(), "PQ");
    EXPECT_EQ(Entries(w.Find<QComboBox>("cboCounty")), (std::vector<std::string>{"Harbour District"}));
    EXPECT_EQ(w.window.SelectedRegion(), "Overseas Areas");

    // A state without counties hides the county row and empties its text; the type row,
    // once shown, stays.
    w.Find<QComboBox>("cboCounty")->setEditText("Fairfax");
    PickState(w, 1);
    EXPECT_EQ(w.Find<QComboBox>("cboState")->currentText().toStdString(), "ZZ");
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->count(), 0);
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->currentText().toStdString(), "");
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state", "type"}));
}

TEST(MainWindowChoosingState, OpeningTheEmptyCountyListLoadsTheTypedStatesCounties)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    TriggerMenu(w, "GetMonStateCo");
    auto* state = w.Find<QComboBox>("cboState");
    auto* county = w.Find<QComboBox>("cboCounty");
    state->setFocus(); // shows the county row
    state->setEditText("DC and more");
    county->showPopup();
    EXPECT_EQ(state->currentText().toStdString(), "DC");
    EXPECT_EQ(Entries(county), (std::vector<std::string>{"District of Columbia"}));
    county->hidePopup();

    // Opening a list that already holds counties changes nothing.
    state->setEditText("VA");
    county->showPopup();
    EXPECT_EQ(Entries(county), (std::vector<std::string>{"District of Columbia"}));
    county->hidePopup();
}

TEST(MainWindowChoosingState, AnUnreadableCatalogueIsReportedAndLeavesTheCountyListEmpty)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    TriggerMenu(w, "GetMonStateCo");
    PickState(w, 0);
    ASSERT_EQ(w.Find<QComboBox>("cboCounty")->count(), 3);
    std::filesystem::remove(folder.Path() / "Country.dat");

    PickState(w, 3);
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_EQ(w.Find<QComboBox>("cboCounty")->count(), 0);
    EXPECT_EQ(VisibleRows(w), (std::set<std::string>{"state", "county", "type"})) << "rows keep their visibility";
}

struct TypingCase {
    const char* name;
    const char* field;
    const char* typed;
    const char* expected;
    int beeps;
};

TEST(MainWindowKeys, FilteredFieldsCapitaliseAndRefuseWithABeep)
{
    const TypingCase cases[] = {
        {"latitude capitals n", "txtLatitude", "n385323", "N385323", 0},
        {"latitude refuses a point", "txtLatitude", "38.5", "385", 1},
        {"longitude capitals w", "txtLongitude", "w0770213", "W0770213", 0},
        {"radius takes a point, refuses letters", "txtRadius", "12.5mi", "12.5", 2},
        {"project capitals, refuses a dash and a space", "txtProject", "l-27 001", "L27001", 2},
        {"type refuses a space", "cboControlType", "pacs ", "PACS", 1},
        {"state box takes anything", "cboState", "va x.", "va x.", 0},
    };
    for (const TypingCase& c : cases) {
        ProgramFolder folder;
        WindowUnderTest w(folder);
        ShowActive(w);
        QWidget* field = w.Find<QWidget>(c.field);
        field->show();
        field->setFocus();
        QTest::keyClicks(field, QString::fromLatin1(c.typed));
        const QString text = qobject_cast<QLineEdit*>(field) ? qobject_cast<QLineEdit*>(field)->text()
                                                              : qobject_cast<QComboBox*>(field)->currentText();
        EXPECT_EQ(text.toStdString(), c.expected) << c.name;
        EXPECT_EQ(w.beeps, c.beeps) << c.name;
    }
}

TEST(MainWindowKeys, CopyAndPasteKeysAreSwallowedWithABeepBackspacePasses)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    TriggerMenu(w, "mnuLatLonRad");
    auto* latitude = w.Find<QLineEdit>("txtLatitude");
    latitude->setFocus();
    QTest::keyClicks(latitude, "N38");
    QApplication::clipboard()->setText("W077");

    QTest::keyClick(latitude, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(latitude, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(latitude->text().toStdString(), "N38");
    EXPECT_EQ(w.beeps, 2);
    QTest::keyClick(latitude, Qt::Key_Backspace);
    EXPECT_EQ(latitude->text().toStdString(), "N3");
    EXPECT_EQ(w.beeps, 2);
}

// Keys that type no character pass the filters untouched, whatever text the platform
// gives them: X11 gives Delete the text U+007F, which must not count as a control code.
TEST(MainWindowKeys, KeysThatTypeNoCharacterPassTheFilters)
{
    const struct {
        const char* name;
        const char* field;
        Qt::Key key;
        QString text;
        const char* expected; // from "N385323" with the cursor after its first character
    } cases[] = {
        {"Delete on X11", "txtLatitude", Qt::Key_Delete, QString(QChar(0x7F)), "N85323"},
        {"Delete in the type box", "cboControlType", Qt::Key_Delete, QString(QChar(0x7F)), "N85323"},
        {"Delete in the project box", "txtProject", Qt::Key_Delete, QString(QChar(0x7F)), "N85323"},
        {"Delete in the radius box", "txtRadius", Qt::Key_Delete, QString(QChar(0x7F)), "N85323"},
        {"Delete in the longitude box", "txtLongitude", Qt::Key_Delete, QString(QChar(0x7F)), "N85323"},
        {"Home, then Delete", "txtLatitude", Qt::Key_Home, QString(), "385323"},
        {"Right arrow, then Delete", "txtLatitude", Qt::Key_Right, QString(), "N35323"},
        {"F5, then Delete", "txtLatitude", Qt::Key_F5, QString(), "N85323"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        WindowUnderTest w(folder);
        ShowActive(w);
        QWidget* field = w.Find<QWidget>(c.field);
        field->show();
        field->setFocus();
        auto* edit = qobject_cast<QLineEdit*>(field) ? qobject_cast<QLineEdit*>(field)
                                                     : qobject_cast<QComboBox*>(field)->lineEdit();
        edit->setText("N385323");
        edit->setCursorPosition(1);
        QTest::sendKeyEvent(QTest::Click, field, c.key, c.text, Qt::NoModifier);
        if (c.key != Qt::Key_Delete)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);
        EXPECT_EQ(edit->text().toStdString(), c.expected);
        EXPECT_EQ(w.beeps, 0);
    }

    // A selected latitude goes with one Delete.
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    TriggerMenu(w, "mnuLatLonRad");
    auto* latitude = w.Find<QLineEdit>("txtLatitude");
    latitude->setFocus();
    QTest::keyClicks(latitude, "N385323");
    latitude->selectAll();
    QTest::sendKeyEvent(QTest::Click, latitude, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);
    EXPECT_EQ(latitude->text().toStdString(), "");
    EXPECT_EQ(w.beeps, 0);
}

TEST(MainWindowKeys, EnterMovesTheFocusToTheNextShownControl)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    TriggerMenu(w, "mnuLatLonRad");
    auto* latitude = w.Find<QLineEdit>("txtLatitude");
    latitude->setFocus();
    QTest::keyClick(latitude, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>("txtLongitude"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>("txtRadius"));
    // The radius box taking the focus showed the type row, so Enter goes there.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>("cboControlType"));
    EXPECT_EQ(w.Find<QLineEdit>("txtRadius")->text().toStdString(), "");

    ProgramFolder other;
    WindowUnderTest pr(other);
    ShowActive(pr);
    TriggerMenu(pr, "mnuByProj");
    auto* project = pr.Find<QLineEdit>("txtProject");
    project->setFocus();
    QTest::keyClick(project, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), pr.Find<QWidget>("cmdGo")) << "the type row is hidden";
}

TEST(MainWindowEnding, EscapeFromAnyControlEndsTheProgram)
{
    for (const char* name : {"cboState", "txtLatitude", "cmdGo"}) {
        ProgramFolder folder;
        WindowUnderTest w(folder);
        ShowActive(w);
        QWidget* control = w.Find<QWidget>(name);
        control->show();
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Escape);
        EXPECT_EQ(w.quits, 1) << name;
    }
}

// An open menu, an open drop-down list and the menu bar the keyboard moves through
// (after Alt) take Escape and close; only the next Escape ends the program.
TEST(MainWindowEnding, EscapeClosesAnOpenMenuFirst)
{
    const struct {
        const char* name;
        std::function<void(WindowUnderTest&)> open;
    } cases[] = {
        {"Stations menu opened by a click",
         [](WindowUnderTest& w) {
             QMenuBar* bar = w.window.menuBar();
             QTest::mouseClick(bar, Qt::LeftButton, {},
                               bar->actionGeometry(w.window.findChild<QMenu*>("mnuStations")->menuAction()).center());
         }},
        {"menu bar after Alt",
         [](WindowUnderTest&) {
             QTest::keyPress(QApplication::focusWidget(), Qt::Key_Alt);
             QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Alt);
         }},
        {"menu bar after F10", [](WindowUnderTest&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10); }},
        {"state list dropped down", [](WindowUnderTest& w) { w.Find<QComboBox>("cboState")->showPopup(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        WindowUnderTest w(folder);
        ShowActive(w);
        TriggerMenu(w, "GetMonStateCo");
        w.Find<QWidget>("cboState")->setFocus();
        c.open(w);
        QWidget* target = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::focusWidget();
        ASSERT_TRUE(QApplication::activePopupWidget() || qobject_cast<QMenuBar*>(target)) << "nothing was opened";
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_EQ(w.quits, 0);
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        // A menu closed by Escape leaves its bar active, which takes one more Escape.
        if (qobject_cast<QMenuBar*>(QApplication::focusWidget())) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            EXPECT_EQ(w.quits, 0);
        }
        EXPECT_EQ(QApplication::focusWidget(), w.Find<QWidget>("cboState")) << "the focus is back where it was";
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(w.quits, 1);
    }
}

TEST(MainWindowEnding, ExitAndClosingEndTheProgramEscapeInAnotherWindowDoesNot)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(&elsewhere, Qt::Key_Escape);
    EXPECT_EQ(w.quits, 0);
    TriggerMenu(w, "mnuExit");
    EXPECT_EQ(w.quits, 1);
    w.window.show();
    w.window.close();
    EXPECT_EQ(w.quits, 2);
}

#ifdef TERVANE_WINDOW_PATH
// SIGTERM (a logout, `kill`) ends the window as Exit does, with exit status 0, rather
// than killing it where it stands (a run in progress would leave its temporary file).
TEST(MainWindowEnding, TerminationSignalEndsTheProgramAsExitDoes)
{
    QTemporaryDir home;
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", home.path());
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(TERVANE_WINDOW_PATH), {});
    ASSERT_TRUE(window.waitForStarted(5000));
    // Ready once it catches the signal (Linux shows that in /proc).
    const QString status = QStringLiteral("/proc/%1/status").arg(window.processId());
    const auto catchesTerm = [&status] {
        QFile file(status);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
        return false;
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

// "Output" stands between "Stations" and "Help" with three exclusive choices, the KML
// document ticked at first. A choice is remembered at once and ticked at the next start;
// a remembered name the program does not know leaves the KML document ticked.
TEST(MainWindowOutput, TheFormatChoiceIsExclusiveRememberedAndRestored)
{
    auto ticked = [](WindowUnderTest& w) {
        std::vector<std::string> texts;
        for (const char* name : {"mnuFormatKml", "mnuFormatKmz", "mnuFormatGpx"}) {
            auto* action = w.window.findChild<QAction*>(QString::fromLatin1(name));
            EXPECT_TRUE(action && action->isCheckable()) << name;
            if (action && action->isChecked())
                texts.push_back(action->text().toStdString());
        }
        return texts;
    };
    ProgramFolder folder;
    WindowUnderTest w(folder);
    QStringList titles;
    for (QAction* menu : w.window.menuBar()->actions())
        titles << menu->text();
    EXPECT_EQ(titles, QStringList({"Stations", "Output", "Help", "E&xit"}));
    EXPECT_EQ(ticked(w), std::vector<std::string>{"KML document"});
    EXPECT_EQ(w.settings.Get(kSettingsSection, kFormatKey), "<absent>");

    TriggerMenu(w, "mnuFormatKmz");
    TriggerMenu(w, "mnuFormatGpx");
    EXPECT_EQ(ticked(w), std::vector<std::string>{"GPX waypoints"});
    EXPECT_EQ(w.window.Format(), OutputFormat::Gpx);
    EXPECT_EQ(w.settings.Get(kSettingsSection, kFormatKey), "gpx");

    const std::pair<std::string, std::string> starts[] = {
        {"kmz", "KMZ package (icons included)"}, {"gpx", "GPX waypoints"}, {"GPX", "KML document"}};
    for (const auto& [remembered, shown] : starts) {
        WindowUnderTest next(folder, false);
        next.settings.SaveSetting(kSettingsSection, kFormatKey, remembered);
        next.window.Load();
        EXPECT_EQ(ticked(next), std::vector<std::string>{shown}) << remembered;
    }
}

TEST(MainWindowHelp, AMissingHelpPageIsReportedAndF1ShowsAnExistingOne)
{
    ProgramFolder folder;
    WindowUnderTest w(folder);
    ShowActive(w);
    TriggerMenu(w, "mnuHelp");
    ASSERT_EQ(w.messages.shown.size(), 1u);
    EXPECT_NE(w.messages.shown[0].find("Tervane.html"), std::string::npos) << w.messages.shown[0];

    std::ofstream(folder.Path() / "Tervane.html") << "<html><body><h1>Using Tervane</h1></body></html>";
    QTest::keyClick(&w.window, Qt::Key_F1);
    auto* help = w.window.findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_NE(help->Browser()->toPlainText().toStdString().find("Using Tervane"), std::string::npos);
    EXPECT_EQ(w.messages.shown.size(), 1u);
}

} // namespace
} // namespace tervane::test
