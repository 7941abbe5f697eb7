// Times the path from a mark-list reply to a KML file against its floor: the same
// number of bytes written to a file with one buffered write. Medians of repeated runs;
// the ratios at the end compare medians taken in the same run of this program.

#include "ReplyGenerator.h"

#include "kml/MarkDocument.h"
#include "marks/MarkList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace tervane;

constexpr std::string_view kControlCode = "H-A-0";
constexpr std::string_view kService = "https://marks.example.org";
constexpr int kRepetitions = 9;

const std::string& Reply()
{
    static const std::string reply = bench::GenerateMarkListReply(bench::kLargestOldReply);
    return reply;
}

fs::path OutputPath(const char* name)
{
    return fs::temp_directory_path() / ("tervane-bench-" + std::to_string(::getpid()) + "-" + name + ".kml");
}

std::size_t DocumentSize()
{
    static const std::size_t size = [] {
        const MarkListReply marks = ReadMarkList(Reply(), kControlCode);
        std::ostringstream out;
        MarkDocumentReport report;
        std::string error;
        WriteMarkDocument(out, marks.records, kControlCode, kService, nullptr, report, error);
        return out.str().size();
    }();
    return size;
}

void SetCounters(benchmark::State& state, std::size_t bytes)
{
    state.counters["marks/s"] = benchmark::Counter(static_cast<double>(bench::kLargestOldReply),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void ReadReply(benchmark::State& state)
{
    for (auto _ : state) {
        auto reply = ReadMarkList(Reply(), kControlCode);
        benchmark::DoNotOptimize(reply.records.size());
    }
    SetCounters(state, Reply().size());
}

void WriteDocumentToFile(benchmark::State& state)
{
    const MarkListReply marks = ReadMarkList(Reply(), kControlCode);
    const fs::path path = OutputPath("document");
    for (auto _ : state) {
        MarkDocumentReport report;
        std::string error;
        if (WriteMarkDocument(path, marks.records, kControlCode, kService, nullptr, report, error) != DocumentOutcome::Written)
            state.SkipWithError(error.c_str());
    }
    fs::remove(path);
    SetCounters(state, DocumentSize());
}

void ReplyToFile(benchmark::State& state)
{
    const fs::path path = OutputPath("reply");
    for (auto _ : state) {
        auto reply = ReadMarkList(Reply(), kControlCode);
        MarkDocumentReport report;
        std::string error;
        if (WriteMarkDocument(path, reply.records, kControlCode, kService, nullptr, report, error) != DocumentOutcome::Written)
            state.SkipWithError(error.c_str());
    }
    fs::remove(path);
    SetCounters(state, DocumentSize());
}

// The floor: the document's bytes, already in memory, written with one call, through the
// same temporary-file-and-rename steps.
void FloorOneWrite(benchmark::State& state)
{
    const std::string bytes(DocumentSize(), 'x');
    const fs::path path = OutputPath("floor");
    const fs::path temporary = OutputPath("floor.tmp");
    for (auto _ : state) {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out)
            state.SkipWithError("floor write failed");
        fs::rename(temporary, path);
    }
    fs::remove(path);
    SetCounters(state, bytes.size());
}

BENCHMARK(ReadReply)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(WriteDocumentToFile)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(ReplyToFile)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(FloorOneWrite)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Keeps the medians so the ratios to the floor can be printed after the usual table.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    struct Median {
        double real = 0; // milliseconds
        double cpu = 0;
    };
    std::map<std::string, Median> medians;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nReply: %zu marks, %zu bytes; document: %zu bytes\n", bench::kLargestOldReply,
                Reply().size(), DocumentSize());
    auto floor = reporter.medians.find("FloorOneWrite");
    if (floor == reporter.medians.end() || floor->second.real <= 0 || floor->second.cpu <= 0)
        return 0;
    std::printf("%-20s %12s %12s %12s %10s %10s\n", "median of each", "real ms", "cpu ms", "marks/s",
                "real/floor", "cpu/floor");
    for (const auto& [name, median] : reporter.medians) {
        std::printf("%-20s %12.2f %12.2f %12.0f %10.2f %10.2f\n", name.c_str(), median.real, median.cpu,
                    static_cast<double>(bench::kLargestOldReply) / (median.real / 1000),
                    median.real / floor->second.real, median.cpu / floor->second.cpu);
    }
    return 0;
}
