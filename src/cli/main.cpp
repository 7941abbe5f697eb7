// tervane-cli: the window's retrieval run from a terminal. The options fill the window's
// inputs, the core runs exactly as for the Go button, and the terminal stands in for the
// dialogs: failures print the window's message and exit 1, usage errors exit 2.

#include "cli/CliOptions.h"
#include "cli/TerminalPorts.h"
#include "adapters/HttpTransfer.h"
#include "adapters/QtSettingsStore.h"
#include "adapters/ZipArchiveWriter.h"

#include "datasheets/DatasheetCache.h"
#include "kml/MarkDocument.h"
#include "regions/RegionCatalogue.h"
#include "retrieval/MarkListRequest.h"
#include "retrieval/MemorySettingsStore.h"
#include "retrieval/RetrievalRun.h"
#include "retrieval/ServiceAddress.h"
#include "text/TerminalText.h"

#include <QCoreApplication>
#include <QString>

#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace tervane {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ctrl+C, a hang-up or a `kill` while the document is written must not leave its hidden
// temporary file behind (it can be hundreds of megabytes): remove it, then end by the
// signal as before, so the caller sees why the tool ended.
extern "C" void RemoveTemporaryAndDie(int signalNumber)
{
    if (const char* temporary = TemporaryDocumentPath())
        unlink(temporary);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void RemoveTemporaryOnSignals()
{
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kEndingSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (const int signalNumber : kEndingSignals)
        sigaction(signalNumber, &action, nullptr);
}

int UsageError(const std::string& error)
{
    std::cerr << "tervane-cli: " << EscapeForTerminal(error) << '\n'
              << CliSynopsis() << '\n'
              << "Run 'tervane-cli --help' for the options.\n";
    return kExitUsage;
}

// Failures quote files and settings (a catalogue line, a configured address).
int Failure(const std::string& message)
{
    std::cerr << EscapeForTerminal(message + '\n');
    return kExitFailure;
}

// A file the command line names but that cannot be read is a usage error; one that is
// refused for what it is (a device, too large) is a failure of the run.
int FileError(const std::string& error, FileRead read)
{
    return read == FileRead::Unreadable ? UsageError(error) : Failure(error);
}

// The address the window would use, unless the command line names one.
std::string ServiceUrl(const CliOptions& options)
{
    if (options.service) {
        std::string url = ResolveServiceUrl(*options.service, "", "");
        if (!url.empty())
            return url;
    }
    // Read only: the tool never writes the window's settings.
    QtSettingsStore settings(SettingsAccess::ReadOnly);
    // Said first, so that a missing address is not taken for one never set.
    if (!settings.ReadProblem().empty())
        std::cerr << "tervane-cli: " << EscapeForTerminal(settings.ReadProblem()) << '\n';
    return ConfiguredServiceUrl(EnvironmentServiceUrl(), settings);
}

// Paths and addresses hold what the command line put in them. On a terminal their control
// characters are shown, not obeyed; into a pipe or a file they go as they are, for the
// script that reads them.
std::string ForStandardOutput(const std::string& text)
{
    return isatty(STDOUT_FILENO) == 1 ? EscapeForTerminal(text) : text;
}

// The folder the document goes into, absolute so that the printed path holds wherever
// the caller goes next.
std::filesystem::path OutputDir(const CliOptions& options)
{
    std::error_code ec;
    const std::filesystem::path dir =
        options.outDir ? std::filesystem::path(*options.outDir) : std::filesystem::current_path(ec);
    const std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    return ec ? dir : absolute.lexically_normal();
}

// Prints what a run would ask for and write, with the run's own checks and messages.
int DryRun(const MarkListInputs& inputs, RunState& state, const RunConfig& config)
{
    NoQueryInputs queryInputs;
    const RunPreparation prepared = PrepareRun(inputs, state, config, queryInputs);
    switch (prepared.outcome) {
    case RequestOutcome::Invalid:
        return Failure(prepared.message);
    case RequestOutcome::NoMode:
        return kExitFailure; // every command line names a query; nothing to say here
    case RequestOutcome::Ready:
        break;
    }

    std::cout << "primary: " << ForStandardOutput(prepared.request.primaryUrl) << '\n';
    if (!prepared.request.companionUrl.empty())
        std::cout << "companion: " << ForStandardOutput(prepared.request.companionUrl) << '\n';
    std::cout << FormatName(config.format) << ": " << ForStandardOutput(prepared.documentPath.string())
              << '\n'
              << std::flush;
    return std::cout ? kExitSuccess : kExitFailure;
}

int Main(int argc, char** argv)
{
    // Past a file size limit (ulimit -f) the write fails with EFBIG, which the document
    // writer reports and cleans up after, instead of the signal ending the tool at once
    // with the temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // Read before Qt sees the arguments.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    CliOptions options;
    std::string error;
    switch (ParseCliOptions(args, options, error)) {
    case CliCommand::Usage:
        return UsageError(error);
    case CliCommand::Help:
        std::cout << CliHelpText();
        return kExitSuccess;
    case CliCommand::Version:
        std::cout << "tervane-cli " << TERVANE_VERSION << '\n';
        return kExitSuccess;
    case CliCommand::Run:
        break;
    }

    // The HTTP transfer and the settings need an application object, not a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tervane"));
    QCoreApplication::setApplicationName(QStringLiteral("Tervane"));

    std::optional<std::string> password;
    if (options.passwordFile) {
        password.emplace();
        const FileRead read = ReadPasswordFile(*options.passwordFile, *password, error, std::cerr);
        if (read != FileRead::Done)
            return FileError("--password-file: " + error, read);
    }
    std::unique_ptr<Transfer> transfer;
    if (options.replyFile && !options.dryRun) {
        std::string reply;
        // A saved reply is held to the same size as a fetched one.
        const auto maxReplyBytes = static_cast<std::size_t>(HttpTransfer::kDefaultMaxReplyBytes);
        const FileRead read = ReadInputFile(*options.replyFile, maxReplyBytes, reply, error);
        if (read != FileRead::Done)
            return FileError("--reply: " + error, read);
        transfer = std::make_unique<SavedReplyTransfer>(std::move(reply));
    }

    const std::filesystem::path cataloguePath =
        options.catalogue ? std::filesystem::path(*options.catalogue)
                          : FindDataFile(QCoreApplication::applicationDirPath().toStdString(), kCatalogueFileName);
    MarkListInputs inputs = ToMarkListInputs(options);
    // As choosing a state in the window does: the region it lies in decides whether a
    // county is required.
    if (!inputs.stateText.empty()) {
        CountyList counties;
        if (!SelectState(cataloguePath, inputs.stateText, counties, inputs.selectedRegion, error))
            return Failure(error);
    }

    RegionCatalogue catalogue(cataloguePath);
    std::string controlCode;
    RunState state{controlCode, catalogue};
    RunConfig config;
    config.serviceUrl = ServiceUrl(options);
    config.outputDir = OutputDir(options);
    config.saveSettings = false;
    config.openDocument = options.open;
    config.format = ToOutputFormat(options);
    config.iconDir = FindDataFile(QCoreApplication::applicationDirPath().toStdString(), kIconFolderName);
    // A saved reply already holds the companion's marks, if there were any.
    config.fetchCompanion = !options.replyFile;
    // Made again from a saved reply, a field package takes its pages from the cache alone.
    config.datasheets = options.datasheets;
    config.datasheetsOffline = options.replyFile.has_value();
    config.datasheetCache = UserDatasheetCacheFolder();
    if (options.dryRun)
        return DryRun(inputs, state, config);

    if (!transfer)
        transfer = std::make_unique<HttpTransfer>();
    const bool terminalInput = isatty(STDIN_FILENO) == 1;
    TerminalProgress progress(std::cerr, isatty(STDERR_FILENO) == 1);
    TerminalMessages messages(std::cerr, progress);
    TerminalSignIn signIn(options.user, password, terminalInput, std::cerr, progress);
    TerminalOpener opener;
    MemorySettingsStore settings; // the tool leaves the window's settings as they are
    NoPointer pointer;
    NoQueryInputs queryInputs;
    ZipArchiveWriter archiver;
    RunPorts ports{messages, pointer, queryInputs, progress, settings, *transfer, signIn, opener};
    ports.archiver = &archiver;

    RemoveTemporaryOnSignals();
    const RunResult result = RetrievalRun(inputs, state, config, ports);
    progress.EndLine();
    if (result.outcome != RunOutcome::Opened && result.outcome != RunOutcome::NotOpened)
        return kExitFailure; // the message is on standard error already
    // A document no viewer took is still written: its path is printed, and the status says
    // that --open failed.
    std::cout << ForStandardOutput(result.kmlPath.string()) << '\n' << std::flush;
    return std::cout && result.outcome == RunOutcome::Opened ? kExitSuccess : kExitFailure;
}

} // namespace
} // namespace tervane

int main(int argc, char** argv)
{
    return tervane::Main(argc, argv);
}
