#include "kml/MarkDocument.h"

#include "kml/GpxWriter.h"
#include "kml/KmlWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <tuple>
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

// Takes `capacity` characters and then refuses, like a full disk.
class FullBuffer : public std::streambuf {
public:
    explicit FullBuffer(std::size_t capacity) : m_room(capacity) {}

protected:
    int_type overflow(int_type c) override
    {
        if (m_room == 0)
            return traits_type::eof();
        --m_room;
        return c;
    }

private:
    std::size_t m_room;
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

// Keeps what it is asked to pack and writes a stand-in for the archive.
class RecordingArchiver : public ArchiveWriter {
public:
    std::vector<std::pair<std::string, std::string>> entries;
    bool WriteArchive(const std::vector<ArchiveEntry>& given, std::ostream& out, std::string&) override
    {
        for (const ArchiveEntry& entry : given)
            entries.emplace_back(entry.name, std::string(entry.bytes));
        out << "archive";
        return static_cast<bool>(out);
    }
};

// The document written to a string; a refusal fails the calling test.
std::string Document(std::vector<MarkRecord>& records, MarkDocumentReport& report, std::string_view code = "",
                     DocumentProgress* progress = nullptr)
{
    std::ostringstream out;
    std::string error;
    EXPECT_TRUE(WriteMarkDocument(out, records, code, kService, progress, report, error)) << error;
    return out.str();
}

const std::string kSmith = MarkLine("AB1234", '2', '1', "N385323", "W0770213", "SMITH");

TEST(WriteMarkDocument, WholeDocumentsMatchTheGoldenFiles)
{
    struct Row {
        const char* name;
        std::string reply;
        const char* controlCode;
        const char* golden;
        OutputFormat format;
    };
    const std::string horizontal =
        "List of marks\r\n" + kSmith + "\r\n" +
        MarkLine("CD5678", ' ', '2', "N385400", "W0770100", "JONES & SONS <RM 2>  ") + "\r\n" +
        MarkLine("EF9012", 'B', '1', "N386023", "W0770100", "BAD MINUTES") + "\r\n" +
        MarkLine("GH3456", 'A', ' ', "N385200", "W0770300", "    ") + "\r\n";
    const Row rows[] = {
        {"one mark, both orders kept", kSmith + "\n", "H-A-0", "smith.kml", OutputFormat::Kml},
        {"HORIZONTAL with CR LF, escapes, a skipped and an unnamed mark", horizontal, "H-0-0",
         "horizontal.kml", OutputFormat::Kml},
        // The same marks skipped and in the same order; the vertical order, blanked for
        // HORIZONTAL, gives no type.
        {"the same as GPX waypoints", horizontal, "H-0-0", "horizontal.gpx", OutputFormat::Gpx},
    };
    Folder folder;
    for (const auto& row : rows) {
        auto reply = ReadMarkList(row.reply, row.controlCode);
        fs::path path = folder.Path() / row.golden;
        WriteFile(path, "an earlier document, replaced whole");
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(path, reply.records, row.controlCode, kService, nullptr, report, error,
                                      DocumentOutput{row.format}))
            << row.name << ": " << error;
        EXPECT_EQ(ReadFile(fs::path(TEST_DATA_DIR) / row.golden), ReadFile(path)) << row.name;
    }
    // Earlier files replaced, no temporary left.
    EXPECT_EQ((std::vector<std::string>{"horizontal.gpx", "horizontal.kml", "smith.kml"}), folder.Entries());
}

// The package holds the document first, then each icon it names under files/, read from
// the icon folder; the document is the plain one with only its icon links changed
// (smith-doc.kml beside smith.kml). The tool's test reopens a real package.
TEST(WriteMarkDocument, KmzPackageHoldsTheDocumentThenEveryIconItNames)
{
    const fs::path icons = fs::path(TERVANE_SOURCE_DIR) / "data" / "icons";
    const MarkListReply reply = ReadMarkList(kSmith + "\n", "H-A-0");
    RecordingArchiver archiver;
    std::ostringstream out;
    MarkDocumentReport report;
    std::string error;
    ASSERT_TRUE(WriteMarkDocument(out, reply.records, "H-A-0", kService, nullptr, report, error,
                                  DocumentOutput{OutputFormat::Kmz, icons, &archiver}))
        << error;
    EXPECT_EQ("archive", out.str());
    EXPECT_EQ(1u, report.placemarks);

    std::vector<std::string> names;
    for (const auto& [name, bytes] : archiver.entries)
        names.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"doc.kml", "files/shaded_dot.png", "files/star.png",
                                        "files/triangle.png", "files/square.png", "files/donut.png"}),
              names);
    ASSERT_EQ(6u, archiver.entries.size());
    EXPECT_EQ(ReadFile(fs::path(TEST_DATA_DIR) / "smith-doc.kml"), archiver.entries[0].second);
    EXPECT_EQ(ReadFile(icons / "triangle.png"), archiver.entries[3].second);
}

// A package that cannot be made is a failed write like any other: the earlier file
// stays and nothing is left beside it.
TEST(WriteMarkDocument, KmzWithoutItsIconsKeepsTheEarlierFile)
{
    Folder folder;
    const fs::path path = folder.Path() / "marks.kmz";
    WriteFile(path, "earlier package");
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
    RecordingArchiver archiver;
    MarkDocumentReport report;
    std::string error;
    const fs::path icons = folder.Path() / "no-icons";
    EXPECT_FALSE(WriteMarkDocument(path, records, "", kService, nullptr, report, error,
                                   DocumentOutput{OutputFormat::Kmz, icons, &archiver}));
    EXPECT_EQ("Could not write the KMZ file " + path.string() + ": Could not read the icon " +
                  (icons / "shaded_dot.png").string() + ": No such file or directory",
              error);
    EXPECT_TRUE(archiver.entries.empty());
    EXPECT_EQ("earlier package", ReadFile(path));
    EXPECT_EQ(std::vector<std::string>{"marks.kmz"}, folder.Entries());
}

// The GPX bounds are the camera's extent: hemispheres applied, marks across the
// antimeridian kept together (the minimum longitude then the larger number).
TEST(WriteMarkDocument, GpxBoundsAreTheExtentOfTheMarksThatParse)
{
    struct Row {
        const char* name;
        std::vector<MarkRecord> records;
        const char* bounds;
    };
    // clang-format off
    const Row rows[] = {
        {"two marks west and north", {Record("N", "385323", "W", "0770213"), Record("N", "390000", "W", "0780000")},
         R"(<bounds minlat="38.8897222222222" minlon="-78" maxlat="39" maxlon="-77.0369444444444"/>)"},
        {"south and east", {Record("S", "100000", "E", "0100000"), Record("S", "200000", "E", "0200000")},
         R"(<bounds minlat="-20" minlon="10" maxlat="-10" maxlon="20"/>)"},
        {"both sides of the antimeridian", {Record("N", "000000", "E", "1790000"), Record("N", "010000", "W", "1790000")},
         R"(<bounds minlat="0" minlon="179" maxlat="1" maxlon="-179"/>)"},
        {"no mark parses: no bounds", {Record("N", "", "W", "0770213")}, "<metadata>\r\n  </metadata>"},
    };
    // clang-format on
    for (auto row : rows) {
        std::ostringstream out;
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(out, row.records, "", kService, nullptr, report, error,
                                      DocumentOutput{OutputFormat::Gpx}));
        EXPECT_NE(std::string::npos, out.str().find(row.bounds)) << row.name << "\n" << out.str();
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
    // clang-format off
    const Row rows[] = {
        {"one mark", {Record("N", "385323", "W", "0770213")}, "38.8897222222222", "-77.0369444444444"},
        {"south and east count as such", {Record("S", "100000", "E", "0100000"), Record("S", "200000", "E", "0200000")}, "-15", "15"},
        {"west longitudes past 180 wrap", {Record("N", "100000", "W", "1790000"), Record("N", "100000", "W", "1830000")}, "10", "179"},
        {"both sides of the antimeridian", {Record("N", "000000", "E", "1790000"), Record("N", "000000", "W", "1790000")}, "0", "-180"},
        {"a mark with a bad longitude takes no part", {Record("N", "385323", "W", "0770213"), Record("N", "100000", "W", "0776000")}, "38.8897222222222", "-77.0369444444444"},
        {"no mark parses: the old resting point", {Record("N", "", "W", "0770213"), Record("N", "386000", "W", "")}, "45", "-180"},
        {"no marks at all", {}, "45", "-180"},
    };
    // clang-format on
    for (auto row : rows) {
        MarkDocumentReport report;
        std::string document = Document(row.records, report);
        EXPECT_EQ(row.latitude, KmlNumber(report.centreLatitude)) << row.name;
        EXPECT_EQ(row.longitude, KmlNumber(report.centreLongitude)) << row.name;
        EXPECT_NE(std::string::npos, document.find(std::string("<longitude>") + row.longitude + "</"))
            << row.name;
    }
}

TEST(WriteMarkDocument, CameraAndPlacemarkAgreeOnASignedText)
{
    std::vector<MarkRecord> records{Record("N", "-385323", "W", "0770213")};
    MarkDocumentReport report;
    std::string document = Document(records, report);
    EXPECT_EQ("-38.8897222222222", KmlNumber(report.centreLatitude));
    EXPECT_NE(std::string::npos, document.find("<coordinates>-77.0369444444444,-38.8897222222222<"));
    EXPECT_EQ("385323", records[0].latitudeText);
}

TEST(WriteMarkDocument, ProgressCountsEveryMark)
{
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213"), Record("N", "bad", "W", "x"),
                                    Record("N", "385323", "W", "0770213")};
    RecordedProgress progress;
    MarkDocumentReport report;
    Document(records, report, "", &progress);
    EXPECT_EQ((std::vector<std::string>{"Start 4", "Advance 0", "Advance 1", "Advance 2", "Advance 3"}),
              progress.events);
}

TEST(WriteMarkDocument, SkippedMarksAreCountedWithTheFirstReason)
{
    // Latitude and longitude both refused, differently: the longitude's message counts.
    // horizontal.kml shows a refused latitude alone writes nothing.
    std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213"), Record("N", "38", "W", "0770260"),
                                    Record("N", "385323", "W", "0776013"), Record("N", "", "W", "")};
    MarkDocumentReport report;
    Document(records, report);
    EXPECT_EQ(1u, report.placemarks);
    EXPECT_EQ(3u, report.skipped);
    EXPECT_EQ("<*** Invalid seconds input (60) ***>", report.firstSkipMessage);
    EXPECT_EQ("3 marks were skipped because their position could not be read. The first: "
              "<*** Invalid seconds input (60) ***>",
              SkippedMarksMessage(report));

    report.skipped = 1;
    EXPECT_EQ(
        "1 mark was skipped because its position could not be read: <*** Invalid seconds input (60) ***>",
        SkippedMarksMessage(report));
    report.skipped = 0;
    EXPECT_EQ("", SkippedMarksMessage(report));
}

TEST(WriteMarkDocument, VerticalOrderBlankedForHorizontalOnly)
{
    using Row = std::tuple<const char*, const char*, const char*>; // code, vertical order, style
    for (const auto& [code, vertical, style] :
         {Row{"H-0-0", "", "#BlkSqr"}, Row{"H-A-0", "2", "#RedSqr"}, Row{"", "2", "#RedSqr"}}) {
        std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
        records[0].verticalOrder = "2";
        MarkDocumentReport report;
        EXPECT_NE(std::string::npos, Document(records, report, code).find(style)) << code;
        EXPECT_EQ(vertical, records[0].verticalOrder) << code;
    }
}

TEST(WriteMarkDocument, StreamFailureAnywhereEndsTheDocument)
{
    const std::vector<MarkRecord> marks(2, Record("N", "385323", "W", "0770213"));
    auto records = marks;
    MarkDocumentReport report;
    const std::string whole = Document(records, report);
    // In the head, the camera, the second placemark and the closing lines.
    for (std::size_t capacity :
         {std::size_t{100}, whole.find("<LookAt") + 10, whole.rfind("<Placemark>") + 10, whole.size() - 3}) {
        records = marks;
        FullBuffer full(capacity);
        std::ostream out(&full);
        std::string error;
        EXPECT_FALSE(WriteMarkDocument(out, records, "", kService, nullptr, report, error)) << capacity;
        EXPECT_NE("", error) << capacity;
    }
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

// The temporary file beside the document has a short name of its own: a document name
// as long as the folder allows (a long project identifier) used to fail with "File name
// too long". While the document is written, its temporary path is published for a
// signal handler, and withdrawn once the document is in place.
TEST(WriteMarkDocument, LongestNamesAreWrittenTheTemporaryIsPublishedMeanwhile)
{
    class TemporarySeen : public DocumentProgress {
    public:
        void Start(std::size_t) override { Look(); }
        void Advance(std::size_t) override { Look(); }
        void Look()
        {
            const char* path = TemporaryDocumentPath();
            if (path && seen.empty())
                seen = path;
        }
        std::string seen;
    };
    Folder folder;
    for (const std::size_t length : {std::size_t{244}, std::size_t{255}}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'L') + ".kml";
        std::vector<MarkRecord> records{Record("N", "385323", "W", "0770213")};
        TemporarySeen progress;
        MarkDocumentReport report;
        std::string error;
        EXPECT_TRUE(WriteMarkDocument(folder.Path() / name, records, "H-A-0", kService, &progress, report, error))
            << error;
        EXPECT_EQ(std::vector<std::string>{name}, folder.Entries());
        EXPECT_EQ(folder.Path(), fs::path(progress.seen).parent_path());
        EXPECT_EQ(nullptr, TemporaryDocumentPath());
        fs::remove(folder.Path() / name);
    }
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
        MarkLine("CD5678", 'S', ' ', "S120000", "E1300000", "O'NEIL \"BM\"") + "\n" +
        MarkLine("EF9012", ' ', '&', "N100000", "E1900000", "FAR EAST") + "\n";
    for (OutputFormat format : {OutputFormat::Kml, OutputFormat::Gpx}) {
        auto parsed = ReadMarkList(reply, "");
        fs::path path = folder.Path() / ("escaped" + std::string(FormatExtension(format)));
        MarkDocumentReport report;
        std::string error;
        ASSERT_TRUE(WriteMarkDocument(path, parsed.records, "", kService, nullptr, report, error,
                                      DocumentOutput{format}))
            << error;
        EXPECT_EQ(3u, report.placemarks);
        EXPECT_EQ(0, XmlLint(path)) << ReadFile(path);
    }
    // The GPX file's structure: three waypoints in the GPX 1.1 namespace, each with a
    // name, and every longitude in the range the GPX schema allows (190 E is -170).
    const fs::path gpx = folder.Path() / "escaped.gpx";
    auto query = [&](const std::string& xpath) {
        std::string command = "xmllint --xpath '" + xpath + "' '" + gpx.string() + "' 2>&1";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                output += buffer;
            ::pclose(pipe);
        }
        while (!output.empty() && output.back() == '\n')
            output.pop_back();
        return output;
    };
    EXPECT_EQ("3",
              query("count(/*[local-name()=\"gpx\" and namespace-uri()=\"http://www.topografix.com/GPX/1/1\"]"
                    "/*[local-name()=\"wpt\"]/*[local-name()=\"name\"])"));
    EXPECT_EQ("-170", query("string(//*[local-name()=\"wpt\"][3]/@lon)"));
    EXPECT_EQ("Vertical order &", query("string(//*[local-name()=\"wpt\"][3]/*[local-name()=\"type\"])"));
}

} // namespace
} // namespace tervane
