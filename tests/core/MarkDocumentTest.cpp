#include "kml/MarkDocument.h"

#include "ReplyLines.h"
#include "kml/KmlWriter.h"

#include <gtest/gtest.h>

#include <tuple>

#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::MarkLine;
using testing::Folder;
using testing::ReadFile;
using testing::WriteFile;

constexpr std::string_view kService = "http://marks.example.org";
const std::string kSmith = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\n";

// Keeps what it is asked to pack and writes a stand-in for the archive.
struct RecordingArchiver : ArchiveWriter {
    std::vector<std::pair<std::string, std::string>> entries;
    bool WriteArchive(const std::vector<ArchiveEntry>& given, std::ostream& out, DocumentProgress*,
                      std::string&) override
    {
        for (const ArchiveEntry& entry : given) {
            std::string bytes(entry.bytes);
            if (entry.stream) {
                bytes.resize(entry.size);
                entry.stream->seekg(0);
                entry.stream->read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
            entries.emplace_back(entry.name, bytes);
        }
        return static_cast<bool>(out << "archive");
    }
};

// One mark line per latitude/longitude pair, in the reply's columns.
std::string Reply(std::initializer_list<std::pair<const char*, const char*>> positions)
{
    std::string reply;
    for (const auto& [latitude, longitude] : positions)
        reply += MarkLine("AB1234", latitude, longitude, "M") + "\n";
    return reply;
}

// The document written to a string; a refusal fails the calling test.
std::string Document(const std::string& reply, MarkDocumentReport& report, const DocumentOutput& output = {},
                     std::string_view code = "")
{
    const MarkListReply read = ReadMarkList(reply, code);
    std::ostringstream out;
    std::string error;
    EXPECT_EQ(DocumentOutcome::Written,
              WriteMarkDocument(out, read.records, code, kService, nullptr, report, error, output))
        << error;
    return out.str();
}

// The KMZ package holds its document first (the plain one with only its icon links
// changed), then each icon it names under files/, read from the icon folder.
TEST(WriteMarkDocument, WholeDocumentsMatchTheGoldenFiles)
{
    // HORIZONTAL: CR LF, escapes, a skipped mark, an unnamed one, a vertical order that
    // gives no style or waypoint type.
    const std::string horizontal =
        "List of marks\r\n" + MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\r\n" +
        MarkLine("CD5678", "N385400", "W0770100", "JONES & SONS <RM 2>  ", ' ', '2') + "\r\n" +
        MarkLine("EF9012", "N386023", "W0770100", "BAD MINUTES", 'B') + "\r\n" +
        MarkLine("GH3456", "N385200", "W0770300", "    ", 'A', ' ') + "\r\n";
    const fs::path icons = fs::path(TERVANE_SOURCE_DIR) / "data" / "icons";
    RecordingArchiver archiver;
    const std::tuple<std::string, const char*, const char*, OutputFormat> rows[] = {
        {kSmith, "H-A-0", "smith.kml", OutputFormat::Kml},
        {kSmith, "H-A-0", "smith-doc.kml", OutputFormat::Kmz},
        {horizontal, "H-0-0", "horizontal.kml", OutputFormat::Kml},
        {horizontal, "H-0-0", "horizontal.gpx", OutputFormat::Gpx},
        {horizontal, "H-0-0", "horizontal.geojson", OutputFormat::GeoJson},
        {horizontal, "H-0-0", "horizontal.csv", OutputFormat::Csv},
    };
    MarkDocumentReport report;
    for (const auto& [reply, controlCode, golden, format] : rows) {
        std::string written = Document(reply, report, {format, icons, &archiver}, controlCode);
        if (format == OutputFormat::Kmz && !archiver.entries.empty())
            written = archiver.entries[0].second;
        EXPECT_EQ(ReadFile(fs::path(TEST_DATA_DIR) / golden), written) << golden;
    }
    std::vector<std::string> names;
    for (const auto& [name, bytes] : archiver.entries)
        names.push_back(name);
    ASSERT_EQ((std::vector<std::string>{"doc.kml", "files/shaded_dot.png", "files/star.png",
                                        "files/triangle.png", "files/square.png", "files/donut.png"}),
              names);
    EXPECT_EQ(ReadFile(icons / "triangle.png"), archiver.entries[3].second);
    EXPECT_EQ(
        "1 mark was skipped because its position could not be read: <*** Invalid minutes input (60) ***>",
        SkippedMarksMessage(report));
    // Only HORIZONTAL blanks the vertical order: other types style such a mark by it.
    const std::string vertical = MarkLine("CD5678", "N385400", "W0770100", "X", ' ', '2') + "\n";
    EXPECT_NE(std::string::npos, Document(vertical, report, {}, "H-A-0").find("<styleUrl>#RedSqr<"));
}

// A document replaces the earlier file of its name only when whole: a failed write leaves
// the earlier file and nothing beside it. The temporary file has a short name of its own, so
// a name as long as the folder allows (a long project identifier) no longer fails with "File
// name too long"; its path, published meanwhile for a signal handler, is withdrawn after.
// Every row runs under a 64 KiB file-size limit, which makes the 2,000-mark document fail
// with EFBIG as a full disk would.
TEST(WriteMarkDocument, ReplacesTheEarlierFileOnlyWhenWhole)
{
    // blocked: a folder of that name is in the way of the rename
    // said: % stands for the path; empty: written
    const std::tuple<std::string, bool, std::size_t, OutputFormat, std::string> rows[] = {
        {std::string(251, 'L') + ".kml", false, 1, OutputFormat::Kml, ""},
        {"missing/marks.kml", false, 1, OutputFormat::Kml,
         "Could not create the KML file %: No such file or directory"},
        {"blocked.kml", true, 1, OutputFormat::Kml, "Could not write the KML file %: Is a directory"},
        {"marks.kml", false, 2000, OutputFormat::Kml, "Could not write the KML file %: File too large"},
        {"marks.kmz", false, 1, OutputFormat::Kmz,
         "Could not write the KMZ file %: Could not read the icon /no-icons/shaded_dot.png: No such file or "
         "directory"},
    };
    const std::string golden = ReadFile(fs::path(TEST_DATA_DIR) / "smith.kml");
    rlimit previous{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    for (const auto& [file, blocked, marks, format, said] : rows) {
        SCOPED_TRACE(file.size() > 20 ? std::to_string(file.size()) + " characters" : file);
        Folder folder;
        const fs::path path = folder.path / file;
        const bool earlier = fs::exists(path.parent_path());
        if (blocked)
            fs::create_directories(path / "inside");
        else if (earlier)
            WriteFile(path, "earlier");
        std::string reply;
        for (std::size_t i = 0; i < marks; ++i)
            reply += kSmith;
        const MarkListReply read = ReadMarkList(reply, "");
        RecordingArchiver archiver;
        MarkDocumentReport report;
        std::string error;
        EXPECT_EQ(said.empty() ? DocumentOutcome::Written : DocumentOutcome::Failed,
                  WriteMarkDocument(path, read.records, "", kService, nullptr, report, error,
                                    {format, "/no-icons", &archiver}));
        std::string message = said;
        EXPECT_EQ(message.empty() ? "" : message.replace(message.find('%'), 1, path.string()), error);
        EXPECT_EQ(said.empty() ? golden : earlier && !blocked ? "earlier" : "", ReadFile(path));
        EXPECT_EQ(earlier ? std::vector<std::string>{path.filename().string()} : std::vector<std::string>{},
                  folder.Entries());
        EXPECT_EQ(nullptr, TemporaryDocumentPath());
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
}

// The camera looks at the centre of the extent and the GPX bounds and GeoJSON bbox are the extent:
// hemispheres applied, longitudes past 180 W wrapped, marks across the antimeridian kept
// together (the minimum longitude then the larger number), marks that do not parse left out.
// The antimeridian is -180 in both documents, whichever side a mark names.
TEST(WriteMarkDocument, CameraAndBoundsFollowTheExtentOfTheMarksThatParse)
{
    // waypoint: a GPX waypoint's start, or "" where the bounds say enough
    // bbox: GeoJSON's: west, south, east, north
    using Text = const char*;
    const std::tuple<Text, std::string, Text, Text, Text, Text, Text> rows[] = {
        {"south and east", Reply({{"S100000", "E0100000"}, {"S200000", "E0200000"}}), "-15", "15",
         R"(<bounds minlat="-20" minlon="10" maxlat="-10" maxlon="20"/>)", "", "[10, -20, 20, -10]"},
        {"west past 180 wraps", Reply({{"N100000", "W1790000"}, {"N100000", "W1830000"}}), "10", "179",
         R"(<bounds minlat="10" minlon="177" maxlat="10" maxlon="-179"/>)", R"(<wpt lat="10" lon="177">)",
         "[177, 10, -179, 10]"},
        {"both sides of the antimeridian", Reply({{"N000000", "E1790000"}, {"N010000", "W1790000"}}), "0.5",
         "-180", R"(<bounds minlat="0" minlon="179" maxlat="1" maxlon="-179"/>)", "", "[179, 0, -179, 1]"},
        {"on the antimeridian, east or west", Reply({{"N100000", "E1800000"}, {"N100000", "W1800000"}}), "10",
         "-180", R"(<bounds minlat="10" minlon="-180" maxlat="10" maxlon="-180"/>)", R"(<wpt lat="10" lon="-180">)",
         "[-180, 10, -180, 10]"},
        {"lower-case hemispheres are north and east", Reply({{"s100000", "w0100000"}}), "10", "10",
         R"(<bounds minlat="10" minlon="10" maxlat="10" maxlon="10"/>)", "", "[10, 10, 10, 10]"},
        {"no mark parses: no bounds", Reply({{"N386000", "W0770213"}}), "45", "-180",
         "<metadata>\r\n  </metadata>", "", "{\r\n  \"type\": \"FeatureCollection\",\r\n  \"features\": []"},
    };
    for (const auto& [name, reply, latitude, longitude, bounds, waypoint, bbox] : rows) {
        MarkDocumentReport report;
        const std::string kml = Document(reply, report);
        EXPECT_EQ(latitude, KmlNumber(report.centreLatitude)) << name;
        EXPECT_NE(std::string::npos, kml.find(std::string("<longitude>") + longitude + "</")) << name;
        const std::string gpx = Document(reply, report, {OutputFormat::Gpx});
        EXPECT_NE(std::string::npos, gpx.find(bounds)) << name << "\n" << gpx;
        EXPECT_EQ(std::string::npos, gpx.find(R"(lon="180")")) << name;
        EXPECT_NE(std::string::npos, gpx.find(waypoint)) << name << "\n" << gpx;
        const std::string json = Document(reply, report, {OutputFormat::GeoJson});
        EXPECT_NE(std::string::npos, json.find(bbox)) << name << "\n" << json;
    }
}

// Reply text in the formats outside XML: repaired as in the KML (control characters but
// tab dropped, a Latin-1 byte taken as such, spaces trimmed), then escaped for JSON, and
// quoted for CSV where needed, with what a spreadsheet takes for a formula defused.
TEST(WriteMarkDocument, ReplyTextIsRepairedAndEscapedInEveryTextFormat)
{
    const char* const rows[][3] = {
        {"SAY \"HI\" \\ X  \r", R"("SAY \"HI\" \\ X")", R"("SAY ""HI"" \ X")"},
        {"CAF\xC9\x01 \xE2\x82\xAC", "\"CAF\xC3\x89 \xE2\x82\xAC\"", "CAF\xC3\x89 \xE2\x82\xAC"},
        {"A\tB, C", R"("A\u0009B, C")", "\"A\tB, C\""},
        {" =1+2", R"("=1+2")", "'=1+2"},
        {"-1,@A", R"("-1,@A")", R"("'-1,@A")"},
        {"@SUM(A1)\x7F", "\"@SUM(A1)\x7F\"", "'@SUM(A1)\x7F"},
        {"A-1 +B", R"("A-1 +B")", "A-1 +B"},
    };
    for (const auto& [designation, json, csv] : rows) {
        MarkDocumentReport report;
        const std::string reply = MarkLine("AB1234", "N385323", "W0770213", designation) + "\n";
        EXPECT_NE(std::string::npos, Document(reply, report, {OutputFormat::GeoJson})
                                         .find(std::string("\"designation\": ") + json + ","))
            << json;
        EXPECT_NE(std::string::npos,
                  Document(reply, report, {OutputFormat::Csv}).find(std::string("\r\nAB1234,") + csv + ",38."))
            << csv;
    }
}

// The format's extension takes the place of the request's ".kml" and nothing else: dots in
// the stem stay, and an empty project identifier's file keeps its one extension.
TEST(DocumentPathFor, ReplacesOnlyTheLastExtension)
{
    const std::tuple<const char*, OutputFormat, const char*> rows[] = {
        {"out/VA_Fairfax_H-0-0.kml", OutputFormat::Kmz, "out/VA_Fairfax_H-0-0.kmz"},
        {"out/N38_W077_RADIUS-2.5MI_H-G.kml", OutputFormat::Gpx, "out/N38_W077_RADIUS-2.5MI_H-G.gpx"},
        {"out/.kml", OutputFormat::Kml, "out/.kml"},
        {"out/.kml", OutputFormat::Kmz, "out/.kmz"},
        {".kml", OutputFormat::Gpx, ".gpx"},
    };
    for (const auto& [kmlPath, format, path] : rows)
        EXPECT_EQ(fs::path(path), DocumentPathFor(kmlPath, format)) << kmlPath;
}

TEST(WriteMarkDocument, SkippedMarksAreCountedWithTheFirstReason)
{
    // Latitude and longitude both refused, differently: the longitude's message counts.
    MarkDocumentReport report;
    Document(Reply({{"N38    ", "W0770260"}, {"N385323", "W0770213"}, {"N385323", "W0776013"}}), report);
    EXPECT_EQ(1u, report.placemarks);
    EXPECT_EQ("2 marks were skipped because their position could not be read. The first: "
              "<*** Invalid seconds input (60) ***>",
              SkippedMarksMessage(report));
}

} // namespace
} // namespace tervane
