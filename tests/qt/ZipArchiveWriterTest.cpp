// The KMZ package through the real zip adapter: the document streamed into the archive
// from a scratch file, the packing shown as a step of its own, and a packing stopped
// half-way leaving nothing behind.

#include "ReplyLines.h"
#include "kml/MarkDocument.h"
#include "kml/StyleTable.h"
#include "adapters/ZipArchiveWriter.h"

#include <gtest/gtest.h>

#include <tuple>

#include <zip.h>

#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

// Records the steps and the packing's progress, and is cancelled once the packing
// reaches `stopAt` of kPackingSteps, as a cancelled run's progress is.
struct SteppedProgress final : DocumentProgress {
    std::size_t stopAt = kPackingSteps + 1;
    std::vector<std::string> steps;
    std::vector<std::size_t> packed;
    void Start(std::size_t) override {}
    void Advance(std::size_t value) override
    {
        if (!steps.empty())
            packed.push_back(value);
    }
    void NextStep(std::string_view info) override { steps.emplace_back(info); }
    bool Cancelled() const override { return !packed.empty() && packed.back() >= stopAt; }
};

// An entry of a zip archive as libzip reads it after checking the archive; empty when
// the archive or the entry cannot be read.
std::string ZipEntry(const fs::path& path, zip_uint64_t index, std::string& name)
{
    std::string bytes;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
    zip_stat_t stat;
    if (archive && zip_stat_index(archive, index, 0, &stat) == 0) {
        name = stat.name;
        if (zip_file_t* file = zip_fopen_index(archive, index, 0)) {
            bytes.resize(stat.size);
            if (zip_fread(file, bytes.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
                bytes.clear();
            zip_fclose(file);
        }
    }
    if (archive)
        zip_close(archive);
    return bytes;
}

TEST(ZipArchiveWriter, PacksTheStreamedDocumentAsAStepThatMovesAndStops)
{
    const testing::Folder scratch;
    const fs::path& folder = scratch.path;
    std::string reply;
    for (int i = 0; i < 20000; ++i)
        reply += testing::MarkLine("AB" + std::to_string(1000 + i % 9000), "N385323", "W0770213", "SMITH") + "\n";
    const MarkListReply marks = ReadMarkList(reply, "H-A-0");
    ZipArchiveWriter archiver;
    const fs::path icons = fs::path(TERVANE_SOURCE_DIR) / "data" / "icons";
    MarkDocumentReport report;
    std::string error;

    // The KML document with its icon links pointing inside the package is what doc.kml holds.
    ASSERT_EQ(DocumentOutcome::Written,
              WriteMarkDocument(folder / "plain.kml", marks.records, "H-A-0", "http://marks.example.org",
                                nullptr, report, error));
    std::string expected = testing::ReadFile(folder / "plain.kml");
    for (std::size_t at = expected.find(kIconBaseUrl); at != std::string::npos; at = expected.find(kIconBaseUrl))
        expected.replace(at, kIconBaseUrl.size(), kKmzIconFolder);
    fs::remove(folder / "plain.kml");

    const std::tuple<const char*, std::size_t> rows[] = {{"packed whole", kPackingSteps + 1},
                                                         {"stopped half-way", kPackingSteps / 2}};
    for (const auto& [packing, stopAt] : rows) {
        SCOPED_TRACE(packing);
        SteppedProgress progress;
        progress.stopAt = stopAt;
        const fs::path kmz = folder / "marks.kmz";
        const bool whole = stopAt > kPackingSteps;
        EXPECT_EQ(whole ? DocumentOutcome::Written : DocumentOutcome::Cancelled,
                  WriteMarkDocument(kmz, marks.records, "H-A-0", "http://marks.example.org", &progress, report,
                                    error, {OutputFormat::Kmz, icons, &archiver}));
        EXPECT_EQ("", error);
        EXPECT_EQ(nullptr, TemporaryDocumentPath());
        if (whole) {
            std::string name;
            EXPECT_TRUE(ZipEntry(kmz, 0, name) == expected);
            EXPECT_EQ("doc.kml", name);
            EXPECT_EQ(testing::ReadFile(icons / "donut.png"), ZipEntry(kmz, 5, name));
            EXPECT_EQ("files/donut.png", name);
            EXPECT_EQ(kPackingSteps, progress.packed.back());
        }
        EXPECT_EQ(std::vector<std::string>{std::string(kInfoPacking)}, progress.steps);
        // The bar moves while the package is packed, not only at its ends.
        EXPECT_GT(progress.packed.size(), 10u);
        EXPECT_TRUE(std::is_sorted(progress.packed.begin(), progress.packed.end()));
        EXPECT_EQ(whole ? std::vector<std::string>{"marks.kmz"} : std::vector<std::string>{}, scratch.Entries());
        fs::remove(kmz);
    }
}

} // namespace
} // namespace tervane
