// Whole-process benchmark of the reply-to-document path: the built `tervane-cli --reply`
// against a streamed writer of the same number of bytes (256 KiB writes, through a
// temporary file and a rename, as the tool does) and, when GDAL is installed, against
// `ogr2ogr` turning a CSV of the same marks into KML. Each is a process of its own, timed
// from start to exit; its peak resident memory comes from wait4(). The programs take
// turns, round after round, and the medians and their ratios come from the same run.
//
// It then measures the peak memory of single runs: one mark, 32,766 marks, a 10 MB
// reply of 2,000,000 four-character lines, and replies of 50 MB and of 256 MiB (the most
// the transfer accepts) of such lines fetched over HTTP from a server on 127.0.0.1.
//
//   tervane_bench_process [--runs N] [--cli PATH] [--no-http]
//
// The floor and the measuring of each process are tervane_bench_runner's work.

#include "ReplyGenerator.h"

#include "kml/KmlWriter.h"
#include "kml/MarkDocument.h"
#include "marks/MarkList.h"

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace tervane;

constexpr std::size_t kServeBlock = std::size_t{256} << 10;
constexpr double kBytesPerMiB = 1024.0 * 1024.0;
constexpr std::size_t kShortLines = 2000000;
constexpr std::size_t kHttpSmall = 50000000;             // 50 MB
constexpr std::size_t kHttpLargest = std::size_t{256} << 20; // the transfer's limit
constexpr std::string_view kShortLine = "abc.\n";       // a mark line with every field empty
constexpr std::string_view kQuery[] = {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL"};

struct Sample {
    double milliseconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

std::string g_runner;   // tervane_bench_runner
fs::path g_resultFile; // where its measure form leaves the figures

// Runs `args` through the runner's measure form and waits for it.
Sample RunProcess(const std::vector<std::string>& args)
{
    std::vector<std::string> all{g_runner, "measure", g_resultFile.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const auto& arg : all)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    Sample sample;
    fs::remove(g_resultFile);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return sample;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return sample;
    std::ifstream in(g_resultFile);
    long peakKiB = 0;
    int code = 1;
    if (!(in >> sample.milliseconds >> peakKiB >> code))
        return sample;
    sample.peakMiB = static_cast<double>(peakKiB) / 1024; // kilobytes on Linux
    sample.ok = code == 0;
    return sample;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string ShortLines(std::size_t bytes)
{
    std::string text;
    text.reserve(bytes);
    while (text.size() + kShortLine.size() <= bytes)
        text += kShortLine;
    text.append(bytes - text.size(), '\n');
    return text;
}

// The marks that get a placemark, as name and position, for ogr2ogr.
std::string MarksCsv(const std::string& reply)
{
    const MarkListReply marks = ReadMarkList(reply, "H-0-0");
    // With no progress there is nothing to cancel, so the marks are always located.
    const MarkLocations locations = *LocateMarks(marks.records, nullptr);
    std::string csv = "name,longitude,latitude\n";
    ForEachLocatedMark(marks.records, locations, [&](const MarkRecord& record, const MarkPosition& position) {
        csv += '"';
        for (char c : record.designation)
            csv += c == '"' ? std::string("\"\"") : std::string(1, c);
        csv += "\",";
        AppendKmlNumber(csv, position.longitude);
        csv += ',';
        AppendKmlNumber(csv, position.latitude);
        csv += '\n';
    });
    return csv;
}

std::vector<std::string> CliArgs(const std::string& cli, const fs::path& outDir, const std::string& service,
                                 const std::optional<fs::path>& reply)
{
    std::vector<std::string> args{cli};
    args.insert(args.end(), std::begin(kQuery), std::end(kQuery));
    args.insert(args.end(), {"--service", service, "--out-dir", outDir.string()});
    if (reply) {
        args.push_back("--reply");
        args.push_back(reply->string());
    } else {
        // A type without a companion request, so the reply is fetched once.
        args[std::size(kQuery)] = "GPS";
    }
    return args;
}

// Serves `body` for every request on 127.0.0.1 while it lives.
class LocalServer {
public:
    explicit LocalServer(const std::string& body) : m_body(body)
    {
        m_server.Get(".*", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(m_body.size(), "text/plain",
                                          [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                              sink.write(m_body.data() + offset,
                                                         std::min(length, kServeBlock));
                                              return true;
                                          });
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~LocalServer()
    {
        m_server.stop();
        m_thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

private:
    const std::string& m_body;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

double Peak(const std::vector<std::string>& args, int runs, bool& ok)
{
    std::vector<double> peaks;
    for (int i = 0; i < runs; ++i) {
        const Sample sample = RunProcess(args);
        ok = ok && sample.ok;
        peaks.push_back(sample.peakMiB);
    }
    return Median(peaks);
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 15;
    bool http = true;
    const fs::path self = fs::canonical("/proc/self/exe");
    std::string cli = (self.parent_path() / "tervane-cli").string();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--cli" && i + 1 < argc)
            cli = argv[++i];
        else if (arg == "--no-http")
            http = false;
        else {
            std::fprintf(stderr, "usage: %s [--runs N] [--cli PATH] [--no-http]\n", argv[0]);
            return 2;
        }
    }

    const fs::path work = fs::temp_directory_path() / ("tervane-process-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "out");
    g_runner = (self.parent_path() / "tervane_bench_runner").string();
    g_resultFile = work / "measured.txt";
    const std::string service = "http://marks.example.org";
    const std::string reply = bench::GenerateMarkListReply(bench::kLargestOldReply);
    WriteText(work / "reply.txt", reply);
    WriteText(work / "one.txt", bench::GenerateMarkListReply(1));
    WriteText(work / "short.txt", ShortLines(kShortLines * kShortLine.size()));
    const fs::path document = work / "out" / "VA_Fairfax_H-0-0.kml";

    bool ok = true;
    const auto cliArgs = CliArgs(cli, work / "out", service, work / "reply.txt");
    ok = RunProcess(cliArgs).ok;
    if (!ok || !fs::exists(document)) {
        std::fprintf(stderr, "%s did not write %s\n", cli.c_str(), document.c_str());
        return 1;
    }
    const std::size_t documentBytes = fs::file_size(document);
    const std::vector<std::string> floorArgs{g_runner, "floor", std::to_string(documentBytes),
                                             (work / "floor.kml").string()};

    const bool gdal = std::system("command -v ogr2ogr >/dev/null 2>&1") == 0;
    const fs::path csv = work / "marks.csv";
    const fs::path gdalKml = work / "gdal.kml";
    std::string ogr2ogr = "/usr/bin/ogr2ogr";
    if (gdal)
        WriteText(csv, MarksCsv(reply));
    const std::vector<std::string> gdalArgs{ogr2ogr, "-f", "KML", gdalKml.string(), csv.string(),
                                            "-oo", "X_POSSIBLE_NAMES=longitude", "-oo",
                                            "Y_POSSIBLE_NAMES=latitude", "-oo", "KEEP_GEOM_COLUMNS=NO"};

    const auto oneArgs = CliArgs(cli, work / "out", service, work / "one.txt");
    std::vector<double> tervaneMs, oneMs, floorMs, gdalMs, tervanePeak, onePeak, floorPeak, gdalPeak;
    for (int round = 0; round <= runs; ++round) { // round 0 warms the caches and is left out
        const Sample t = RunProcess(cliArgs);
        const Sample o = RunProcess(oneArgs);
        const Sample f = RunProcess(floorArgs);
        ok = ok && t.ok && o.ok && f.ok;
        std::optional<Sample> g;
        if (gdal) {
            fs::remove(gdalKml);
            g = RunProcess(gdalArgs);
            ok = ok && g->ok;
        }
        if (round == 0)
            continue;
        tervaneMs.push_back(t.milliseconds);
        tervanePeak.push_back(t.peakMiB);
        oneMs.push_back(o.milliseconds);
        onePeak.push_back(o.peakMiB);
        floorMs.push_back(f.milliseconds);
        floorPeak.push_back(f.peakMiB);
        if (g) {
            gdalMs.push_back(g->milliseconds);
            gdalPeak.push_back(g->peakMiB);
        }
    }

    const double documentMiB = static_cast<double>(documentBytes) / kBytesPerMiB;
    std::printf("reply: %zu marks, %.2f MiB; document: %zu bytes (%.2f MiB)\n", bench::kLargestOldReply,
                static_cast<double>(reply.size()) / kBytesPerMiB, documentBytes, documentMiB);
    std::printf("\nwhole process, median of %d runs    wall ms   peak MiB   time / floor\n", runs);
    const double floor = Median(floorMs);
    std::printf("streamed writer, 256 KiB writes   %8.2f   %8.1f   %8.2f\n", floor, Median(floorPeak), 1.0);
    std::printf("tervane-cli --reply               %8.2f   %8.1f   %8.2f\n", Median(tervaneMs),
                Median(tervanePeak), Median(tervaneMs) / floor);
    std::printf("  the same, a reply of one mark   %8.2f   %8.1f   %8.2f\n", Median(oneMs), Median(onePeak),
                Median(oneMs) / floor);
    if (gdal) {
        std::printf("ogr2ogr CSV to KML                %8.2f   %8.1f   %8.2f\n", Median(gdalMs), Median(gdalPeak),
                    Median(gdalMs) / floor);
        std::printf("tervane / ogr2ogr: time %.2f, peak memory %.2f\n", Median(tervaneMs) / Median(gdalMs),
                    Median(tervanePeak) / Median(gdalPeak));
    }

    // Peak memory of single runs, median of three each.
    constexpr int kMemoryRuns = 3;
    const double one = Median(onePeak);
    const double many = Median(tervanePeak);
    const double shortLines = Peak(CliArgs(cli, work / "out", service, work / "short.txt"), kMemoryRuns, ok);
    std::printf("\npeak memory                                       MiB\n");
    std::printf("one mark                                     %8.1f\n", one);
    std::printf("32,766 marks                                 %8.1f   above one mark: %.1f MiB = %.2f of the "
                "document\n",
                many, many - one, (many - one) / documentMiB);
    std::printf("2,000,000 four-character lines (10 MB)       %8.1f\n", shortLines);

    if (http) {
        for (std::size_t bytes : {kHttpSmall, kHttpLargest}) {
            const std::string body = ShortLines(bytes);
            LocalServer server(body);
            bool fetched = true;
            const double peak = Peak(CliArgs(cli, work / "out", server.Url(), std::nullopt), 1, fetched);
            std::printf("HTTP reply of %9zu bytes of such lines  %8.1f%s\n", bytes, peak,
                        fetched ? "" : "   (the run failed)");
            ok = ok && fetched;
        }
    }

    fs::remove_all(work);
    if (!ok)
        std::printf("\nsome runs failed: the figures above are not to be trusted\n");
    return ok ? 0 : 1;
}
