#include "ui/MainWindow.h"

#include "retrieval/ControlType.h"
#include "retrieval/MarkListRequest.h"
#include "retrieval/QueryMode.h"
#include "retrieval/ServiceAddress.h"
#include "ui/AppIcon.h"
#include "ui/DropDownComboBox.h"
#include "ui/FieldKeyFilter.h"
#include "ui/HelpWindow.h"
#include "ui/OutputFolder.h"
#include "ui/WindowInputFilters.h"
#include "ui/WindowMetrics.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace tervane {

namespace {

constexpr const char* kCaption = "TERVANE";
constexpr int kClientWidth = 8115;
constexpr int kClientHeight = 5040;
const QColor kCyan(0, 255, 255);
const QSize kGoPictureSize(74, 77);

// Every label ends here and every field starts at 3000 twips: one column of rows.
constexpr int kLabelRight = 2895;

struct RowLayout {
    const char* labelName;
    const char* labelText;
    QRect labelTwips;
    const char* fieldName;
    QRect fieldTwips;
    const char* toolTip;
};

// In the order of the window's Row enumeration, as are the fields below.
const RowLayout kRowLayouts[] = {
    {"lblState", "SELECT STATE:", {960, 360, 1935, 255}, "cboState", {3000, 240, 4815, 420}, nullptr},
    {"lblCounty", "SELECT COUNTY:", {720, 840, 2175, 255}, "cboCounty", {3000, 720, 4815, 420}, nullptr},
    {"lblLatitude", "LATITUDE:", {1080, 1320, 1815, 255}, "txtLatitude", {3000, 1200, 3255, 420}, "Ex: N380240"},
    {"lblLongitude", "LONGITUDE:", {1080, 1800, 1815, 255}, "txtLongitude", {3000, 1680, 3255, 420},
     "Ex: W0754430"},
    {"lblRadius", "RADIUS:", {1080, 2280, 1815, 255}, "txtRadius", {3000, 2160, 855, 420}, "30.0 Miles Maximum"},
    {"lblProject", "PROJECT ID:", {1080, 2760, 1815, 255}, "txtProject", {3000, 2640, 1935, 420}, "Ex: L27001"},
    {"lblControlType", "SELECT TYPE:", {1080, 3240, 1815, 255}, "cboControlType", {3000, 3120, 3855, 420},
     nullptr},
};

constexpr QueryField kRowFields[] = {QueryField::State,     QueryField::County,  QueryField::Latitude,
                                     QueryField::Longitude, QueryField::Radius,  QueryField::Project,
                                     QueryField::ControlType};

const QRect kGoTwips(3480, 3720, 1215, 1215);
constexpr const char* kGoToolTip = "Click this button to display monuments";
// More windows than a run ever stacks up: a message box over the sign-in dialog.
constexpr int kMaxModalWindows = 4;

QString ToQString(const std::string& text) { return QString::fromStdString(text); }
std::string ToStdString(const QString& text) { return text.toStdString(); }

QComboBox* ConfigureList(QComboBox* list)
{
    list->setEditable(true);
    // The program reads the typed text, never an index; Enter must not add entries, and
    // completion would put in text the user did not type.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->setMaxVisibleItems(16);
    return list;
}

// Fills a list while keeping the text its box shows: the boxes show what the user typed
// or what was remembered, not the first entry.
void FillList(QComboBox* list, const QStringList& entries, const QString& text)
{
    list->addItems(entries);
    list->setCurrentIndex(-1);
    list->setEditText(text);
}

// Go with its keyboard focus plain to see: a thick frame in the highlight colour inside
// the button's own frame, so the designed geometry stays as it is.
class GoButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPushButton::paintEvent(event);
        if (!hasFocus()) {
            return;
        }
        QPainter painter(this);
        const int inset = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 1;
        const QRect ring = rect().adjusted(inset, inset, -inset, -inset);
        painter.setPen(palette().color(QPalette::Highlight));
        for (int i = 0; i < kGoFocusWidth; ++i) {
            painter.drawRect(ring.adjusted(i, i, -i - 1, -i - 1));
        }
    }
};

} // namespace

MainWindow::MainWindow(SettingsStore& settings, MessageBox& messages, MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_settings(settings), m_messages(messages), m_setup(std::move(setup)),
      m_catalogueFile(FindDataFile(m_setup.programDir, kCatalogueFileName)), m_catalogue(m_catalogueFile)
{
    if (!m_setup.quit) {
        m_setup.quit = [] { QCoreApplication::quit(); };
    }
    if (!m_setup.beep) {
        m_setup.beep = [] { QApplication::beep(); };
    }
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(TervaneIcon());
    setFont(WindowFont());
    CreateMenus();
    CreateControls();
    FitControlsToFont();
    resize(FromTwips(kClientWidth), FromTwips(kClientHeight) + menuBar()->sizeHint().height());

    m_escapeFilter = new EscapeFilter(this, menuBar(), [this] { EndProgram(); });
    qApp->installEventFilter(m_escapeFilter);
}

MainWindow::~MainWindow() = default;

void MainWindow::SetRunServices(const RunServices& services)
{
    m_services.emplace(services);
}

void MainWindow::CreateMenus()
{
    m_mnuStations = menuBar()->addMenu(QStringLiteral("Stations"));
    m_mnuStations->setObjectName(QStringLiteral("mnuStations"));
    for (const tervane::QueryMode& mode : QueryModes()) {
        QAction* action = m_mnuStations->addAction(ToQString(std::string(mode.menuText)));
        action->setObjectName(ToQString(std::string(mode.command)));
        connect(action, &QAction::triggered, this, [this, &mode] { ChooseMode(mode); });
    }

    // What Go writes: one of the output formats, remembered in the settings store as soon as chosen.
    QMenu* output = menuBar()->addMenu(QStringLiteral("Output"));
    output->setObjectName(QStringLiteral("mnuOutput"));
    m_formatChoices = new QActionGroup(this);
    m_formatChoices->setExclusive(true);
    for (const OutputFormatRow& entry : OutputFormats()) {
        QAction* action = output->addAction(QString::fromUtf8(entry.menuText.data(), static_cast<qsizetype>(entry.menuText.size())));
        // mnuFormatKml, mnuFormatKmz, ...
        QString name = QString::fromLatin1(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        name[0] = name[0].toUpper();
        action->setObjectName(QStringLiteral("mnuFormat") + name);
        action->setCheckable(true);
        action->setChecked(entry.format == m_format);
        action->setData(static_cast<int>(entry.format));
        m_formatChoices->addAction(action);
        connect(action, &QAction::triggered, this, [this, format = entry.format] { ChooseFormat(format); });
    }
    // A field package: only a KMZ package can carry the pages, so the choice is kept but
    // greyed with the other formats.
    output->addSeparator();
    m_mnuDatasheets = output->addAction(QStringLiteral("Include datasheets (KMZ)"));
    m_mnuDatasheets->setObjectName(QStringLiteral("mnuDatasheets"));
    m_mnuDatasheets->setCheckable(true);
    connect(m_mnuDatasheets, &QAction::triggered, this, &MainWindow::ChooseDatasheets);
    // Where the files go, which is not always the program's folder: looked up each time the
    // menu opens, as it may change while the program runs.
    output->addSeparator();
    m_outputFolder = output->addAction(QString());
    m_outputFolder->setObjectName(QStringLiteral("mnuOutputFolder"));
    m_outputFolder->setEnabled(false);
    connect(output, &QMenu::aboutToShow, this, [this] {
        const std::filesystem::path folder = OutputFolderFor(m_setup.programDir, m_setup.documentsDir);
        m_outputFolder->setText(QStringLiteral("Files go to ") + QString::fromStdString(folder.string()));
    });

    // "Help" and "Exit" are commands on the menu bar itself, without a menu below them.
    QAction* help = menuBar()->addAction(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    help->setShortcut(QKeySequence::HelpContents);
    help->setShortcutContext(Qt::WindowShortcut);
    connect(help, &QAction::triggered, this, &MainWindow::mnuHelp_Click);
    // F10 opens the first menu of the menu bar, as it does in most desktop programs.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(m_mnuStations->menuAction()); });

    m_mnuExit = menuBar()->addAction(QStringLiteral("E&xit"));
    m_mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(m_mnuExit, &QAction::triggered, this, &MainWindow::mnuExit_Click);
}

void MainWindow::CreateControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, kCyan);
    client->setPalette(palette);
    client->setAutoFillBackground(true);
    setCentralWidget(client);

    // Created in tab order: state, county, latitude, longitude, radius, project, type, Go.
    m_cboState = ConfigureList(new QComboBox(client));
    m_cboCounty = new DropDownComboBox(client);
    ConfigureList(m_cboCounty);
    m_txtLatitude = new QLineEdit(client);
    m_txtLongitude = new QLineEdit(client);
    m_txtRadius = new QLineEdit(client);
    m_txtProject = new QLineEdit(client);
    m_cboControlType = ConfigureList(new QComboBox(client));
    m_fields = {m_cboState, m_cboCounty, m_txtLatitude, m_txtLongitude, m_txtRadius, m_txtProject, m_cboControlType};

    m_cmdGo = new GoButton(client);
    m_cmdGo->setObjectName(QStringLiteral("cmdGo"));
    m_cmdGo->setIcon(GoEmblem());
    m_cmdGo->setIconSize(kGoPictureSize);
    m_cmdGo->setToolTip(QString::fromLatin1(kGoToolTip));
    m_cmdGo->setGeometry(FromTwips(kGoTwips));
    m_cmdGo->setAutoDefault(false);

    for (int row = 0; row < kRowCount; ++row) {
        const RowLayout& layout = kRowLayouts[row];
        QWidget* field = m_fields[static_cast<std::size_t>(row)];
        field->setObjectName(QString::fromLatin1(layout.fieldName));
        field->setGeometry(FromTwips(layout.fieldTwips));
        if (layout.toolTip) {
            field->setToolTip(QString::fromLatin1(layout.toolTip));
        }
        auto* label = new QLabel(QString::fromLatin1(layout.labelText), client);
        label->setObjectName(QString::fromLatin1(layout.labelName));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setGeometry(FromTwips(layout.labelTwips));
        m_labels[static_cast<std::size_t>(row)] = label;
    }
    QWidget* previous = m_fields[0];
    for (QWidget* next : {m_fields[CountyRow], m_fields[LatitudeRow], m_fields[LongitudeRow], m_fields[RadiusRow],
                          m_fields[ProjectRow], m_fields[ControlTypeRow], static_cast<QWidget*>(m_cmdGo)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    for (QWidget* field : {static_cast<QWidget*>(m_cboState), static_cast<QWidget*>(m_cboCounty),
                           static_cast<QWidget*>(m_txtLatitude), static_cast<QWidget*>(m_txtLongitude),
                           static_cast<QWidget*>(m_txtRadius), static_cast<QWidget*>(m_txtProject),
                           static_cast<QWidget*>(m_cboControlType), static_cast<QWidget*>(m_cmdGo)}) {
        field->installEventFilter(this);
    }

    connect(m_cboState, &QComboBox::activated, this, &MainWindow::cboState_Click);
    connect(m_cboCounty, &DropDownComboBox::dropDown, this, &MainWindow::cboCounty_DropDown);
    connect(m_cmdGo, &QPushButton::clicked, this, &MainWindow::cmdGo_Click);
}

// The layout was drawn for a smaller font than the desktop's sans-serif at 12 points.
// Where a text would not fit, its control grows: a label to the left (it stays
// right-aligned against its field) and in height about its middle, a field in height
// about its middle. Nothing moves otherwise.
void MainWindow::FitControlsToFont()
{
    for (QLabel* label : m_labels) {
        const QSize needed = label->sizeHint();
        QRect box = label->geometry();
        if (needed.width() > box.width()) {
            box.setLeft(box.right() + 1 - needed.width());
        }
        if (needed.height() > box.height()) {
            const int grow = needed.height() - box.height();
            box.adjust(0, -grow / 2, 0, grow - grow / 2);
        }
        label->setGeometry(box);
    }
    for (QWidget* field : m_fields) {
        const int needed = field->sizeHint().height();
        QRect box = field->geometry();
        if (needed > box.height()) {
            const int grow = needed - box.height();
            box.adjust(0, -grow / 2, 0, grow - grow / 2);
            field->setGeometry(box);
        }
    }
    // Go shows only its picture; the style's text margins do not apply, its frame does.
    const int frame = 2 * m_cmdGo->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_cmdGo);
    QRect go = m_cmdGo->geometry();
    go.setSize(go.size().expandedTo(kGoPictureSize + QSize(frame, frame)));
    m_cmdGo->setGeometry(go);
}

void MainWindow::SetRowVisible(Row row, bool visible)
{
    m_labels[static_cast<std::size_t>(row)]->setVisible(visible);
    m_fields[static_cast<std::size_t>(row)]->setVisible(visible);
}

void MainWindow::ChooseFormat(OutputFormat format)
{
    m_format = format;
    m_settings.SaveSetting(kSettingsSection, kFormatKey, FormatName(format));
    m_mnuDatasheets->setEnabled(OutputFormatOf(format).packaged);
}

void MainWindow::ChooseDatasheets(bool included)
{
    m_settings.SaveSetting(kSettingsSection, kDatasheetsKey, included ? "1" : "0");
}

void MainWindow::Load()
{
    m_helpFile = FindDataFile(m_setup.programDir, kHelpFileName);

    // A format name this program does not know (a newer one's, or edited by hand) leaves
    // the KML document ticked.
    m_format =
        ParseOutputFormat(m_settings.GetSetting(kSettingsSection, kFormatKey, FormatName(OutputFormat::Kml)))
            .value_or(OutputFormat::Kml);
    for (QAction* action : m_formatChoices->actions()) {
        action->setChecked(action->data().toInt() == static_cast<int>(m_format));
    }
    m_mnuDatasheets->setChecked(m_settings.GetSetting(kSettingsSection, kDatasheetsKey, "0") == "1");
    m_mnuDatasheets->setEnabled(OutputFormatOf(m_format).packaged);

    const QString state = ToQString(m_settings.GetSetting(kSettingsSection, kStateKey, ""));
    const QString county = ToQString(m_settings.GetSetting(kSettingsSection, kCountyKey, ""));
    m_cboState->setEditText(state);
    m_cboCounty->setEditText(county);

    std::vector<std::string> states;
    std::string error;
    if (!ListStates(m_catalogueFile, states, error)) {
        m_messages.Show(error);
        return;
    }
    QStringList entries;
    for (const std::string& entry : states) {
        entries << ToQString(entry);
    }
    FillList(m_cboState, entries, state);

    QStringList types;
    for (const ControlTypeEntry& type : kControlTypes) {
        types << QString::fromLatin1(type.displayName.data(), static_cast<qsizetype>(type.displayName.size()));
    }
    FillList(m_cboControlType, types, QString());

    for (int row = 0; row < kRowCount; ++row) {
        SetRowVisible(static_cast<Row>(row), false);
    }
}

void MainWindow::HideQueryInputs()
{
    for (Row row : {ControlTypeRow, CountyRow, StateRow, LatitudeRow, LongitudeRow, RadiusRow}) {
        SetRowVisible(row, false);
    }
}

// The mode commands show the rows of their query's own fields and hide the others; none
// of them touches the county or control type rows, clears a text or moves the focus.
void MainWindow::ChooseMode(const tervane::QueryMode& mode)
{
    // Hiding the focused field would hand the focus to the next control, and the county
    // box or the radius box taking it would show the type row: the field lets go of it.
    QWidget* focused = QApplication::focusWidget();
    for (int row = 0; row < kRowCount; ++row) {
        const QueryField field = kRowFields[row];
        if (kSharedFields.Has(field) || mode.fields.Has(field)) {
            continue;
        }
        QWidget* widget = m_fields[static_cast<std::size_t>(row)];
        if (focused && (focused == widget || widget->isAncestorOf(focused))) {
            focused->clearFocus();
        }
    }
    for (int row = 0; row < kRowCount; ++row) {
        const QueryField field = kRowFields[row];
        if (!kSharedFields.Has(field)) {
            SetRowVisible(static_cast<Row>(row), mode.fields.Has(field));
        }
    }
    m_queryMode = std::string(mode.code);
}

void MainWindow::mnuHelp_Click()
{
    if (!m_helpWindow) {
        m_helpWindow = new HelpWindow(this);
    }
    std::string error;
    if (!m_helpWindow->ShowPage(m_helpFile, error)) {
        m_messages.Show(error);
    }
}

void MainWindow::mnuExit_Click() { EndProgram(); }

void MainWindow::EndProgram()
{
    if (m_runBusy) {
        // The run unwinds first: the fetch ends now, the run sees the cancellation, and
        // Go's handler ends the program once the run has returned.
        m_endRequested = true;
        if (m_services) {
            m_services->transfer.Abort();
        }
        // A message box or the sign-in dialog the run waits on goes too (a signal can end
        // the program while one is open); the cancelled run shows nothing more.
        for (int open = 0; open < kMaxModalWindows && QApplication::activeModalWidget(); ++open) {
            QApplication::activeModalWidget()->close();
        }
        return;
    }
    m_setup.quit();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    EndProgram();
}

void MainWindow::cboState_Click() { ChooseState(); }

void MainWindow::cboCounty_DropDown()
{
    if (m_cboCounty->count() == 0) {
        ChooseState();
    }
}

void MainWindow::ChooseState()
{
    const std::string stateCode = StateCode(ToStdString(m_cboState->currentText()));
    m_cboState->setEditText(ToQString(stateCode));
    const QString kept = m_cboCounty->currentText();
    m_cboCounty->clear();
    m_cboCounty->setEditText(QString());

    CountyList counties;
    std::string error;
    if (!SelectState(m_catalogueFile, stateCode, counties, m_selectedRegion, error)) {
        m_messages.Show(error);
        return;
    }
    if (counties.counties.empty()) {
        SetRowVisible(CountyRow, false);
        return;
    }
    QStringList entries;
    for (const std::string& county : counties.counties) {
        entries << ToQString(county);
    }
    SetRowVisible(CountyRow, true);
    FillList(m_cboCounty, entries, kept);
    SetRowVisible(ControlTypeRow, true);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_cmdGo && IsSecondClickOfARun(event)) {
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_cboState) {
            SetRowVisible(CountyRow, true);
        } else if (watched == m_cboCounty || watched == m_txtRadius) {
            SetRowVisible(ControlTypeRow, true);
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A focused Go takes Enter, as a focused button does; Enter in the project field
        // moves the focus here, so the next Enter runs the query.
        if (watched == m_cmdGo) {
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
                m_cmdGo->click();
                return true;
            }
            return false;
        }
        return FilterKey(watched, key);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::FilterKey(QObject* field, QKeyEvent* event)
{
    FilteredField kind;
    if (field == m_cboControlType) {
        kind = FilteredField::ControlType;
    } else if (field == m_txtProject) {
        kind = FilteredField::Project;
    } else if (field == m_txtLatitude) {
        kind = FilteredField::Latitude;
    } else if (field == m_txtLongitude) {
        kind = FilteredField::Longitude;
    } else if (field == m_txtRadius) {
        kind = FilteredField::Radius;
    } else {
        return false; // the state and county boxes take any character
    }
    const std::optional<char32_t> typed = TypedCharacter(*event);
    if (!typed) {
        return false;
    }
    const KeyVerdict verdict = FilterTypedCharacter(kind, *typed);
    switch (verdict.action) {
    case KeyAction::Pass:
        return false;
    case KeyAction::Replace: {
        const char32_t replacement[] = {verdict.character};
        QKeyEvent replaced(QEvent::KeyPress, event->key(), event->modifiers(), QString::fromUcs4(replacement, 1),
                           event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QCoreApplication::sendEvent(field, &replaced);
        return true;
    }
    case KeyAction::MoveFocus:
        focusNextChild();
        return true;
    case KeyAction::Reject:
        m_setup.beep();
        return true;
    }
    return true;
}

// Against a fast service the run is over before the second click of a double click: that
// click would start a second run, write the document again and start a second viewer.
bool MainWindow::IsSecondClickOfARun(const QEvent* event) const
{
    const QEvent::Type type = event->type();
    return (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) && m_sinceRunEnded.isValid() &&
           !m_sinceRunEnded.hasExpired(QApplication::doubleClickInterval());
}

RunConfig MainWindow::MakeRunConfig()
{
    RunConfig config;
    config.serviceUrl = ConfiguredServiceUrl(m_setup.environmentServiceUrl, m_settings);
    config.outputDir = OutputFolderFor(m_setup.programDir, m_setup.documentsDir);
    config.format = m_format;
    config.iconDir = FindDataFile(m_setup.programDir, kIconFolderName);
    config.datasheets = m_mnuDatasheets->isChecked();
    config.datasheetCache = m_setup.datasheetCache;
    return config;
}

void MainWindow::cmdGo_Click()
{
    if (!m_services || m_runBusy || m_endRequested) {
        return;
    }
    MarkListInputs inputs;
    inputs.mode = m_queryMode;
    inputs.stateText = ToStdString(m_cboState->currentText());
    inputs.countyText = ToStdString(m_cboCounty->currentText());
    inputs.controlTypeText = ToStdString(m_cboControlType->currentText());
    inputs.latitudeText = ToStdString(m_txtLatitude->text());
    inputs.longitudeText = ToStdString(m_txtLongitude->text());
    inputs.radiusText = ToStdString(m_txtRadius->text());
    inputs.projectText = ToStdString(m_txtProject->text());
    inputs.selectedRegion = m_selectedRegion;

    RunState state{m_controlCode, m_catalogue};
    const RunConfig config = MakeRunConfig();
    if (std::string error; !MakeOutputFolder(config.outputDir, error)) {
        m_messages.Show(error);
        return;
    }
    RunPorts ports{m_messages,         m_services->pointer, *this,
                   m_services->dialog, m_settings,          m_services->transfer,
                   m_services->signIn, m_services->opener,  this};
    ports.archiver = m_services->archiver;
    // The run shows its own messages, the note on skipped marks included; the window
    // stays open for the next query.
    m_runBusy = true;
    {
        const RunInputFilter dropInput(this, m_mnuExit);
        RetrievalRun(inputs, state, config, ports);
        // Input that came while the run held the program without looking at its events
        // (writing the document) is dropped too, not replayed after the run.
        QCoreApplication::processEvents();
    }
    m_runBusy = false;
    m_sinceRunEnded.start();
    m_controlCode = state.controlCode;
    if (m_endRequested) {
        m_setup.quit();
    }
}

} // namespace tervane
