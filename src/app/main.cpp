// Starts the Tervane window. The window is the whole program; it has no command line of
// its own. --measure-startup is for the start-up bench: it prints a line at the window's
// first paint and ends, with failures on standard error instead of in message boxes and
// exit status 1 when there were any (so it doubles as a check of an installed copy).

#include "adapters/HttpTransfer.h"
#include "adapters/QtSettingsStore.h"
#include "adapters/ZipArchiveWriter.h"
#include "datasheets/DatasheetCache.h"
#include "retrieval/ServiceAddress.h"
#include "startup-bench/FirstPaintProbe.h"
#include "ui/AppIcon.h"
#include "ui/DesktopOpener.h"
#include "ui/DialogSignInPrompt.h"
#include "ui/MainWindow.h"
#include "ui/ProcessingDialogWindow.h"
#include "ui/QtMousePointer.h"
#include "ui/WindowMessageBox.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM (a logout, `kill`) ends the program as Exit does, also during a run: the
// handler only writes a byte, and the window sees it among its events.
int g_terminateWriteEnd = -1;

extern "C" void NoteTermination(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_terminateWriteEnd, &byte, 1);
}

// Returns the read end to watch, or -1 when the signal keeps its default action.
int CatchTermination()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) {
        return -1;
    }
    g_terminateWriteEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = NoteTermination;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    return ends[0];
}

class StderrMessages : public tervane::MessageBox {
public:
    void Show(const std::string& text) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
        ++shown;
    }
    int shown = 0;
};

} // namespace

int main(int argc, char** argv)
{
    tervane::FirstPaintProbe probe;
    // Past a file size limit (ulimit -f) the document's write fails with EFBIG and the run
    // reports it and removes its temporary file, instead of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(tervane::kApplicationTitle));
    QApplication::setApplicationName(QString::fromLatin1(tervane::kApplicationTitle));
    QApplication::setWindowIcon(tervane::TervaneIcon());
    const bool measureStartup = QCoreApplication::arguments().contains(QStringLiteral("--measure-startup"));

    tervane::QtSettingsStore settings;
    tervane::WindowMessageBox windowMessages;
    StderrMessages stderrMessages;
    tervane::MessageBox& messages =
        measureStartup ? static_cast<tervane::MessageBox&>(stderrMessages) : windowMessages;

    tervane::MainWindowSetup setup;
    setup.programDir = QCoreApplication::applicationDirPath().toStdString();
    setup.documentsDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    setup.environmentServiceUrl = tervane::EnvironmentServiceUrl();
    setup.datasheetCache = tervane::UserDatasheetCacheFolder();
    tervane::MainWindow window(settings, messages, setup);
    windowMessages.SetParentWindow(&window);

    tervane::QtMousePointer pointer;
    tervane::HttpTransfer transfer;
    tervane::DialogSignInPrompt signIn(settings, pointer, &window);
    tervane::DesktopOpener opener;
    // Not owned by the main window: it lives as long as the program.
    tervane::ProcessingDialogWindow processing;
    tervane::ZipArchiveWriter archiver;
    window.SetRunServices({pointer, processing, transfer, signIn, opener, &archiver});

    if (measureStartup) {
        probe.Watch(&window);
    }
    std::unique_ptr<QSocketNotifier> termination;
    if (const int readEnd = CatchTermination(); readEnd >= 0) {
        termination = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
        QObject::connect(termination.get(), &QSocketNotifier::activated, &window, [&window, readEnd] {
            char bytes[16];
            while (read(readEnd, bytes, sizeof bytes) > 0) {
            }
            window.EndProgram();
        });
    }
    window.Load();
    window.show();
    // Otherwise the missing values (the service address above all) pass for never set.
    if (!settings.ReadProblem().empty())
        QTimer::singleShot(0, &window, [&] { messages.Show(settings.ReadProblem()); });
    const int status = app.exec();
    return stderrMessages.shown > 0 ? EXIT_FAILURE : status;
}
