#include "retrieval/RetrievalRun.h"

#include "marks/MarkList.h"
#include "retrieval/ControlType.h"
#include "retrieval/ServiceAddress.h"
#include "web/FetchMarkList.h"

#include <exception>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

namespace tervane {

namespace {

// Thrown out of the document writer when the run is cancelled while it writes; the
// writer removes its temporary file on the way out.
struct RunCancelled {};

bool IsCancelled(const RunPorts& ports) { return ports.cancellation && ports.cancellation->Cancelled(); }

// Feeds the document writer's progress into the processing dialog's bar, and stops the
// writer when the run is cancelled (the dialog is where a window sees the user's input).
class DialogProgress final : public DocumentProgress {
public:
    explicit DialogProgress(const RunPorts& ports) : m_dialog(ports.dialog), m_ports(ports) {}

    void Start(std::size_t maximum) override
    {
        m_dialog.SetBarMaximum(maximum);
        m_dialog.SetBarVisible(true);
        m_dialog.Show();
        StopIfCancelled();
    }
    void Advance(std::size_t value) override
    {
        m_dialog.SetBarValue(value);
        StopIfCancelled();
    }
    void NextStep(std::string_view info) override
    {
        m_dialog.SetInfo(std::string(info));
        StopIfCancelled();
    }

private:
    void StopIfCancelled() const
    {
        if (IsCancelled(m_ports))
            throw RunCancelled{};
    }

    ProcessingDialog& m_dialog;
    const RunPorts& m_ports;
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

// Every request of the run counts against the run's one deadline, and only while the run
// lasts: the transfer outlives it.
class RunDeadlineScope {
public:
    RunDeadlineScope(Transfer& transfer, const RunDeadline& deadline) : m_transfer(transfer)
    {
        m_transfer.SetDeadline(&deadline);
    }
    ~RunDeadlineScope() { m_transfer.SetDeadline(nullptr); }
    RunDeadlineScope(const RunDeadlineScope&) = delete;
    RunDeadlineScope& operator=(const RunDeadlineScope&) = delete;

private:
    Transfer& m_transfer;
};

// A cancelled run leaves nothing on the screen and says nothing.
void EndCancelled(RunResult& result, RunPorts& ports)
{
    result.outcome = RunOutcome::Cancelled;
    result.message.clear();
    ports.dialog.Hide();
    ports.pointer.ShowDefault();
}

// The general failure path: show the description, hide the dialog, default pointer.
// Nothing is saved, and the document writer has already removed its partial file.
void Fail(RunResult& result, RunPorts& ports, std::string message)
{
    result.outcome = RunOutcome::Failed;
    result.message = std::move(message);
    if (!IsCancelled(ports))
        ports.messages.Show(result.message);
    ports.dialog.Hide();
    ports.pointer.ShowDefault();
}

// Validation messages and the fetch's failures leave the dialog alone: it is either not
// yet shown or already hidden.
void Refuse(RunResult& result, RunPorts& ports, std::string message)
{
    result.outcome = RunOutcome::Failed;
    result.message = std::move(message);
    if (!IsCancelled(ports))
        ports.messages.Show(result.message);
}

// The fetch step: the mark list and, when asked for, its companion, side by side under
// the run's one deadline. The reply is the primary's then the companion's; the message
// is the companion's when it has one, else the primary's.
void FetchReplies(const MarkListRequest& request, const RunConfig& config, RunPorts& ports,
                  std::string& reply, std::string& error)
{
    RunDeadline deadline(ports.transfer.TimeLimit());
    const RunDeadlineScope onTheDeadline(ports.transfer, deadline);
    SignInOffTheClock signIn(ports.signIn, deadline);
    std::vector<MarkListFetch> fetches{{request.primaryUrl, {}, {}}};
    if (config.fetchCompanion && !request.companionUrl.empty())
        fetches.push_back({request.companionUrl, {}, {}});
    ports.pointer.ShowHourglass();
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

void RunSteps(const MarkListInputs& inputs, RunState& state, const RunConfig& config, RunPorts& ports,
              RunResult& result)
{
    RunPreparation prepared = PrepareRun(inputs, state, config, ports.queryInputs);
    result.request = std::move(prepared.request);
    const MarkListRequest& request = result.request;
    switch (prepared.outcome) {
    case RequestOutcome::NoMode:
        result.outcome = RunOutcome::NoMode;
        return;
    case RequestOutcome::Invalid:
        if (prepared.resetPointer)
            ports.pointer.ShowDefault();
        Refuse(result, ports, std::move(prepared.message));
        return;
    case RequestOutcome::Ready:
        break;
    }

    ports.dialog.HideProcessingLabel();
    ports.dialog.SetInfo(std::string(kInfoFetching));
    ports.dialog.SetBarVisible(false);
    ports.dialog.Show();

    std::string reply;
    std::string error;
    FetchReplies(request, config, ports, reply, error);
    ports.dialog.Hide();
    if (IsCancelled(ports)) {
        EndCancelled(result, ports);
        return;
    }

    if (!error.empty()) {
        Refuse(result, ports, error);
        ports.pointer.ShowDefault();
        return;
    }

    // The reader takes the reply over; its records view it, nothing is copied.
    MarkListReply marks = ReadMarkList(std::move(reply), state.controlCode);
    switch (marks.outcome) {
    case ReplyOutcome::InputError:
        ports.pointer.ShowDefault();
        Refuse(result, ports, marks.message);
        return;
    case ReplyOutcome::NoMarks:
        ports.pointer.ShowDefault();
        Refuse(result, ports, std::string(kMsgNoMarks));
        return;
    case ReplyOutcome::Marks:
        break;
    }

    ports.dialog.HideProcessingLabel();
    ports.dialog.SetInfo(std::string(CreatingInfo(config.format)));
    DialogProgress progress(ports);
    const DocumentOutput output{config.format, config.iconDir, ports.archiver};
    const std::filesystem::path& path = prepared.documentPath;
    if (!WriteMarkDocument(path, marks.records, state.controlCode, config.serviceUrl, &progress,
                           result.report, error, output)) {
        Fail(result, ports, error);
        return;
    }
    result.kmlPath = path;
    ports.pointer.ShowDefault();
    if (IsCancelled(ports)) {
        // Too late to take the document back; the viewer is not started.
        EndCancelled(result, ports);
        return;
    }

    if (config.saveSettings) {
        ports.settings.SaveSetting(kSettingsSection, kStateKey, inputs.stateText);
        ports.settings.SaveSetting(kSettingsSection, kCountyKey, inputs.countyText);
    }

    // Announcing the viewer when none is started would tell the user something false.
    result.outcome = RunOutcome::Opened;
    if (config.openDocument) {
        ports.dialog.SetInfo(std::string(kInfoStarting));
        ports.dialog.SetBarVisible(false);
        std::string reason;
        if (!ports.opener.Open(result.kmlPath, reason)) {
            // Silence here would leave the user with no document on the screen and no
            // idea where it went.
            ports.dialog.Hide();
            result.outcome = RunOutcome::NotOpened;
            result.message = NoViewerMessage(result.kmlPath, reason);
            if (!IsCancelled(ports))
                ports.messages.Show(result.message);
        }
    }
    ports.dialog.Hide();

    // Marks whose position could not be read got no placemark; tell the user once.
    if (result.report.skipped > 0)
        ports.messages.Show(SkippedMarksMessage(result.report));
}

} // namespace

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
    if (!CheckStateAndCounty(inputs, prepared.message))
        return prepared;
    LookupControlCode(state.controlCode, inputs.controlTypeText);
    queryInputs.HideQueryInputs();

    prepared.outcome =
        CompleteMarkListRequest(inputs, state.controlCode, state.catalogue, config.serviceUrl,
                                config.outputDir, prepared.request, prepared.message, prepared.resetPointer);
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
    RunResult result;
    try {
        RunSteps(inputs, state, config, ports, result);
    } catch (const RunCancelled&) {
        EndCancelled(result, ports);
    } catch (const std::bad_alloc&) {
        Fail(result, ports, "Out of memory: the mark list is too large to process.");
    } catch (const std::exception& e) {
        Fail(result, ports, e.what());
    }
    return result;
}

} // namespace tervane
