// A field package's datasheet pages, 500 of them, fetched from a service on 127.0.0.1 that
// answers each request after a fixed delay: four requests at a time, as a run asks them,
// against one at a time. No cache, so every page is asked for in every run. Not a test: it
// prints the median time of several runs of each, interleaved in the same process, and
// fails when a page did not come back whole, since a run that lost pages measures nothing.
//
//   tervane_bench_datasheets [--runs N] [--delay-ms MS]   (default 5 runs, 20 ms)

#include "LocalService.h"

#include "adapters/HttpTransfer.h"
#include "datasheets/FetchDatasheets.h"

#include <QCoreApplication>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tervane::bench {
namespace {

constexpr int kPages = 500;

std::vector<std::string> Pids()
{
    std::vector<std::string> pids;
    for (int i = 0; i < kPages; ++i) {
        char pid[8];
        std::snprintf(pid, sizeof pid, "%c%c%04d", 'A' + i / 26 % 26, 'A' + i % 26, i);
        pids.emplace_back(pid);
    }
    return pids;
}

// About a kilobyte, and naming its mark, so that a page handed to the wrong PID shows.
std::string Page(std::string_view pid)
{
    std::string page = "<html><body><pre>\n DATASHEET " + std::string(pid) + "\n";
    while (page.size() < 1000)
        page += " " + std::string(pid) + " MARK DESCRIPTION AND RECOVERY NOTES ........................\n";
    return page + "</pre></body></html>\n";
}

// The service: counts the requests and the most of them it had under way at once.
struct SlowDatasheets {
    std::atomic<int> delayMs{20};
    std::atomic<int> served{0};
    std::atomic<int> underWay{0};
    std::atomic<int> mostAtOnce{0};

    void Answer(const httplib::Request& request, httplib::Response& response)
    {
        const int now = ++underWay;
        for (int most = mostAtOnce.load(); now > most && !mostAtOnce.compare_exchange_weak(most, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
        const std::string pid = request.get_param_value("PidBox");
        if (pid.size() == 6)
            response.set_content(Page(pid), "text/html");
        else
            response.status = 404;
        ++served;
        --underWay;
    }
};

struct Timed {
    double seconds = 0;
    int mostAtOnce = 0;
};

// One fetch of every page; ends the program unless each came back, as the service sent it.
Timed TimedFetch(std::size_t atOnce, const std::vector<std::string_view>& pids, const std::string& serviceUrl,
                 Transfer& transfer, SlowDatasheets& service)
{
    DatasheetSource source;
    source.serviceUrl = serviceUrl;
    source.cache = nullptr;
    source.requestsAtOnce = atOnce;
    service.served = 0;
    service.mostAtOnce = 0;
    Datasheets datasheets;
    const auto start = std::chrono::steady_clock::now();
    const bool finished = FetchDatasheets(pids, source, transfer, nullptr, datasheets);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    std::string fault;
    if (!finished)
        fault = "the fetch ended early";
    else if (datasheets.Size() != pids.size() || datasheets.Missing() != 0)
        fault = MissingDatasheetsMessage(datasheets, pids);
    for (std::size_t i = 0; fault.empty() && i < pids.size(); ++i) {
        const DatasheetPage* page = datasheets.Find(pids[i]);
        if (!page || !page->included || page->text != Page(pids[i]))
            fault = "the page of " + std::string(pids[i]) + " is not the one the service sent";
    }
    if (fault.empty() && service.served != static_cast<int>(pids.size()))
        fault = "the service had " + std::to_string(service.served) + " requests for " +
                std::to_string(pids.size()) + " pages";
    if (!fault.empty()) {
        std::fprintf(stderr, "%zu at a time: %s\n", atOnce, fault.c_str());
        std::exit(1);
    }
    return {took.count(), service.mostAtOnce.load()};
}

// "--name N" with N in [low, high], or exit 2.
bool TakeNumber(int argc, char** argv, int& i, std::string_view name, int low, int high, int& value)
{
    if (argv[i] != name)
        return false;
    const std::string_view text = i + 1 < argc ? argv[++i] : "";
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        std::fprintf(stderr, "%s wants a whole number from %d to %d\n", argv[i - 1], low, high);
        std::exit(2);
    }
    return true;
}

} // namespace
} // namespace tervane::bench

int main(int argc, char** argv)
{
    using namespace tervane::bench;
    int runs = 5;
    int delayMs = 20;
    for (int i = 1; i < argc; ++i) {
        if (!TakeNumber(argc, argv, i, "--runs", 1, 1000, runs) &&
            !TakeNumber(argc, argv, i, "--delay-ms", 0, 10000, delayMs)) {
            std::fprintf(stderr, "usage: %s [--runs N] [--delay-ms MS]\n", argv[0]);
            return 2;
        }
    }
    QCoreApplication app(argc, argv);

    SlowDatasheets slow;
    slow.delayMs = delayMs;
    httplib::Server server;
    server.Get("/cgi-bin/ds_mark.prl", [&slow](const httplib::Request& request, httplib::Response& response) {
        slow.Answer(request, response);
    });
    const LocalService service(server);

    const std::vector<std::string> pidTexts = Pids();
    const std::vector<std::string_view> pids(pidTexts.begin(), pidTexts.end());
    tervane::HttpTransfer transfer;
    std::vector<double> four;
    std::vector<double> one;
    int mostOfFour = 0;
    int mostOfOne = 0;
    // Interleaved, the order turned each run, so that a busy moment of the machine or a
    // connection opened by the run before falls on both alike.
    for (int run = 0; run < runs; ++run) {
        for (const std::size_t atOnce :
             run % 2 ? std::vector<std::size_t>{1, 4} : std::vector<std::size_t>{4, 1}) {
            const Timed timed = TimedFetch(atOnce, pids, service.Url(), transfer, slow);
            (atOnce == 4 ? four : one).push_back(timed.seconds);
            int& most = atOnce == 4 ? mostOfFour : mostOfOne;
            most = std::max(most, timed.mostAtOnce);
        }
    }

    std::printf("%d datasheet pages, %d ms a reply, median of %d runs (seconds)\n", kPages, delayMs, runs);
    std::printf("%-14s %-14s %s\n", "4 at a time", "1 at a time", "ratio");
    std::printf("%-14.3f %-14.3f %.2f\n", Median(four), Median(one), Median(one) / Median(four));
    std::printf("most requests under way at the service: %d (4 at a time), %d (1 at a time)\n", mostOfFour,
                mostOfOne);
    // The delay holds the requests of a group under way together: with one, fewer than four
    // at once would mean the side-by-side figure measures something else.
    if ((delayMs > 0 && mostOfFour < 4) || mostOfOne != 1) {
        std::fprintf(stderr, "the service never had the requests under way that were asked for\n");
        return 1;
    }
    return 0;
}
