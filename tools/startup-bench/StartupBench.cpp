// Measures how long the Tervane window takes from process start to its first paint,
// against a bare Qt window with the same menus, in one run:
//
//   tervane-startup-bench [--runs N] [--program PATH]
//
// Each round starts both programs once, in alternating order, and takes the time from
// starting the process to reading its "first-paint" line (FirstPaintProbe.h). A first
// round warms the disk cache and is not counted. Run it under the platform to measure:
// QT_QPA_PLATFORM=offscreen, or with DISPLAY set to an X server.
//
//   tervane-startup-bench --bare     is the bare window itself.

#include "startup-bench/FirstPaintProbe.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultRuns = 20;
constexpr int kStartTimeoutMs = 30000;

int BareWindow(int argc, char** argv)
{
    tervane::FirstPaintProbe probe;
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("TERVANE"));
    QMenu* stations = window.menuBar()->addMenu(QStringLiteral("Stations"));
    stations->addAction(QStringLiteral("By State and County"));
    stations->addAction(QStringLiteral("By Lat Lon Radius"));
    stations->addAction(QStringLiteral("By Project ID"));
    window.menuBar()->addAction(QStringLiteral("Help"));
    window.menuBar()->addAction(QStringLiteral("E&xit"));
    window.resize(541, 360);
    probe.Watch(&window);
    window.show();
    return app.exec();
}

// Milliseconds from starting `program` to its first-paint line; negative on failure.
double TimeToFirstPaint(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = std::chrono::steady_clock::now();
    process.start(program, arguments);
    double elapsed = -1;
    while (process.waitForReadyRead(kStartTimeoutMs)) {
        if (process.readAll().contains("first-paint")) {
            elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            break;
        }
    }
    if (!process.waitForFinished(kStartTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return -1;
    }
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--bare") {
            return BareWindow(argc, argv);
        }
    }
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    int runs = kDefaultRuns;
    QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/tervane");
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--runs")) {
            runs = std::max(1, arguments[++i].toInt());
        } else if (arguments[i] == QStringLiteral("--program")) {
            program = arguments[++i];
        }
    }
    const QString self = QCoreApplication::applicationFilePath();

    std::vector<double> bare;
    std::vector<double> tervane;
    for (int round = 0; round <= runs; ++round) {
        auto timeBare = [&] { return TimeToFirstPaint(self, {QStringLiteral("--bare")}); };
        auto timeTervane = [&] { return TimeToFirstPaint(program, {QStringLiteral("--measure-startup")}); };
        double times[2] = {-1, -1}; // bare, tervane
        if (round % 2 == 0) {
            times[1] = timeTervane();
            times[0] = timeBare();
        } else {
            times[0] = timeBare();
            times[1] = timeTervane();
        }
        if (times[0] < 0 || times[1] < 0) {
            std::fprintf(stderr, "tervane-startup-bench: a window did not paint or ended with a failure\n");
            return 1;
        }
        if (round > 0) {
            bare.push_back(times[0]);
            tervane.push_back(times[1]);
        }
    }
    const double bareMedian = Median(bare);
    const double tervaneMedian = Median(tervane);
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", qEnvironmentVariable("DISPLAY").isEmpty()
                                                                         ? QStringLiteral("default")
                                                                         : QStringLiteral("xcb"));
    std::printf("platform %s, %d runs each (after one warm-up)\n", qPrintable(platform), runs);
    std::printf("bare window    median %7.1f ms  (min %.1f, max %.1f)\n", bareMedian,
                *std::min_element(bare.begin(), bare.end()), *std::max_element(bare.begin(), bare.end()));
    std::printf("tervane window median %7.1f ms  (min %.1f, max %.1f)\n", tervaneMedian,
                *std::min_element(tervane.begin(), tervane.end()), *std::max_element(tervane.begin(), tervane.end()));
    std::printf("ratio          %.2f\n", tervaneMedian / bareMedian);
    return 0;
}
