#include "kml/MarkDocument.h"

#include "kml/KmlWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kService = "http://marks.example.org";

std::string MarkLine(const std::string& pid, char horizontal, char vertical, const std::string& latitude,
                     const std::string& longitude, const std::string& designation)
{
    return "  1.  " + pid + " " + horizontal + " " + vertical + " GPS 19870101" + latitude + " " + longitude +
           " 1234 " + designation;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A fresh folder per test, removed afterwards.
class Folder {
public:
    Folder()
    {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() /
                 ("tervane-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~Folder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path m_path;
};

class FullBuffer : public std::streambuf {
public:
    explicit FullBuffer(std::size_t capacity) : m_capacity(capacity) {}

protected:
    int_type overflow(int_type c) override
    {
        if (m_taken >= m_capacity)
            return traits_type::eof();
        ++m_taken;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        auto count = std::min(n, static_cast<std::streamsize>(m_capacity - m_taken));
        m_taken += static_cast<std::size_t>(count);
        return count;
    }

private:
    std::size_t m_capacity;
    std::size_t m_taken = 0;
};

class RecordedProgress : public DocumentProgress {
public:
    std::vector<std::string> events;
    void Start(std::size_t maximum) override { events.push_back("Start " + std::to_string(maximum)); }
    void Advance(std::size_t value) override { events.push_back("Advance " + std::to_string(value)); }
};

MarkRecord Record(const char* latitudeHemisphere, const char* latitude, const char* longitudeHemisphere,
                  const char* longitude)
{
    MarkRecord record;
    record.pid = "AB1234";
    record.designation = "M";
    record.latitudeHemisphere = latitudeHemisphere;
    record.latitudeText = latitude;
    record.longitudeHemisphere = longitudeHemisphere;
    record.longitudeText = longitude;
    return record;
}

const std::string kSmith = MarkLine("AB1234", '2', '1', "N385323", "W0770213", "SMITH");

TEST(WriteMarkDocument, WholeDocumentsMatchTheGoldenFiles)
{
    struct Row {
        const char* name;
        std::string reply;
        const char* controlCode;
        const char* golden;
    };
    const Row rows[] = {
        {"one mark, both orders kept", kSmith + "\n", "H-A-0", "smith.kml"},
        {"HORIZONTAL with CR LF, escapes, a skipped and an unnamed mark",
         "List of marks\r\n" + kSmith + "\r\n" +
             MarkLine("CD5678", ' ', '2', "N385400", "W0770100", "JONES & SONS <RM 2>  ") + "\r\n" +
             MarkLine("EF9012", 'B', '1', "N386023", "W0770100", "BAD MINUTES") + "\r\n" +
             MarkLine("GH3456", 'A', ' ', "N385200", "W0770300", "    ") + "\r\n",
         "H-0-0", "horizontal.kml"},
    };
    Folder folder;
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.reply, row.controlCode);
        fs::path path = folder.Path() / row.golden;
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(path, reply.records, row.controlCode, kService, nullptr, report, error))
            << row.name << ": " << error;
        EXPECT_EQ(ReadFile(fs::path(TEST_DATA_DIR) / row.golden), ReadFile(path)) << row.name;
    }
}

TEST(WriteMarkDocument, CameraAtTheCentreOfTheMarksThatParse)
{
    struct Row {
        const char* name;
        std::vector<MarkRecord> records;
        const char* latitude;
        const char* longitude;
    };
    const Row rows[] = {
        {"one mark", {Record("N", "385323", "W", "0770213")}, "38.8897222222222", "-77.0369444444444"},
        {"west longitudes past 180 wrap",
         {Record("N", "100000", "W", "1790000"), Record("N", "100000", "W", "1830000")},
         "10",
         "179"},
        {"southern latitudes count as south",
         {Record("S", "385323", "W", "0770213")},
         "-38.8897222222222",
         "-77.0369444444444"},
        {"eastern longitudes count as east",
         {Record("N", "100000", "E", "0100000"), Record("N", "200000", "E", "0200000")},
         "15",
         "15"},
        {"both sides of the antimeridian",
         {Record("N", "000000", "E", "1790000"), Record("N", "000000", "W", "1790000")},
         "0",
         "-180"},
        {"a mark with a bad longitude takes no part",
         {Record("N", "385323", "W", "0770213"), Record("N", "100000", "W", "0776000")},
         "38.8897222222222",
         "-77.0369444444444"},
        {"no mark parses: the old resting point",
         {Record("N", "", "W", "0770213"), Record("N", "386000", "W", "")},
         "45",
         "-180"},
        {"no marks at all", {}, "45", "-180"},
    };
    for (auto row : rows) {
        std::ostringstream out;
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(out, row.records, "", kService, nullptr, report, error)) << row.name;
        EXPECT_EQ(row.latitude, KmlNumber(report.centreLatitude)) << row.name;
        EXPECT_EQ(row.longitude, KmlNumber(report.centreLongitude)) << row.name;
        EXPECT_NE(std::string::npos,
                  out.str().find(std::string("<longitude>") + row.longitude + "</longitude>"))
            << row.name;
    }
}

TEST(WriteMarkDocument, CameraAndPlacemarkAgreeOnASignedText)
{
    std::vector<MarkRecord> records{Record("N", "-385323", "W", "0770213")};
    std::ostringstream out;
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(out, records, "", kService, nullptr, report, error));
    EXPECT_EQ("-38.8897222222222", KmlNumber(report.centreLatitude));
    EXPECT_NE(std::string::npos, out.str().find("<coordinates>-77.0369444444444,-38.8897222222222<"));
    EXPECT_EQ("385323", records[0].latitudeText);
}

TEST(WriteMarkDocument, ProgressCountsEveryMark)
{
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213"), Record("N", "bad", "W", "x"),
                                    Record("N", "385323", "W", "0770213")};
    RecordedProgress progress;
    std::ostringstream out;
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(out, records, "", kService, &progress, report, error));
    EXPECT_EQ((std::vector<std::string>{"Start 4", "Advance 0", "Advance 1", "Advance 2", "Advance 3"}),
              progress.events);
}

TEST(WriteMarkDocument, SkippedMarksAreCountedWithTheFirstReason)
{
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213"),
                                    Record("N", "386023", "W", "0770213"),
                                    Record("N", "385323", "W", "0776013"), Record("N", "", "W", "")};
    std::ostringstream out;
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(out, records, "", kService, nullptr, report, error));
    EXPECT_EQ(1u, report.placemarks);
    EXPECT_EQ(3u, report.skipped);
    EXPECT_EQ("<*** Invalid minutes input (60) ***>", report.firstSkipMessage);
    EXPECT_EQ("3 marks were skipped because their position could not be read. The first: "
              "<*** Invalid minutes input (60) ***>",
              SkippedMarksMessage(report));

    report.skipped = 1;
    EXPECT_EQ(
        "1 mark was skipped because its position could not be read: <*** Invalid minutes input (60) ***>",
        SkippedMarksMessage(report));
    report.skipped = 0;
    EXPECT_EQ("", SkippedMarksMessage(report));
}

TEST(WriteMarkDocument, VerticalOrderBlankedForHorizontalOnly)
{
    struct Row {
        const char* code;
        const char* vertical;
        const char* style;
    };
    const Row rows[] = {{"H-0-0", "", "BlkSqr"}, {"H-A-0", "2", "RedSqr"}, {"", "2", "RedSqr"}};
    for (const auto& row : rows) {
        std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
        records[0].verticalOrder = "2";
        std::ostringstream out;
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(out, records, row.code, kService, nullptr, report, error));
        EXPECT_EQ(row.vertical, records[0].verticalOrder) << row.code;
        EXPECT_NE(std::string::npos, out.str().find(std::string("#") + row.style)) << row.code;
    }
}

TEST(WriteMarkDocument, StreamFailureAnywhereEndsTheDocument)
{
    std::vector<MarkRecord> marks{Record("N", "385323", "W", "0770213"),
                                  Record("N", "385323", "W", "0770213")};
    std::string whole;
    {
        auto records = marks;
        std::ostringstream out;
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(out, records, "", kService, nullptr, report, error));
        whole = out.str();
    }
    const std::size_t cameraAt = whole.find("<LookAt");
    const std::size_t secondPlacemarkAt = whole.rfind("<Placemark>");
    struct Row {
        const char* name;
        std::size_t capacity;
    };
    const Row rows[] = {
        {"in the head", 100},
        {"in the camera", cameraAt + 10},
        {"in the second placemark", secondPlacemarkAt + 10},
        {"in the closing lines", whole.size() - 3},
    };
    for (const auto& row : rows) {
        auto records = marks;
        FullBuffer full(row.capacity);
        std::ostream out(&full);
        MarkDocumentReport report;
        std::string error;
        EXPECT_FALSE(WriteMarkDocument(out, records, "", kService, nullptr, report, error)) << row.name;
        EXPECT_NE("", error) << row.name;
    }
}

TEST(WriteMarkDocument, FileReplacedOnlyWhenComplete)
{
    Folder folder;
    fs::path path = folder.Path() / "marks.kml";
    WriteFile(path, "earlier");
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(path, records, "", kService, nullptr, report, error)) << error;
    EXPECT_EQ(0u, ReadFile(path).find("<?xml"));
    EXPECT_EQ(std::vector<std::string>{"marks.kml"}, folder.Entries());
}

TEST(WriteMarkDocument, FailuresLeaveNoPartialFile)
{
    Folder folder;
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
    MarkDocumentReport report;
    std::string error;

    fs::path missing = folder.Path() / "no-such-folder" / "marks.kml";
    EXPECT_FALSE(WriteMarkDocument(missing, records, "", kService, nullptr, report, error));
    EXPECT_NE(std::string::npos, error.find(missing.string())) << error;

    // A folder in the way: the rename fails after the whole document was written.
    fs::path blocked = folder.Path() / "blocked.kml";
    fs::create_directories(blocked / "inside");
    EXPECT_FALSE(WriteMarkDocument(blocked, records, "", kService, nullptr, report, error));
    EXPECT_NE(std::string::npos, error.find(blocked.string())) << error;
    EXPECT_EQ(std::vector<std::string>{"blocked.kml"}, folder.Entries());
}

TEST(WriteMarkDocument, FullDiskKeepsTheEarlierFile)
{
    // A file-size limit makes the writes fail with EFBIG, as a full disk would.
    Folder folder;
    fs::path path = folder.Path() / "marks.kml";
    WriteFile(path, "earlier document");
    std::vector<MarkRecord> records(2000, Record("N", "385323", "W", "0770213"));

    rlimit previous{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    MarkDocumentReport report;
    std::string error;
    bool written = WriteMarkDocument(path, records, "", kService, nullptr, report, error);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_NE(std::string::npos, error.find(path.string())) << error;
    EXPECT_EQ("earlier document", ReadFile(path));
    EXPECT_EQ(std::vector<std::string>{"marks.kml"}, folder.Entries());
}

int XmlLint(const fs::path& path)
{
    return std::system(("xmllint --noout '" + path.string() + "' 2>/dev/null").c_str());
}

TEST(WriteMarkDocument, WellFormedForAnIndependentParser)
{
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint is not installed (libxml2-utils)";
    Folder folder;

    // The checker itself must refuse what the old writer produced for such a name.
    fs::path broken = folder.Path() / "broken.kml";
    WriteFile(broken, "<kml><name>A & B <1></name></kml>");
    ASSERT_NE(0, XmlLint(broken));

    std::string reply =
        MarkLine("A]]>&\"", '2', '1', "N385323", "W0770213", "SMITH & SONS <NO. 2> \x01\xC9TANG\r") + "\n" +
        MarkLine("CD5678", 'S', ' ', "S120000", "E1300000", "O'NEIL \"BM\"") + "\n";
    auto parsed = ReadMarkList(reply, "");
    fs::path path = folder.Path() / "escaped.kml";
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(path, parsed.records, "", kService, nullptr, report, error)) << error;
    EXPECT_EQ(2u, report.placemarks);
    EXPECT_EQ(0, XmlLint(path)) << ReadFile(path);
}

} // namespace
} // namespace tervane
