// One reply-to-file run, reporting the peak resident memory against the document's size.
// The output's extension picks the format: a KMZ package (through the zip adapter) should
// peak within 1.3 times the KML document's run of the same marks. With --save-reply the
// generated reply is also written to FILE, for `tervane-cli --reply FILE`.
//   tervane_bench_memory [marks] [output.kml|.kmz|.gpx] [--save-reply FILE]

#include "ReplyGenerator.h"

#include "kml/MarkDocument.h"
#include "marks/MarkList.h"
#include "adapters/ZipArchiveWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double PeakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024; // kilobytes on Linux
}

constexpr double kBytesPerMiB = 1024.0 * 1024.0;

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    using namespace tervane;

    std::size_t marks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : bench::kLargestOldReply;
    fs::path path =
        argc > 2 ? fs::path(argv[2])
                 : fs::temp_directory_path() / ("tervane-memory-" + std::to_string(::getpid()) + ".kml");

    const double startMiB = PeakResidentMiB();
    std::string reply = bench::GenerateMarkListReply(marks);
    const double replyMiB = PeakResidentMiB();
    if (argc > 4 && std::string(argv[3]) == "--save-reply")
        std::ofstream(argv[4], std::ios::binary).write(reply.data(), static_cast<std::streamsize>(reply.size()));

    const std::string extension = path.extension().string();
    ZipArchiveWriter archiver;
    DocumentOutput output{ParseOutputFormat(extension.empty() ? "kml" : extension.substr(1)).value_or(
                              OutputFormat::Kml),
                          TERVANE_ICON_DIR, &archiver};
    auto parsed = ReadMarkList(reply, "H-A-0");
    MarkDocumentReport report;
    std::string error;
    if (WriteMarkDocument(path, parsed.records, "H-A-0", "https://marks.example.org", nullptr, report, error,
                           output) != DocumentOutcome::Written) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double peakMiB = PeakResidentMiB();
    const double documentMiB = static_cast<double>(fs::file_size(path)) / kBytesPerMiB;
    if (argc <= 2)
        fs::remove(path);

    std::printf("%s: ", FormatName(output.format).data());
    std::printf("marks %zu, reply %.1f MiB, document %.1f MiB\n", marks,
                static_cast<double>(reply.size()) / kBytesPerMiB, documentMiB);
    std::printf("peak RSS: at start %.1f MiB, with the reply %.1f MiB, after the document %.1f MiB\n",
                startMiB, replyMiB, peakMiB);
    std::printf("peak RSS / document size: %.2f\n", peakMiB / documentMiB);
    return 0;
}
