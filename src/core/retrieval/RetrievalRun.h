#pragma once

// One press of Go, from the query inputs to the opened KML document: check and compose
// the request, fetch the mark list (and its companion), read it, write the document,
// remember the state and county, and hand the file to the viewer. Everything outside the
// core reaches it through the ports below; the window, the command-line tool and the
// tests each implement them.

#include "kml/MarkDocument.h"
#include "regions/RegionCatalogue.h"
#include "retrieval/MarkListRequest.h"
#include "retrieval/MousePointer.h"
#include "retrieval/SettingsStore.h"
#include "web/WebPorts.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kInfoFetching = "Getting PID list from NivoraIDB...";
inline constexpr std::string_view kInfoStarting = "Starting GoogleEarth...";

// The processing dialog while a field package's pages come: "Fetching datasheets 120 of
// 2,000...".
std::string FetchingDatasheetsInfo(std::size_t done, std::size_t total);

// A modal message box: the text, an OK button, the application title as caption.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::string& text) = 0;
};

// The processing dialog's operations. Each change is shown at once.
class ProcessingDialog {
public:
    virtual ~ProcessingDialog() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void HideProcessingLabel() = 0; // the "Processing..." line
    virtual void SetInfo(const std::string& text) = 0;
    virtual void SetBarVisible(bool visible) = 0;
    virtual void SetBarMaximum(std::size_t maximum) = 0;
    virtual void SetBarValue(std::size_t value) = 0;
};

// Hands a written document to the desktop's KML viewer. False, with the reason, when no
// viewer could be started for it (none installed, none for the file's type).
class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    virtual bool Open(const std::filesystem::path& document, std::string& reason) = 0;
};

// What the run shows when the opener could not start a viewer: where the document is.
std::string NoViewerMessage(const std::filesystem::path& document, std::string_view reason);

// Whether the user has ended the program while the run was busy: closed the window, chose
// Exit, pressed Escape, or sent a termination signal. The run asks between its steps, for
// every mark it writes and between groups of datasheet requests. A cancelled run ends at once and quietly: no message, no
// document (its temporary file is removed), no settings saved, no viewer.
class RunCancellation {
public:
    virtual ~RunCancellation() = default;
    virtual bool Cancelled() const = 0;
};

struct RunPorts {
    MessageBox& messages;
    MousePointer& pointer;
    QueryInputs& queryInputs;
    ProcessingDialog& dialog;
    SettingsStore& settings;
    Transfer& transfer;
    SignInPrompt& signIn;
    DocumentOpener& opener;
    const RunCancellation* cancellation = nullptr; // none: the run cannot be cancelled
    ArchiveWriter* archiver = nullptr;             // writes KMZ packages; none: KMZ runs fail
};

// What outlives a run, owned by the window (or the command-line tool).
struct RunState {
    std::string controlCode;    // `ControlCode`
    RegionCatalogue& catalogue; // the FIPS lookup's catalogue
};

struct RunConfig {
    std::string serviceUrl;          // "scheme://host[:port]"; empty: not configured
    std::filesystem::path outputDir; // where the KML file goes
    // The file written, its extension in place of ".kml"; a KMZ package takes its icons
    // from iconDir.
    OutputFormat format = OutputFormat::Kml;
    std::filesystem::path iconDir;
    bool saveSettings = true;        // remember the state and county after success
    bool openDocument = true;        // hand the file to the viewer
    // False when the primary reply already holds everything, as a saved reply does: the
    // companion request is composed but not fetched.
    bool fetchCompanion = true;
    // A field package: a KMZ package that carries the datasheet page of every placed mark
    // (other formats go without). The pages are fetched after the mark list and kept in
    // datasheetCache (empty: nowhere); offline, the cache alone is asked.
    bool datasheets = false;
    bool datasheetsOffline = false;
    std::filesystem::path datasheetCache;
};

enum class RunOutcome {
    Opened,  // the document was written (and handed to the viewer when asked)
    NotOpened, // the document was written, but no viewer could be started; `message` names it
    Failed,  // a message was shown; `message` holds it
    NoMode,  // no query mode chosen: ended without a message
    Cancelled, // the user ended the program meanwhile: ended without a message
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Failed;
    std::string message;             // the text shown for a failure
    std::string datasheetWarning;    // shown after a written field package that misses pages
    std::filesystem::path kmlPath;   // the document written, with its format's extension
    MarkDocumentReport report;       // counts of placemarks and skipped marks
    MarkListRequest request;         // the composed request, once composed
};

RunResult RetrievalRun(const MarkListInputs& inputs, RunState& state, const RunConfig& config,
                       RunPorts& ports);

// The run's opening, everything before the first fetch: the request's checks and
// composition (BuildMarkListRequest, which hides the query inputs once the state and
// county pass), then the service address: "no address" (kMsgNoServiceAddress) and
// CheckServiceUrl. RetrievalRun starts with it, and tervane-cli's --dry-run prints what it
// returns. It shows nothing itself.
struct RunPreparation : BuiltRequest {
    // `request` is kept when only the address is refused.
    std::filesystem::path documentPath; // for Ready: request.kmlPath with the format's extension
};
RunPreparation PrepareRun(const MarkListInputs& inputs, RunState& state, const RunConfig& config,
                          QueryInputs& queryInputs);

} // namespace tervane
