// A HORIZONTAL county query, whose mark list and GPS companion go side by side, against a
// service on 127.0.0.1 that answers each request after a fixed delay; and the same query
// with the two requests one after the other, as they went before. Not a test: it prints
// the median time of several runs of each order, in the same process.
//
//   tervane_bench_companion [runs]      (default 5 runs per order and delay)

#include "LocalService.h"
#include "ReplyGenerator.h"

#include "adapters/HttpTransfer.h"
#include "retrieval/RetrievalRun.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace tervane::bench {
namespace {

// The request catalogue the tests use: Fairfax County, VA, among others.
const std::filesystem::path kCatalogue =
    std::filesystem::path(TERVANE_SOURCE_DIR) / "tests/data/requests-catalogue.dat";

// The ports a run needs beyond the transfer, doing nothing.
struct QuietPorts final : MessageBox,
                          MousePointer,
                          QueryInputs,
                          ProcessingDialog,
                          SettingsStore,
                          SignInPrompt,
                          DocumentOpener {
    std::vector<std::string> shown;
    void Show(const std::string& text) override { shown.push_back(text); }
    void ShowHourglass() override {}
    void ShowDefault() override {}
    void HideQueryInputs() override {}
    void Show() override {}
    void Hide() override {}
    void HideProcessingLabel() override {}
    void SetInfo(const std::string&) override {}
    void SetBarVisible(bool) override {}
    void SetBarMaximum(std::size_t) override {}
    void SetBarValue(std::size_t) override {}
    std::string GetSetting(std::string_view, std::string_view, std::string_view fallback) override
    {
        return std::string(fallback);
    }
    void SaveSetting(std::string_view, std::string_view, std::string_view) override {}
    SignInAnswer Ask() override { return {}; }
    bool Open(const std::filesystem::path&, std::string&) override { return true; }
};

// The transfer with the port's own OpenEach: each request waits for the one before.
class OneAfterTheOther final : public Transfer {
public:
    explicit OneAfterTheOther(Transfer& inner) : m_inner(inner) {}
    void SetCredentials(const std::string& user, const std::string& password) override
    {
        m_inner.SetCredentials(user, password);
    }
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override
    {
        return m_inner.Open(url, reply, error);
    }
    void SetDeadline(const RunDeadline* deadline) override { m_inner.SetDeadline(deadline); }
    std::chrono::milliseconds TimeLimit() const override { return m_inner.TimeLimit(); }

private:
    Transfer& m_inner;
};

// Seconds one run took; exits on a run that did not write its document.
double TimedRun(Transfer& transfer, const std::string& serviceUrl, const std::filesystem::path& outputDir)
{
    QuietPorts ports;
    RegionCatalogue catalogue(kCatalogue);
    std::string controlCode;
    RunState state{controlCode, catalogue};
    RunConfig config;
    config.serviceUrl = serviceUrl;
    config.outputDir = outputDir;
    config.openDocument = false;
    config.saveSettings = false;
    RunPorts run{ports, ports, ports, ports, ports, transfer, ports, ports};
    const MarkListInputs county{"SC", "VA", "Fairfax ", "HORIZONTAL", "", "", "", "", "US"};
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = RetrievalRun(county, state, config, run);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (result.outcome != RunOutcome::Opened) {
        std::fprintf(stderr, "the run failed: %s\n", result.message.c_str());
        std::exit(1);
    }
    return took.count();
}

} // namespace
} // namespace tervane::bench

int main(int argc, char** argv)
{
    using namespace tervane;
    using namespace tervane::bench;
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    std::atomic<int> delayMs{1000};
    const std::string marks = GenerateMarkListReply(200);
    httplib::Server server;
    server.Get("/cgi-bin/get_mark_list.prl", [&](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
        res.set_content(marks, "text/plain");
    });
    const LocalService service(server);
    const std::string& serviceUrl = service.Url();

    QTemporaryDir folder;
    HttpTransfer sideBySide;
    OneAfterTheOther inTurn(sideBySide);
    std::printf("HORIZONTAL county query, median of %d runs (seconds)\n", runs);
    std::printf("%-10s %-18s %-18s\n", "delay", "one after other", "side by side");
    for (const int delay : {1000, 200}) {
        delayMs = delay;
        std::vector<double> sequential;
        std::vector<double> parallel;
        // Interleaved, so that a busy moment of the machine falls on both orders alike.
        for (int run = 0; run < runs; ++run) {
            sequential.push_back(TimedRun(inTurn, serviceUrl, folder.path().toStdString()));
            parallel.push_back(TimedRun(sideBySide, serviceUrl, folder.path().toStdString()));
        }
        std::printf("%-10.1f %-18.3f %-18.3f\n", delay / 1000.0, Median(sequential), Median(parallel));
    }
    return 0;
}
