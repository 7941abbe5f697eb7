// Times one large reply through the window's Go against tervane-cli on the same fetch:
//
//   tervane-run-bench [--marks N] [--runs N]
//
// A server on 127.0.0.1 answers every mark-list request with the same generated reply of
// N marks (100,000 by default), uncompressed. Each round runs a project query once in the real main
// window, in this process, with the real transfer and processing dialog (the viewer is
// not started, the settings stay in memory), and once with tervane-cli, the process
// beside this one, in alternating order. The window is timed from the click on Go to its
// return, the tool from starting its process to its end. A first round warms up and is
// not counted. Run it under the platform to measure: QT_QPA_PLATFORM=offscreen, or with
// DISPLAY set to an X server.

#include "ReplyGenerator.h"

#include "retrieval/ServiceAddress.h"
#include "retrieval/MemorySettingsStore.h"
#include "ui/QtMousePointer.h"
#include "ui/ProcessingDialogWindow.h"
#include "ui/MainWindow.h"
#include "adapters/HttpTransfer.h"

#include <httplib.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kDefaultMarks = 100000;
constexpr int kDefaultRuns = 5;
constexpr int kToolTimeoutMs = 120000;
constexpr const char* kProject = "BENCH";

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct CountingMessages : tervane::MessageBox {
    void Show(const std::string& text) override
    {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++shown;
    }
    int shown = 0;
};

struct NoSignIn : tervane::SignInPrompt {
    tervane::SignInAnswer Ask() override { return {}; }
};

struct NoViewer : tervane::DocumentOpener {
    bool Open(const std::filesystem::path&, std::string&) override { return true; }
};

std::size_t ArgumentAfter(const QStringList& arguments, const QString& name, std::size_t fallback)
{
    const qsizetype at = arguments.indexOf(name);
    bool ok = false;
    const qulonglong value = at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toULongLong(&ok) : 0;
    return ok && value > 0 ? static_cast<std::size_t>(value) : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const std::size_t marks = ArgumentAfter(arguments, QStringLiteral("--marks"), kDefaultMarks);
    const int runs = static_cast<int>(ArgumentAfter(arguments, QStringLiteral("--runs"), kDefaultRuns));

    const std::string reply = tervane::bench::GenerateMarkListReply(marks);
    httplib::Server server;
    // One request per connection: idle kept-alive connections of earlier runs would hold
    // the server's threads, and a new client would wait for them to time out.
    server.set_keep_alive_max_count(1);
    // Not a text type, so that the server sends it uncompressed: compressing 6 MiB for
    // every request would cost the server more than the clients spend.
    server.Get(".*", [&reply](const httplib::Request&, httplib::Response& response) {
        response.set_content(reply, "application/octet-stream");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 500 && !server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::string serviceUrl = "http://127.0.0.1:" + std::to_string(port);

    // The program's folder for the window: its catalogue, and where its documents go.
    QTemporaryDir folder;
    const std::filesystem::path programDir = folder.path().toStdString();
    const std::filesystem::path binDir = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::copy_file(binDir / "Country.dat", programDir / "Country.dat");
    std::filesystem::create_directories(programDir / "cli");

    tervane::MemorySettingsStore settings;
    settings.SaveSetting(tervane::kServiceSection, tervane::kServiceKey, serviceUrl);
    CountingMessages messages;
    tervane::MainWindowSetup setup;
    setup.programDir = programDir;
    setup.documentsDir = programDir / "Documents";
    tervane::MainWindow window(settings, messages, setup);
    tervane::QtMousePointer pointer;
    tervane::HttpTransfer transfer;
    NoSignIn signIn;
    NoViewer viewer;
    tervane::ProcessingDialogWindow dialog;
    window.SetRunServices({pointer, dialog, transfer, signIn, viewer});
    window.Load();
    window.show();
    QCoreApplication::processEvents();

    const auto windowRun = [&] {
        window.findChild<QAction*>(QStringLiteral("mnuByProj"))->trigger();
        window.findChild<QComboBox*>(QStringLiteral("cboState"))->setEditText(QStringLiteral("VA"));
        window.findChild<QComboBox*>(QStringLiteral("cboCounty"))->setEditText(QStringLiteral("Fairfax"));
        window.findChild<QLineEdit*>(QStringLiteral("txtProject"))->setText(QString::fromLatin1(kProject));
        const Clock::time_point start = Clock::now();
        window.findChild<QPushButton*>(QStringLiteral("cmdGo"))->click();
        const double elapsed = MsSince(start);
        return std::filesystem::exists(programDir / (std::string(kProject) + ".kml")) ? elapsed : -1.0;
    };
    const auto toolRun = [&] {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const Clock::time_point start = Clock::now();
        tool.start(QString::fromStdString((binDir / "tervane-cli").string()),
                   {QStringLiteral("--state"), QStringLiteral("VA"), QStringLiteral("--county"),
                    QStringLiteral("Fairfax"), QStringLiteral("--project"), QString::fromLatin1(kProject),
                    QStringLiteral("--service"), QString::fromStdString(serviceUrl), QStringLiteral("--out-dir"),
                    QString::fromStdString((programDir / "cli").string())});
        const bool finished = tool.waitForFinished(kToolTimeoutMs);
        const double elapsed = MsSince(start);
        return finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0 ? elapsed : -1.0;
    };

    std::vector<double> windowTimes;
    std::vector<double> toolTimes;
    bool failed = false;
    for (int round = 0; round <= runs && !failed; ++round) {
        double windowMs = 0;
        double toolMs = 0;
        if (round % 2 == 0) {
            windowMs = windowRun();
            toolMs = toolRun();
        } else {
            toolMs = toolRun();
            windowMs = windowRun();
        }
        failed = windowMs < 0 || toolMs < 0 || messages.shown > 0;
        if (round > 0) {
            windowTimes.push_back(windowMs);
            toolTimes.push_back(toolMs);
        }
    }
    server.stop();
    serving.join();
    if (failed) {
        std::fprintf(stderr, "tervane-run-bench: a run failed\n");
        return EXIT_FAILURE;
    }
    const double windowMedian = Median(windowTimes);
    const double toolMedian = Median(toolTimes);
    std::printf("platform %s, %zu marks, reply %.1f MiB, %d runs each\n",
                qPrintable(QGuiApplication::platformName()), marks,
                static_cast<double>(reply.size()) / (1024.0 * 1024.0), runs);
    std::printf("tervane-cli (process) median %.1f ms\n", toolMedian);
    std::printf("window Go            median %.1f ms\n", windowMedian);
    std::printf("ratio window / tool  %.2f\n", windowMedian / toolMedian);
    return EXIT_SUCCESS;
}
