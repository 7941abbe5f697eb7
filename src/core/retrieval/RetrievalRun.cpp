#include "retrieval/RetrievalRun.h"

#include "datasheets/FetchDatasheets.h"
#include "marks/MarkList.h"
#include "retrieval/ControlType.h"
#include "retrieval/ServiceAddress.h"
#include "web/FetchMarkList.h"

#include <exception>
#include <new>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tervane {

namespace {

constexpr std::string_view kMsgOutOfMemory = "Out of memory: the mark list is too large to process.";

bool IsCancelled(const RunPorts& ports)
{
    return ports.cancellation && ports.cancellation->Cancelled();
}

// What the run puts up, the processing dialog and the hourglass, taken down once however
// the run ends: finished, refused, cancelled, or a failure thrown from any step. A
// failure's message comes first, then the dialog goes, then the pointer (the general
// failure path); a step that wants another order takes its part down itself.
class RunScreen {
public:
    explicit RunScreen(ProcessingDialog& dialog, MousePointer& pointer) : m_dialog(dialog), m_pointer(pointer)
    {
    }
    ~RunScreen()
    {
        HideDialog();
        RestorePointer();
    }
    RunScreen(const RunScreen&) = delete;
    RunScreen& operator=(const RunScreen&) = delete;

    // A step of the run begins: the "Processing..." line gives way to `info`.
    void Announce(std::string_view info)
    {
        m_dialog.HideProcessingLabel();
        m_dialog.SetInfo(std::string(info));
    }
    void ShowDialog()
    {
        m_dialog.Show();
        m_dialogShown = true;
    }
    void HideDialog()
    {
        if (std::exchange(m_dialogShown, false))
            m_dialog.Hide();
    }
    void ShowHourglass()
    {
        m_pointer.ShowHourglass();
        m_hourglass = true;
    }
    void RestorePointer()
    {
        if (std::exchange(m_hourglass, false))
            m_pointer.ShowDefault();
    }

private:
    ProcessingDialog& m_dialog;
    MousePointer& m_pointer;
    bool m_dialogShown = false;
    bool m_hourglass = false;
};

// Feeds the document writer's progress into the processing dialog's bar, and tells the
// writer to stop when the run is cancelled (the dialog is where a window sees the user's
// input).
class DialogProgress final : public DocumentProgress {
public:
    DialogProgress(RunScreen& screen, const RunPorts& ports) : m_screen(screen), m_ports(ports) {}

    void Start(std::size_t maximum) override
    {
        m_ports.dialog.SetBarMaximum(maximum);
        m_ports.dialog.SetBarVisible(true);
        m_screen.ShowDialog();
    }
    void Advance(std::size_t value) override { m_ports.dialog.SetBarValue(value); }
    void NextStep(std::string_view info) override { m_ports.dialog.SetInfo(std::string(info)); }
    bool Cancelled() const override { return IsCancelled(m_ports); }

private:
    RunScreen& m_screen;
    const RunPorts& m_ports;
};

// The datasheet step's count on the processing dialog's line and bar.
class DatasheetDialogProgress final : public DatasheetProgress {
public:
    DatasheetDialogProgress(const RunPorts& ports, std::size_t total) : m_ports(ports)
    {
        m_shown = FetchingDatasheetsInfo(0, total);
        m_ports.dialog.SetInfo(m_shown);
        m_ports.dialog.SetBarMaximum(total);
        m_ports.dialog.SetBarValue(0);
        m_ports.dialog.SetBarVisible(true);
    }

    void Fetched(std::size_t done, std::size_t total) override
    {
        std::string info = FetchingDatasheetsInfo(done, total);
        if (info == m_shown)
            return;
        m_shown = std::move(info);
        m_ports.dialog.SetInfo(m_shown);
        m_ports.dialog.SetBarValue(done);
    }
    bool Cancelled() const override { return IsCancelled(m_ports); }

private:
    const RunPorts& m_ports;
    std::string m_shown;
};

// The sign-in dialog as the run's fetches see it: the time the user spends in it is not
// the service's, so the run's deadline stands still meanwhile.
class SignInOffTheClock final : public SignInPrompt {
public:
    SignInOffTheClock(SignInPrompt& dialog, RunDeadline& deadline) : m_dialog(dialog), m_deadline(deadline) {}
    SignInAnswer Ask() override
    {
        m_deadline.Pause();
        struct Resume {
            RunDeadline& deadline;
            ~Resume() { deadline.Resume(); }
        } resume{m_deadline};
        return m_dialog.Ask();
    }

private:
    SignInPrompt& m_dialog;
    RunDeadline& m_deadline;
};

// The mark list and, when asked for, its companion, side by side under the run's one
// deadline. The reply is the primary's then the companion's; the message is the
// companion's when it has one, else the primary's.
void FetchReplies(const MarkListRequest& request, const RunConfig& config, RunPorts& ports,
                  std::string& reply, std::string& error)
{
    RunDeadline deadline(ports.transfer.TimeLimit());
    const DeadlineScope onTheDeadline(ports.transfer, deadline);
    SignInOffTheClock signIn(ports.signIn, deadline);
    std::vector<MarkListFetch> fetches{{request.primaryUrl, {}, {}}};
    if (config.fetchCompanion && !request.companionUrl.empty())
        fetches.push_back({request.companionUrl, {}, {}});
    FetchMarkLists(fetches, ports.transfer, signIn);
    reply = std::move(fetches[0].reply);
    error = std::move(fetches[0].error);
    if (fetches.size() < 2)
        return;
    std::string& companionReply = fetches[1].reply;
    if (!fetches[1].error.empty())
        error = std::move(fetches[1].error);
    // A primary reply without a final line feed would glue its last mark line to the
    // companion's first one and lose both marks.
    const bool separate = !reply.empty() && reply.back() != '\n' && !companionReply.empty();
    if (reply.empty()) {
        reply = std::move(companionReply);
    } else {
        // Appended in place, with room made once for both.
        reply.reserve(reply.size() + (separate ? 1 : 0) + companionReply.size());
        if (separate)
            reply += '\n';
        reply += companionReply;
    }
}

// One run, step by step. Each step hands the next what it needs, or ends the run with
// its outcome in the result (and nothing: an empty optional, or false).
class Run {
public:
    Run(const MarkListInputs& inputs, RunState& state, const RunConfig& config, RunPorts& ports)
        : m_inputs(inputs), m_state(state), m_config(config), m_ports(ports),
          m_screen(ports.dialog, ports.pointer)
    {
    }

    RunResult Go()
    {
        try {
            Steps();
        } catch (const std::bad_alloc&) {
            Fail(std::string(kMsgOutOfMemory));
        } catch (const std::exception& e) {
            Fail(e.what());
        }
        return std::move(m_result);
    }

private:
    void Steps()
    {
        const std::optional<std::filesystem::path> path = Prepare();
        if (!path)
            return;
        std::optional<std::string> reply = Fetch();
        if (!reply)
            return;
        const std::optional<MarkListReply> marks = Read(std::move(*reply));
        if (!marks)
            return;
        const bool fieldPackage = m_config.datasheets && OutputFormatOf(m_config.format).packaged;
        Datasheets datasheets;
        if (fieldPackage && !FetchPages(marks->records, datasheets))
            return;
        if (Write(*path, *marks, fieldPackage ? &datasheets : nullptr))
            Finish();
    }

    // The checks and the request; the document's path.
    std::optional<std::filesystem::path> Prepare()
    {
        RunPreparation prepared = PrepareRun(m_inputs, m_state, m_config, m_ports.queryInputs);
        m_result.request = std::move(prepared.request);
        switch (prepared.outcome) {
        case RequestOutcome::NoMode:
            m_result.outcome = RunOutcome::NoMode;
            return std::nullopt;
        case RequestOutcome::Invalid:
            if (prepared.resetPointer)
                m_ports.pointer.ShowDefault();
            Fail(std::move(prepared.message));
            return std::nullopt;
        case RequestOutcome::Ready:
            break;
        }
        return std::move(prepared.documentPath);
    }

    // The replies joined, under the dialog and the hourglass.
    std::optional<std::string> Fetch()
    {
        m_screen.Announce(kInfoFetching);
        m_ports.dialog.SetBarVisible(false);
        m_screen.ShowDialog();
        m_screen.ShowHourglass();
        std::string reply;
        std::string error;
        FetchReplies(m_result.request, m_config, m_ports, reply, error);
        m_screen.HideDialog();
        if (IsCancelled(m_ports)) {
            EndCancelled();
            return std::nullopt;
        }
        if (!error.empty()) {
            Fail(std::move(error));
            return std::nullopt;
        }
        return reply;
    }

    // The marks of the reply; the reader takes the reply over and its records view it,
    // nothing is copied. The pointer is back before the reply's own message shows.
    std::optional<MarkListReply> Read(std::string reply)
    {
        MarkListReply marks = ReadMarkList(std::move(reply), m_state.controlCode);
        switch (marks.outcome) {
        case ReplyOutcome::InputError:
            m_screen.RestorePointer();
            Fail(std::move(marks.message));
            return std::nullopt;
        case ReplyOutcome::NoMarks:
            m_screen.RestorePointer();
            Fail(std::string(kMsgNoMarks));
            return std::nullopt;
        case ReplyOutcome::Marks:
            break;
        }
        return marks;
    }

    // The datasheet page of every placed mark, in reply order; false when the run was
    // cancelled meanwhile. Pages that cannot be had are named once the package is written.
    bool FetchPages(const MarkRecords& records, Datasheets& datasheets)
    {
        std::vector<std::string_view> pids; // each once, in reply order
        if (const std::optional<MarkLocations> located = LocateMarks(records, nullptr)) {
            std::unordered_set<std::string_view> seen;
            ForEachLocatedMark(records, *located, [&](const MarkRecord& record, const MarkPosition&) {
                if (seen.insert(record.pid).second)
                    pids.push_back(record.pid);
            });
        }
        m_ports.dialog.HideProcessingLabel();
        DatasheetDialogProgress progress(m_ports, pids.size());
        m_screen.ShowDialog();
        const DatasheetCache cache(m_config.datasheetCache);
        DatasheetSource source;
        source.serviceUrl = m_config.serviceUrl;
        source.cache = &cache;
        source.offline = m_config.datasheetsOffline;
        if (!FetchDatasheets(pids, source, m_ports.transfer, &progress, datasheets) || IsCancelled(m_ports)) {
            EndCancelled();
            return false;
        }
        m_result.datasheetWarning = MissingDatasheetsMessage(datasheets, pids);
        return true;
    }

    // The document, whole, or nothing at all.
    bool Write(const std::filesystem::path& path, const MarkListReply& marks, const Datasheets* datasheets)
    {
        m_screen.Announce(CreatingInfo(m_config.format));
        DialogProgress progress(m_screen, m_ports);
        const DocumentOutput output{m_config.format, m_config.iconDir, m_ports.archiver, datasheets};
        std::string error;
        switch (WriteMarkDocument(path, marks.records, m_state.controlCode, m_config.serviceUrl, &progress,
                                  m_result.report, error, output)) {
        case DocumentOutcome::Written:
            m_result.kmlPath = path;
            return true;
        case DocumentOutcome::Failed:
            Fail(std::move(error));
            return false;
        case DocumentOutcome::Cancelled:
            EndCancelled();
            return false;
        }
        return false;
    }

    // Remember the query, hand the document to the viewer, tell of skipped marks.
    void Finish()
    {
        m_screen.RestorePointer();
        if (IsCancelled(m_ports)) {
            // Cancelled after the document took its name: it stays, the viewer is not started.
            EndCancelled();
            return;
        }
        if (m_config.saveSettings) {
            m_ports.settings.SaveSetting(kSettingsSection, kStateKey, m_inputs.stateText);
            m_ports.settings.SaveSetting(kSettingsSection, kCountyKey, m_inputs.countyText);
        }

        // Announcing the viewer when none is started would tell the user something false.
        m_result.outcome = RunOutcome::Opened;
        if (m_config.openDocument) {
            m_ports.dialog.SetInfo(std::string(kInfoStarting));
            m_ports.dialog.SetBarVisible(false);
            std::string reason;
            if (!m_ports.opener.Open(m_result.kmlPath, reason)) {
                // Silence here would leave the user with no document on the screen and no
                // idea where it went.
                m_screen.HideDialog();
                m_result.outcome = RunOutcome::NotOpened;
                m_result.message = NoViewerMessage(m_result.kmlPath, reason);
                Show(m_result.message);
            }
        }
        m_screen.HideDialog();

        // Marks whose position could not be read got no placemark; tell the user once.
        if (m_result.report.skipped > 0)
            m_ports.messages.Show(SkippedMarksMessage(m_result.report));
        // The map is whole, but the package goes without some pages: say so, once.
        if (!m_result.datasheetWarning.empty())
            m_ports.messages.Show(m_result.datasheetWarning);
    }

    // Every failure shows its one message (none once the run is cancelled); the screen
    // is taken down after it. Nothing is saved, and no partial document remains.
    void Fail(std::string message)
    {
        m_result.outcome = RunOutcome::Failed;
        m_result.message = std::move(message);
        Show(m_result.message);
    }

    // A cancelled run leaves nothing on the screen and says nothing.
    void EndCancelled()
    {
        m_result.outcome = RunOutcome::Cancelled;
        m_result.message.clear();
    }

    void Show(const std::string& message)
    {
        if (!IsCancelled(m_ports))
            m_ports.messages.Show(message);
    }

    const MarkListInputs& m_inputs;
    RunState& m_state;
    const RunConfig& m_config;
    RunPorts& m_ports;
    RunScreen m_screen; // takes the screen down when the run ends, after Go handed out the result
    RunResult m_result;
};

} // namespace

std::string FetchingDatasheetsInfo(std::size_t done, std::size_t total)
{
    // Thousands grouped with commas, whatever the locale: 2,000.
    auto grouped = [](std::size_t value) {
        std::string digits = std::to_string(value);
        for (std::size_t at = digits.size(); at > 3; at -= 3)
            digits.insert(at - 3, 1, ',');
        return digits;
    };
    return "Fetching datasheets " + grouped(done) + " of " + grouped(total) + "...";
}

std::string NoViewerMessage(const std::filesystem::path& document, std::string_view reason)
{
    std::string text = "No viewer could be started for the document. It was written to:\n";
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(document, ec);
    text += (ec ? document : full.lexically_normal()).string();
    if (!reason.empty()) {
        text += "\n\n";
        text += reason;
    }
    return text;
}

RunPreparation PrepareRun(const MarkListInputs& inputs, RunState& state, const RunConfig& config,
                          QueryInputs& queryInputs)
{
    RunPreparation prepared;
    static_cast<BuiltRequest&>(prepared) = BuildMarkListRequest(inputs, state.controlCode, state.catalogue,
                                                                config.serviceUrl, config.outputDir, queryInputs);
    if (prepared.outcome != RequestOutcome::Ready)
        return prepared;
    // Without an address there is nowhere to ask; say how to set one before fetching.
    prepared.outcome = RequestOutcome::Invalid;
    if (config.serviceUrl.empty()) {
        prepared.message = kMsgNoServiceAddress;
        return prepared;
    }
    if (!CheckServiceUrl(config.serviceUrl, prepared.message))
        return prepared;
    prepared.outcome = RequestOutcome::Ready;
    prepared.documentPath = DocumentPathFor(prepared.request.kmlPath, config.format);
    return prepared;
}

RunResult RetrievalRun(const MarkListInputs& inputs, RunState& state, const RunConfig& config,
                       RunPorts& ports)
{
    return Run(inputs, state, config, ports).Go();
}

} // namespace tervane
