#pragma once

// The program's main window. Its "Stations" menu picks one of the queries (QueryMode.h),
// each of which shows the rows of fields it needs; the window fills the state and control type
// lists at start-up and the county list whenever a state is chosen, filters what can be
// typed into five of its fields, and runs a retrieval when Go is pressed. Escape, "Exit"
// and closing the window end the program.
//
// The window keeps what lives between runs: the query mode, the region of the last
// chosen state, the control code of the last matched type and the FIPS lookup's
// catalogue. Everything it shows to the user beyond its own controls goes through ports,
// so the tests can drive the real window with fakes.

#include "regions/RegionCatalogue.h"
#include "retrieval/QueryMode.h"
#include "retrieval/RetrievalRun.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace tervane {

// Pixels of the frame Go draws inside itself while it has the keyboard focus.
inline constexpr int kGoFocusWidth = 3;

class DropDownComboBox;
class HelpWindow;

// The ports a run gets besides the window itself, its settings store and message boxes.
struct RunServices {
    MousePointer& pointer;
    ProcessingDialog& dialog;
    Transfer& transfer;
    SignInPrompt& signIn;
    DocumentOpener& opener;
    ArchiveWriter* archiver = nullptr; // writes KMZ packages
};

struct MainWindowSetup {
    // The executable's folder: the data files lie here or in ../share/tervane, and the KML
    // files go here when the user can write to it.
    std::filesystem::path programDir;
    // The user's documents folder; the KML files go to its "Tervane" folder otherwise.
    std::filesystem::path documentsDir;
    // The value of the environment variable TERVANE_SERVICE_URL, empty when unset.
    std::string environmentServiceUrl;
    // Where a field package's datasheet pages are kept between runs; empty: nowhere.
    std::filesystem::path datasheetCache;
    // Ends the program; QCoreApplication::quit when empty.
    std::function<void()> quit;
    // Sounds the system beep for a refused key; QApplication::beep when empty.
    std::function<void()> beep;
};

class MainWindow : public QMainWindow, public QueryInputs, public RunCancellation {
    Q_OBJECT
public:
    MainWindow(SettingsStore& settings, MessageBox& messages, MainWindowSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Go does nothing until the run's other ports are attached (the sign-in dialog is
    // owned by this window, so it comes to exist after it).
    void SetRunServices(const RunServices& services);

    // Start-up: restores the remembered state and county into their boxes, fills the
    // state and control type lists and hides every row. When the catalogue cannot be
    // read, shows why and stops there: the lists stay empty and every row stays shown.
    void Load();

    // The run hides the query rows once its first checks pass; the project row stays.
    void HideQueryInputs() override;

    // Ends the program, as Exit, Escape and closing the window do. During a run it ends
    // the fetch under way and cancels the run, and the program ends as soon as the run
    // has unwound: no document, no viewer.
    void EndProgram();

    bool Cancelled() const override { return m_endRequested; }

    const std::string& QueryMode() const { return m_queryMode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum Row { StateRow, CountyRow, LatitudeRow, LongitudeRow, RadiusRow, ProjectRow, ControlTypeRow, kRowCount };

    void CreateControls();
    void CreateMenus();
    void FitControlsToFont();
    void SetRowVisible(Row row, bool visible);

    void ChooseMode(const tervane::QueryMode& mode);
    void ChooseFormat(OutputFormat format);
    void ChooseDatasheets(bool included);
    void mnuHelp_Click();
    void mnuExit_Click();
    void cboState_Click();
    void cboCounty_DropDown();
    void cmdGo_Click();
    void ChooseState();
    bool FilterKey(QObject* field, QKeyEvent* event);
    RunConfig MakeRunConfig();
    bool IsSecondClickOfARun(const QEvent* event) const;

    SettingsStore& m_settings;
    MessageBox& m_messages;
    MainWindowSetup m_setup;
    std::optional<RunServices> m_services;
    std::filesystem::path m_catalogueFile;
    std::filesystem::path m_helpFile;
    RegionCatalogue m_catalogue;

    std::string m_queryMode;
    std::string m_selectedRegion;
    std::string m_controlCode;
    OutputFormat m_format = OutputFormat::Kml;

    QComboBox* m_cboState = nullptr;
    DropDownComboBox* m_cboCounty = nullptr;
    QLineEdit* m_txtLatitude = nullptr;
    QLineEdit* m_txtLongitude = nullptr;
    QLineEdit* m_txtRadius = nullptr;
    QLineEdit* m_txtProject = nullptr;
    QComboBox* m_cboControlType = nullptr;
    QPushButton* m_cmdGo = nullptr;
    std::array<QLabel*, kRowCount> m_labels{};
    std::array<QWidget*, kRowCount> m_fields{};

    QMenu* m_mnuStations = nullptr;
    QActionGroup* m_formatChoices = nullptr;
    HelpWindow* m_helpWindow = nullptr;
    QObject* m_escapeFilter = nullptr;
    QAction* m_mnuExit = nullptr;
    QAction* m_outputFolder = nullptr;
    QAction* m_mnuDatasheets = nullptr; // "Include datasheets (KMZ)", ticked: a field package
    bool m_runBusy = false;
    bool m_endRequested = false;
    // Since the last run ended: a click that follows within the desktop's double-click
    // interval is the second half of the click that started it.
    QElapsedTimer m_sinceRunEnded;
};

} // namespace tervane
