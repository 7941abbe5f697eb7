// Starts the Tervane window. The window is the whole program; it has no command line of
// its own. --measure-startup is for the start-up bench: it prints a line at the window's
// first paint and ends, with failures on standard error instead of in message boxes and
// exit status 1 when there were any (so it doubles as a check of an installed copy).

#include "qt/HttpTransfer.h"
#include "qt/QtSettingsStore.h"
#include "retrieval/ServiceAddress.h"
#include "ui/AppIcon.h"
#include "ui/DesktopOpener.h"
#include "ui/FirstPaintProbe.h"
#include "ui/QtMousePointer.h"
#include "ui/SignInDialog.h"
#include "ui/WindowMessageBox.h"
#include "ui/dlgProcessing.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

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
    if (const char* url = std::getenv(tervane::kServiceUrlVariable.data())) {
        setup.environmentServiceUrl = url;
    }
    tervane::frmMain window(settings, messages, setup);
    windowMessages.SetParentWindow(&window);

    tervane::QtMousePointer pointer;
    tervane::HttpTransfer transfer;
    tervane::SignInDialog signIn(settings, pointer, &window);
    tervane::DesktopOpener opener;
    // Not owned by the main window: it lives as long as the program.
    tervane::dlgProcessing processing;
    window.SetRunServices({pointer, processing, transfer, signIn, opener});

    if (measureStartup) {
        probe.Watch(&window);
    }
    window.Load();
    window.show();
    const int status = app.exec();
    return stderrMessages.shown > 0 ? EXIT_FAILURE : status;
}
