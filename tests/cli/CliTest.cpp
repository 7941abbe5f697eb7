// The command-line tool as a user meets it: the built executable, run with arguments,
// its output, its exit status and the files it leaves.

#include "CliProcess.h"
#include "ReplyLines.h"

#include "SampleMarks.h"
#include "SampleService.h"

#include "kml/MarkDocument.h"
#include "marks/MarkList.h"
#include "retrieval/ServiceAddress.h"

#include <gtest/gtest.h>

#include <zip.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <thread>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::MarkLine;
using testing::ReadFile;
using testing::RunCli;

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

bool AnyKmlUnder(const fs::path& dir)
{
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().extension() == ".kml")
            return true;
    return false;
}

// The marks the sample service gives for a Fairfax county query and its companion.
std::size_t SampleMarksFor(const std::string& code, const std::string& companion)
{
    auto reply = [](const std::string& c) {
        return sample::AnswerMarkList({{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", c}}).body;
    };
    return ReadMarkList(reply(code) + reply(companion), code).records.size();
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("tervane-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the tool in the test's folder, with the catalogue beside the program.
    CliResult Run(std::vector<std::string> args, std::string input = {})
    {
        return RunCli(
            {.args = std::move(args), .workingDir = m_dir, .input = std::move(input), .environment = m_environment});
    }

    // A county query against a sample service that asks for a sign-in, answered on a
    // terminal as "alice" with `password`; a non-zero `signal` follows the password.
    CliResult SignInOnTerminal(const std::string& password, int signal = 0)
    {
        sample::SampleService service("alice", "secret");
        const int port = service.Bind(0);
        if (!service.ServeInBackground()) {
            ADD_FAILURE() << "the sample service did not start";
            return {};
        }
        return RunCli({.args = {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service",
                                "http://127.0.0.1:" + std::to_string(port)},
                       .workingDir = m_dir,
                       .terminal = true,
                       .dialogue = {{"User name: ", "alice\n"}, {"Password: ", password}},
                       .signalAfterDialogue = signal});
    }

    fs::path m_dir;
    std::vector<std::string> m_environment;
};

TEST_F(CliTest, DryRunPrintsTheRequestsAndTheFileOfEachQuery)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string expected; // with <dir> for the test's folder
    };
    const std::string host = "http://host/cgi-bin/get_mark_list.prl";
    const Row rows[] = {
        {"county, with its GPS companion",
         {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL"},
         "primary: " + host +
             "?1=COUNTY&2=VA&3=059&4=H-0-0\n"
             "companion: " +
             host +
             "?1=COUNTY&2=VA&3=059&4=H-G-0\n"
             "kml: <dir>/VA_Fairfax_H-0-0.kml\n"},
        {"radius: letters turned into capitals as the window's fields do",
         {"--state", "VA", "--county", "Fairfax", "--lat", "n385323", "--lon", "w0770213", "--radius", "5",
          "--type", "gps"},
         "primary: " + host +
             "?1=RADIUS&2=N385323&3=W0770213&4=5&5=H-G\n"
             "kml: <dir>/N385323_W0770213_RADIUS-5MI_H-G.kml\n"},
        {"project, no type needed",
         {"--state", "VA", "--county", "Fairfax", "--project", "GPS1234"},
         "primary: " + host +
             "?1=PROJECT&2=GPS1234&3=N&4=X-0-0\n"
             "kml: <dir>/GPS1234.kml\n"},
        {"values after '=', a relative output folder",
         {"--state=VA", "--county=Fairfax", "--type=TIDAL", "--out-dir", "maps/../out"},
         "primary: " + host +
             "?1=COUNTY&2=VA&3=059&4=TID-0\n"
             "kml: <dir>/out/VA_Fairfax_TID-0.kml\n"},
        {"another format: the file keeps its stem, dots included, and takes the format's extension",
         {"--state", "VA", "--county", "Fairfax", "--lat", "N385323", "--lon", "W0770213", "--radius", "2.5",
          "--type", "GPS", "--format", "kmz"},
         "primary: " + host +
             "?1=RADIUS&2=N385323&3=W0770213&4=2.5&5=H-G\n"
             "kmz: <dir>/N385323_W0770213_RADIUS-2.5MI_H-G.kmz\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--service", "http://host/", "--dry-run"});

        const CliResult result = Run(args);

        std::string expected = row.expected;
        for (std::size_t at; (at = expected.find("<dir>")) != std::string::npos;)
            expected.replace(at, 5, m_dir.string());
        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ(expected, result.out);
        EXPECT_EQ("", result.err);
    }
    EXPECT_FALSE(AnyKmlUnder(m_dir));
}

TEST_F(CliTest, ServiceAddressComesFromOptionThenEnvironmentThenSetting)
{
    const std::vector<std::string> query{"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--dry-run"};
    auto primaryHost = [&](std::vector<std::string> extra) {
        extra.insert(extra.begin(), query.begin(), query.end());
        const CliResult result = Run(extra);
        return result.status != 0 ? "exit " + std::to_string(result.status) + ": " + result.err
                                  : result.out.substr(0, result.out.find("/cgi-bin"));
    };

    EXPECT_EQ("exit 1: " + std::string(kMsgNoServiceAddress) + "\n", primaryHost({}));
    WriteFile(m_dir / "home" / ".config" / "Tervane" / "Tervane.conf", "[Service]\nBaseUrl=http://from-setting\n");
    EXPECT_EQ("primary: http://from-setting", primaryHost({}));
    m_environment = {"TERVANE_SERVICE_URL=http://from-environment:8080"};
    EXPECT_EQ("primary: http://from-environment:8080", primaryHost({}));
    EXPECT_EQ("primary: http://from-option", primaryHost({"--service", "http://from-option"}));
    EXPECT_EQ("exit 1: ", primaryHost({"--service", "ftp://host/path"}).substr(0, 8));
}

// One failure of the checks and two of the reply: the window's message, exit status 1.
TEST_F(CliTest, FailuresPrintTheWindowsMessageAndWriteNothing)
{
    const std::string marks = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\r\n";
    struct Row {
        const char* name;
        std::string state;
        std::string reply; // on standard input
        std::string shown;
        std::vector<std::string> signIn = {};
    };
    WriteFile(m_dir / "password", "secret\n");
    fs::permissions(m_dir / "password", fs::perms::owner_read | fs::perms::owner_write);
    const std::vector<std::string> signIn{"--user", "alice", "--password-file", (m_dir / "password").string()};
    const Row rows[] = {
        {"no state", "", marks, "State must be selected first!"},
        {"the service's input error", "VA", "INPUT ERROR: County code 999 unknown\n" + marks,
         "INPUT ERROR: County code 999 unknown"},
        // A title change, a screen clear and a clipboard write used to reach the terminal.
        {"an input error carrying terminal sequences", "VA",
         "INPUT ERROR: \x1b]0;owned\x07" "County\x1b[2J\x1b]52;c;aGk=\x1b\\ unknown\n",
         "INPUT ERROR: \\x1b]0;owned\\x07County\\x1b[2J\\x1b]52;c;aGk=\\x1b\\ unknown"},
        {"an empty reply", "VA", "", "Request timeout.\r\nNo response received."},
        // The saved reply is handed over whole, yet a refusal is served again after the sign-in.
        {"a saved refusal page, read again after the sign-in", "VA", "<h1>Unauthorized</h1>\n" + marks,
         "Internet access failed", signIn},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args{"--state=" + row.state, "--county", "Fairfax", "--type", "GPS", "--service",
                                      "http://host", "--reply", "-"};
        args.insert(args.end(), row.signIn.begin(), row.signIn.end());
        const CliResult result = Run(args, row.reply);

        EXPECT_EQ(1, result.status);
        EXPECT_EQ(row.shown + "\n", result.err);
        EXPECT_EQ("", result.out);
    }
    EXPECT_FALSE(AnyKmlUnder(m_dir));

    const CliResult noCatalogue = Run({"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service",
                                       "http://host", "--catalogue", (m_dir / "nowhere.dat").string()});
    EXPECT_EQ(1, noCatalogue.status);
    EXPECT_NE(std::string::npos, noCatalogue.err.find("nowhere.dat")) << noCatalogue.err;
}

TEST_F(CliTest, UsageErrorsExitWithTwo)
{
    WriteFile(m_dir / "password", "secret\n");
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string said;
    };
    const Row rows[] = {
        {"nothing asked", {"--type", "GPS"}, "no query given"},
        {"unknown option", {"--state", "VA", "--colour", "red"}, "unknown option '--colour'"},
        {"stray argument", {"--state", "VA", "Fairfax"}, "unexpected argument 'Fairfax'"},
        {"value missing at the end", {"--state"}, "--state needs a value"},
        {"value missing before the next option", {"--state", "--county", "Fairfax"}, "--state needs a value"},
        {"option twice", {"--state", "VA", "--state", "MD"}, "--state given twice"},
        {"two queries", {"--state", "VA", "--lat", "N385323", "--project", "GPS1234"}, "one query"},
        {"a decimal latitude the window's field refuses", {"--state", "VA", "--lat", "N38.5"}, "--lat"},
        {"a radius with letters", {"--state", "VA", "--radius", "5mi"}, "--radius"},
        {"a project that would leave the output folder",
         {"--state", "VA", "--project", "../../x"},
         "--project"},
        {"unknown type", {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTALS"}, "HORIZONTALS"},
        {"password file without user", {"--state", "VA", "--password-file", "password"}, "--user"},
        {"unreadable password file",
         {"--state", "VA", "--user", "alice", "--password-file", "nowhere"},
         "nowhere"},
        {"unreadable reply file",
         {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--reply", "nowhere"},
         "nowhere"},
        {"open with dry run", {"--state", "VA", "--dry-run", "--open"}, "--open"},
        {"unknown format", {"--state", "VA", "--county", "Fairfax", "--format", "KML"}, "--format: 'KML'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--service", "http://host"});

        const CliResult result = Run(args);

        EXPECT_EQ(2, result.status);
        EXPECT_NE(std::string::npos, result.err.find(row.said)) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("usage: tervane-cli")) << result.err;
        EXPECT_EQ("", result.out);
    }
}

// A device or a huge file used to be read whole, growing the tool by gigabytes.
TEST_F(CliTest, LocalFilesThatAreNoRegularFileOrTooLargeAreRefused)
{
    WriteFile(m_dir / "password", "secret\n");
    fs::permissions(m_dir / "password", fs::perms::owner_read | fs::perms::owner_write);
    // Sparse: as large as they say, without filling the disk.
    const struct {
        const char* name;
        std::uintmax_t size;
    } large[] = {{"reply.txt", std::uintmax_t{256} * 1024 * 1024 + 1},
                 {"password-large", 4 * 1024 + 1},
                 {"Country-large.dat", std::uintmax_t{64} * 1024 * 1024 + 1}};
    for (const auto& file : large) {
        WriteFile(m_dir / file.name, "");
        fs::resize_file(m_dir / file.name, file.size);
    }
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string said;
    };
    const Row rows[] = {
        {"reply from a device", {"--reply", "/dev/zero"}, "--reply: /dev/zero is not a regular file"},
        {"reply over 256 MiB", {"--reply", "reply.txt"}, "--reply: reply.txt holds more than 256 MiB"},
        {"password from a device", {"--user", "alice", "--password-file", "/dev/zero"},
         "--password-file: /dev/zero is not a regular file"},
        {"password file over 4 KiB", {"--user", "alice", "--password-file", "password-large"},
         "--password-file: password-large holds more than 4 KiB"},
        {"catalogue from a device", {"--catalogue", "/dev/zero"}, "/dev/zero is not a regular file"},
        {"catalogue over 64 MiB", {"--catalogue", "Country-large.dat"}, "Country-large.dat is larger than 64 MiB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args{"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service",
                                      "http://127.0.0.1:1"};
        args.insert(args.end(), row.args.begin(), row.args.end());

        const CliResult result = Run(args);

        EXPECT_EQ(1, result.status) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(row.said)) << result.err;
        EXPECT_EQ("", result.out);
    }
    EXPECT_FALSE(AnyKmlUnder(m_dir));
}

TEST_F(CliTest, HelpAndVersionExitWithZero)
{
    const CliResult help = Run({"--state", "VA", "--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("--password-file FILE"));
    EXPECT_NE(std::string::npos, help.out.find("WISCONSIN HT MOD")); // the type list is complete

    const CliResult version = Run({"--version"});
    EXPECT_EQ(0, version.status);
    EXPECT_EQ("tervane-cli ", version.out.substr(0, 12));
}

// The reply file, from a file or from standard input, ends in the same document the
// core writes for the same reply, skipped marks included.
TEST_F(CliTest, SavedReplyGivesTheDocumentOfTheRun)
{
    const std::string reply = MarkLine("AB1234", "N385323", "W0770213", "SMITH & SONS") + "\r\n" +
                              MarkLine("AB1235", "N\x1b[2J**", "W0770213", "BAD ANGLE") + "\r\n" +
                              MarkLine("GP0001", "S385400", "E0770300", "GPS ONE") + "\r\n";
    WriteFile(m_dir / "reply.txt", reply);
    MarkDocumentReport report;
    std::string error;
    fs::create_directories(m_dir / "out");
    const MarkListReply marks = ReadMarkList(reply, "H-0-0");
    ASSERT_TRUE(WriteMarkDocument(m_dir / "expected.kml", marks.records, "H-0-0", "http://marks.test", nullptr, report,
                                  error))
        << error;
    ASSERT_EQ(1u, report.skipped);
    // The skipped mark's angle text is quoted; its ESC must not reach the terminal.
    std::string shown = SkippedMarksMessage(report);
    ASSERT_NE(std::string::npos, shown.find("\x1b[2J")) << shown;
    shown.replace(shown.find('\x1b'), 1, "\\x1b");

    for (const std::string& source : {(m_dir / "reply.txt").string(), std::string("-")}) {
        SCOPED_TRACE(source);
        const fs::path written = m_dir / "out" / "VA_Fairfax_H-0-0.kml";
        fs::remove(written);

        const CliResult result = Run({"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL", "--service",
                                      "http://marks.test", "--out-dir", "out", "--reply", source},
                                     source == "-" ? reply : "");

        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ(written.string() + "\n", result.out);
        EXPECT_EQ(shown + "\n", result.err);
        EXPECT_EQ(ReadFile(m_dir / "expected.kml"), ReadFile(written));
    }
    // Nothing remembered: the window's settings are left alone.
    EXPECT_FALSE(fs::exists(m_dir / "home" / ".config" / "Tervane"));
}

struct ShellResult {
    int status = -1;
    std::string out; // standard output and standard error together
};

// Runs a reader through the shell, bounded to a minute.
ShellResult Shell(const std::string& command)
{
    ShellResult result;
    FILE* pipe = ::popen(("timeout 60 " + command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
        result.out.append(buffer, count);
    result.status = ::pclose(pipe);
    return result;
}

bool Installed(const std::string& program)
{
    return Shell("sh -c 'command -v " + program + "'").status == 0;
}

// The entries of a zip archive in their order, each with its content.
std::vector<std::pair<std::string, std::string>> ZipEntries(const fs::path& path)
{
    std::vector<std::pair<std::string, std::string>> entries;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        ADD_FAILURE() << "libzip cannot open " << path << ": error " << error;
        return entries;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, i, 0, &stat);
        std::string content(static_cast<std::size_t>(stat.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, i, 0);
        EXPECT_NE(nullptr, file) << stat.name;
        if (file) {
            EXPECT_EQ(static_cast<zip_int64_t>(stat.size), zip_fread(file, content.data(), stat.size))
                << stat.name;
            zip_fclose(file);
        }
        entries.emplace_back(stat.name, std::move(content));
    }
    zip_close(archive);
    return entries;
}

// A 40-mark reply (and one mark whose position cannot be read) as a KMZ package and as
// GPX waypoints, each read whole by readers that share no code with the writers.
TEST_F(CliTest, EachFormatIsReadWholeByIndependentReaders)
{
    constexpr std::size_t kMarks = 40;
    std::string reply = MarkLine("BAD001", "N386023", "W0770213", "BAD MINUTES") + "\n";
    for (std::size_t i = 1; i <= kMarks; ++i) {
        char pid[8];
        std::snprintf(pid, sizeof pid, "TV%04zu", i);
        reply += MarkLine(pid, "N38" + std::to_string(10 + i) + "00", "W077" + std::to_string(10 + i) + "30",
                          "MARK " + std::to_string(i) + " & SONS") +
                 "\n";
    }
    WriteFile(m_dir / "reply.txt", reply);
    auto write = [&](const char* format) {
        const CliResult result =
            Run({"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL", "--service",
                 "http://marks.test", "--reply", "reply.txt", "--format", format});
        const fs::path written = m_dir / (std::string("VA_Fairfax_H-0-0.") + format);
        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ(written.string() + "\n", result.out);
        EXPECT_EQ(0u, result.err.find("1 mark was skipped")) << result.err;
        return written;
    };
    const bool gdal = Installed("ogrinfo");
    if (!gdal)
        std::cerr << "ogrinfo is not installed (gdal-bin): GDAL's counts are not checked\n";

    // The package: doc.kml first, every icon it names inside, none named elsewhere.
    const fs::path kmz = write("kmz");
    const auto entries = ZipEntries(kmz);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ("doc.kml", entries[0].first);
    const std::string& document = entries[0].second;
    EXPECT_EQ(kMarks, testing::CountOf(document, "<Placemark>"));
    EXPECT_EQ(19u, testing::CountOf(document, "<href>files/"));
    for (std::size_t at = document.find("<href>"); at != std::string::npos;
         at = document.find("<href>", at + 1)) {
        const std::string href = document.substr(at + 6, document.find("</href>", at) - at - 6);
        EXPECT_TRUE(std::any_of(entries.begin() + 1, entries.end(), [&](const auto& e) {
            return e.first == href;
        })) << href;
    }
    if (gdal) {
        const ShellResult info = Shell("ogrinfo -ro -al -so '" + kmz.string() + "'");
        EXPECT_NE(std::string::npos, info.out.find("using driver `LIBKML' successful")) << info.out;
        EXPECT_NE(std::string::npos, info.out.find("Feature Count: 40\n")) << info.out;
    }

    // The waypoints: well-formed, named by PID, in reply order.
    const fs::path gpx = write("gpx");
    EXPECT_EQ(0, Shell("xmllint --noout '" + gpx.string() + "'").status);
    if (Installed("gpsbabel")) {
        // A header, then one line per waypoint: number, latitude, longitude, "name", ...
        const ShellResult csv = Shell("gpsbabel -i gpx -f '" + gpx.string() + "' -o unicsv -F -");
        EXPECT_EQ(0, csv.status) << csv.out;
        EXPECT_EQ(kMarks + 1, testing::CountOf(csv.out, "\n")) << csv.out;
        std::size_t at = 0;
        for (std::size_t i = 1; i <= kMarks && at != std::string::npos; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, ",\"TV%04zu\",", i);
            at = csv.out.find(name, at);
            EXPECT_NE(std::string::npos, at) << name << " in order\n" << csv.out;
        }
    } else {
        std::cerr << "gpsbabel is not installed: its reading is not checked\n";
    }
    if (gdal) {
        const ShellResult info = Shell("ogrinfo -ro -so '" + gpx.string() + "' waypoints");
        EXPECT_NE(std::string::npos, info.out.find("using driver `GPX' successful")) << info.out;
        EXPECT_NE(std::string::npos, info.out.find("Feature Count: 40\n")) << info.out;
        const ShellResult first = Shell("ogrinfo -ro -q -fid 0 '" + gpx.string() + "' waypoints");
        EXPECT_NE(std::string::npos, first.out.find("name (String) = TV0001")) << first.out;
    }
}

TEST_F(CliTest, FetchesFromTheServiceWithAndWithoutSignIn)
{
    WriteFile(m_dir / "good-password", "secret\r\nignored second line\n");
    WriteFile(m_dir / "bad-password", "Secret\n");
    WriteFile(m_dir / "shared-password", "secret\n");
    for (const char* name : {"good-password", "bad-password"})
        fs::permissions(m_dir / name, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(m_dir / "shared-password", fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::others_read);
    struct Row {
        const char* name;
        bool signInNeeded;
        bool serving;
        std::vector<std::string> signIn;
        bool written;
        std::string err;
    };
    const Row rows[] = {
        {"open service", false, true, {}, true, ""},
        {"sign-in from the command line", true, true, {"--user", "alice", "--password-file", "good-password"}, true,
         ""},
        // Used to be read silently.
        {"a password file others can read", true, true, {"--user", "alice", "--password-file", "shared-password"},
         true,
         "tervane-cli: warning: others can read the password file shared-password; 'chmod 600' makes it yours "
         "alone.\n"},
        {"sign-in needed, no terminal to ask on", true, true, {}, false, "Internet access failed\n"},
        {"wrong password", true, true, {"--user", "alice", "--password-file", "bad-password"}, false,
         "Internet access failed\n"},
        {"nothing listens", false, false, {}, false, "Could not reach the mark-list service: Connection refused\n"},
    };
    const fs::path written = m_dir / "VA_Fairfax_H-0-0.kml";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sample::SampleService service(row.signInNeeded ? "alice" : "", row.signInNeeded ? "secret" : "");
        const int port = service.Bind(0);
        ASSERT_TRUE(service.ServeInBackground());
        if (!row.serving)
            service.Stop();
        fs::remove(written);
        std::vector<std::string> args{"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL",
                                      "--service", "http://127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), row.signIn.begin(), row.signIn.end());

        const CliResult result = Run(args);

        EXPECT_EQ(row.written ? 0 : 1, result.status) << result.err;
        EXPECT_EQ(row.err, result.err);
        EXPECT_EQ(row.written ? written.string() + "\n" : "", result.out);
        EXPECT_EQ(row.written, fs::exists(written));
        if (row.written) {
            EXPECT_EQ(SampleMarksFor("H-0-0", "H-G-0"), testing::CountOf(ReadFile(written), "<Placemark>"))
                << "the primary and the companion marks";
        }
    }
    EXPECT_FALSE(fs::exists(m_dir / "home" / ".config" / "Tervane"));
}

// On a terminal the tool asks for the sign-in itself, without echoing the password, and
// shows how far the document has got.
TEST_F(CliTest, TerminalAsksForSignInAndShowsProgress)
{
    const CliResult result = SignInOnTerminal("secret\n");

    const fs::path written = m_dir / "VA_Fairfax_H-G.kml";
    const std::string marks = std::to_string(testing::CountOf(ReadFile(written), "<Placemark>"));
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ(written.string() + "\n", result.out);
    EXPECT_NE(std::string::npos, result.err.find("alice")) << result.err; // the name is echoed
    EXPECT_EQ(std::string::npos, result.err.find("secret")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("\rCreating .kml file... " + marks + "/" + marks)) << result.err;
    EXPECT_EQ('\n', result.err.back()); // the progress line is ended
}

// Ctrl+C while the echo is off used to leave the user's terminal without echo.
TEST_F(CliTest, InterruptedPasswordPromptGivesTheEchoBack)
{
    const CliResult result = SignInOnTerminal("", SIGINT);

    EXPECT_EQ(-1, result.status) << result.err; // ended by the signal
    EXPECT_TRUE(result.terminalEchoes);
    EXPECT_FALSE(fs::exists(m_dir / "VA_Fairfax_H-G.kml"));
}

// Ctrl+C, a hang-up or a kill while a large document is written used to leave its hidden
// temporary file (hundreds of megabytes) behind.
TEST_F(CliTest, EndedByASignalWhileWritingLeavesNoTemporaryFile)
{
    std::string reply;
    for (int i = 0; i < 200000; ++i)
        reply += MarkLine("AB" + std::to_string(100000 + i), "N385323", "W0770213", "MARK") + "\n";
    WriteFile(m_dir / "reply.txt", reply);
    reply = {};
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    const auto writing = [&out] {
        for (const auto& entry : fs::directory_iterator(out))
            if (entry.path().filename().string().front() == '.')
                return true;
        return false;
    };
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const CliResult result = RunCli({.args = {"--state", "VA", "--county", "Fairfax", "--type", "GPS",
                                                  "--service", "http://host", "--reply", "reply.txt", "--out-dir",
                                                  "out"},
                                         .workingDir = m_dir,
                                         .signalWhen = writing,
                                         .signal = signal});
        EXPECT_EQ(-1, result.status) << "ended by the signal: " << result.err;
        EXPECT_TRUE(fs::is_empty(out)) << fs::directory_iterator(out)->path();
    }
}

TEST_F(CliTest, OpenHandsTheDocumentToXdgOpen)
{
    WriteFile(m_dir / "reply.txt", MarkLine("GP0001", "N385400", "W0770300", "ONE") + "\n");
    const std::string opened = (m_dir / "opened.txt").string();
    WriteFile(m_dir / "bin" / "xdg-open",
              "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + ".tmp'\nmv '" + opened + ".tmp' '" + opened + "'\n");
    fs::permissions(m_dir / "bin" / "xdg-open", fs::perms::owner_all);
    m_environment = {"PATH=" + (m_dir / "bin").string() + ":/usr/bin:/bin"};

    const CliResult result = Run({"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service",
                                  "http://host", "--reply", "reply.txt", "--open"});

    EXPECT_EQ(0, result.status) << result.err;
    for (int i = 0; i < 200 && !fs::exists(opened); ++i) // the viewer starts detached
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ((m_dir / "VA_Fairfax_H-G.kml").string(), ReadFile(opened));
}

} // namespace
} // namespace tervane
