// The command-line tool as a user meets it: the built executable, run with arguments,
// its output, its exit status and the files it leaves.

#include "CliProcess.h"

#include "kml/MarkDocument.h"
#include "retrieval/MarkList.h"
#include "retrieval/MarkListRequest.h"
#include "retrieval/ServiceAddress.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#endif
#include <httplib.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::CliResult;
using testing::CliRun;
using testing::RunCli;

// A mark line in the reply's columns: pid 7-12, orders 14 and 16, latitude 30-36,
// longitude 38-45, name from 52.
std::string MarkLine(const std::string& pid, const std::string& lat, const std::string& lon,
                     const std::string& name)
{
    std::string line(51, ' ');
    line.replace(3, 1, ".");
    line.replace(6, 6, pid);
    line.replace(13, 1, "2");
    line.replace(15, 1, "1");
    line.replace(29, 7, lat);
    line.replace(37, 8, lon);
    return line + name;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<fs::path> KmlFilesUnder(const fs::path& dir)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().extension() == ".kml")
            found.push_back(entry.path());
    return found;
}

const std::string kPath = "/cgi-bin/get_mark_list.prl";

// A mark-list service on 127.0.0.1 in the test process, answering by the control code
// of the request and, when asked to, only to a Basic sign-in of alice:secret.
class MarkService {
public:
    MarkService()
    {
        m_server.Get(kPath, [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            m_targets.push_back(req.target);
            if (requireSignIn && req.get_header_value("Authorization") != "Basic YWxpY2U6c2VjcmV0") {
                res.status = 401;
                res.set_header("WWW-Authenticate", "Basic realm=\"marks\"");
                res.set_content("401 Unauthorized", "text/plain");
                return;
            }
            const std::string code = req.has_param("5") ? req.get_param_value("5") : req.get_param_value("4");
            const auto it = replies.find(code);
            res.set_content(it == replies.end() ? "" : it->second, "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~MarkService()
    {
        m_server.stop();
        m_thread.join();
    }
    MarkService(const MarkService&) = delete;
    MarkService& operator=(const MarkService&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> Targets()
    {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

    std::map<std::string, std::string> replies; // by control code; set before a run
    bool requireSignIn = false;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_targets;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("tervane-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
        m_catalogue = m_dir / "regions.dat";
        WriteFile(m_catalogue, "RA  US US\r\n"
                               "RB  VA Virginia\r\n"
                               "RC  059 Fairfax\r\n"
                               "RC  153 Prince William\r\n"
                               "RC  600 Fairfax city\r\n");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the tool in the test's folder with the small catalogue.
    CliResult Run(std::vector<std::string> args, std::string input = {})
    {
        args.push_back("--catalogue");
        args.push_back(m_catalogue.string());
        CliRun run;
        run.args = std::move(args);
        run.workingDir = m_dir;
        run.input = std::move(input);
        run.environment = m_environment;
        return RunCli(run);
    }

    fs::path m_dir;
    fs::path m_catalogue;
    std::vector<std::string> m_environment;
};

TEST_F(CliTest, DryRunPrintsTheRequestsAndTheFileOfEachQuery)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string expected; // with <dir> for the test's folder
    };
    const std::string host = "http://host" + kPath;
    const Row rows[] = {
        {"county, with its GPS companion",
         {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL"},
         "primary: " + host + "?1=COUNTY&2=VA&3=059&4=H-0-0\n"
         "companion: " + host + "?1=COUNTY&2=VA&3=059&4=H-G-0\n"
         "kml: <dir>/VA_Fairfax_H-0-0.kml\n"},
        {"radius: letters turned into capitals as the window's fields do",
         {"--state", "VA", "--county", "Fairfax", "--lat", "n385323", "--lon", "w0770213", "--radius", "5",
          "--type", "gps"},
         "primary: " + host + "?1=RADIUS&2=N385323&3=W0770213&4=5&5=H-G\n"
         "kml: <dir>/N385323_W0770213_RADIUS-5MI_H-G.kml\n"},
        {"project, no type needed",
         {"--state", "VA", "--county", "Fairfax", "--project", "GPS1234"},
         "primary: " + host + "?1=PROJECT&2=GPS1234&3=N&4=X-0-0\n"
         "kml: <dir>/GPS1234.kml\n"},
        {"a county name with a blank keeps it in the file name",
         {"--state", "VA", "--county", "Prince William", "--type", "VERTICAL"},
         "primary: " + host + "?1=COUNTY&2=VA&3=153&4=V-0-0\n"
         "kml: <dir>/VA_Prince William_V-0-0.kml\n"},
        {"values after '=', a relative output folder",
         {"--state=VA", "--county=Fairfax", "--type=TIDAL", "--out-dir", "maps/../out"},
         "primary: " + host + "?1=COUNTY&2=VA&3=059&4=TID-0\n"
         "kml: <dir>/out/VA_Fairfax_TID-0.kml\n"},
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
    EXPECT_TRUE(KmlFilesUnder(m_dir).empty());
}

TEST_F(CliTest, ServiceAddressComesFromOptionThenEnvironmentThenSetting)
{
    const std::vector<std::string> query{"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--dry-run"};
    auto primaryHost = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = query;
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult result = Run(args);
        if (result.status != 0)
            return "exit " + std::to_string(result.status) + ": " + result.err;
        return result.out.substr(0, result.out.find(kPath));
    };

    const CliResult none = Run(query);
    EXPECT_EQ(1, none.status);
    EXPECT_EQ(std::string(kMsgNoServiceAddress) + "\n", none.err);
    EXPECT_EQ("", none.out);

    WriteFile(m_dir / "home" / ".config" / "Tervane" / "Tervane.conf",
              "[Service]\nBaseUrl=http://from-setting\n");
    EXPECT_EQ("primary: http://from-setting", primaryHost({}));
    m_environment = {"TERVANE_SERVICE_URL=http://from-environment:8080"};
    EXPECT_EQ("primary: http://from-environment:8080", primaryHost({}));
    EXPECT_EQ("primary: http://from-option", primaryHost({"--service", "http://from-option"}));

    const std::string bad = primaryHost({"--service", "ftp://host/path"});
    EXPECT_EQ("exit 1: ", bad.substr(0, 8));
}

TEST_F(CliTest, BundledCatalogueBesideTheProgramIsFound)
{
    CliRun run;
    run.args = {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service", "http://host", "--dry-run"};
    run.workingDir = m_dir;

    const CliResult result = RunCli(run);

    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("?1=COUNTY&2=VA&3=059&4=H-G\n")) << result.out;
}

TEST_F(CliTest, FailuresPrintTheWindowsMessageAndWriteNothing)
{
    const std::string marks = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\r\n";
    WriteFile(m_dir / "marks.txt", marks);
    WriteFile(m_dir / "input-error.txt", "INPUT ERROR: County code 999 unknown\n" + marks);
    WriteFile(m_dir / "no-marks.txt", "Nothing matched your request.\r\n");
    WriteFile(m_dir / "empty.txt", "");

    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string reply; // file name of the saved reply
        std::string shown;
    };
    const Row rows[] = {
        {"no state, whatever the query", {"--county", "Fairfax", "--project", "GPS1234"}, "marks.txt",
         "State must be selected first!"},
        {"a US state without a county", {"--state", "VA", "--type", "HORIZONTAL"}, "marks.txt",
         "County must be selected!"},
        {"a county the catalogue lacks", {"--state", "VA", "--county", "Fairfux", "--type", "GPS"}, "marks.txt",
         "Invalid fips code or code not found."},
        {"a county query without a type", {"--state", "VA", "--county", "Fairfax"}, "marks.txt",
         "Control type required!"},
        {"radius above 30",
         {"--state", "VA", "--county", "Fairfax", "--lat", "N385323", "--lon", "W0770213", "--radius", "30.01",
          "--type", "GPS"},
         "marks.txt", "Invalid radius!"},
        {"radius without a longitude",
         {"--state", "VA", "--county", "Fairfax", "--lat", "N385323", "--radius", "5", "--type", "GPS"},
         "marks.txt", "Latitude required!"},
        {"the service's input error", {"--state", "VA", "--county", "Fairfax", "--type", "GPS"},
         "input-error.txt", "INPUT ERROR: County code 999 unknown"},
        {"a reply without marks", {"--state", "VA", "--county", "Fairfax", "--type", "GPS"}, "no-marks.txt",
         "No marks found!"},
        {"an empty reply", {"--state", "VA", "--county", "Fairfax", "--type", "GPS"}, "empty.txt",
         "Request timeout.\r\nNo response received."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--service", "http://host", "--reply", (m_dir / row.reply).string()});

        const CliResult result = Run(args);

        EXPECT_EQ(1, result.status);
        EXPECT_EQ(row.shown + "\n", result.err);
        EXPECT_EQ("", result.out);
    }
    EXPECT_TRUE(KmlFilesUnder(m_dir).empty());

    CliRun missing;
    missing.args = {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service", "http://host",
                    "--catalogue", (m_dir / "nowhere.dat").string()};
    missing.workingDir = m_dir;
    const CliResult noCatalogue = RunCli(missing);
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
        {"a longitude with a sign", {"--state", "VA", "--lon", "-77"}, "--lon"},
        {"a radius with letters", {"--state", "VA", "--radius", "5mi"}, "--radius"},
        {"a project that would leave the output folder", {"--state", "VA", "--project", "../../x"}, "--project"},
        {"a project that would add a query key", {"--state", "VA", "--project", "A&5=B"}, "--project"},
        {"unknown type", {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTALS"}, "HORIZONTALS"},
        {"password file without user", {"--state", "VA", "--password-file", "password"}, "--user"},
        {"unreadable password file", {"--state", "VA", "--user", "alice", "--password-file", "nowhere"},
         "nowhere"},
        {"unreadable reply file", {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--reply", "nowhere"},
         "nowhere"},
        {"open with dry run", {"--state", "VA", "--dry-run", "--open"}, "--open"},
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
                              MarkLine("AB1235", "N386023", "W0770213", "BAD MINUTES") + "\r\n" +
                              MarkLine("GP0001", "S385400", "E0770300", "GPS ONE") + "\r\n";
    WriteFile(m_dir / "reply.txt", reply);

    std::vector<MarkRecord> records = ReadMarkList(reply, "H-0-0").records;
    MarkDocumentReport report;
    std::string error;
    fs::create_directories(m_dir / "expected");
    ASSERT_TRUE(WriteMarkDocument(m_dir / "expected" / "x.kml", records, "H-0-0", "http://marks.test", nullptr,
                                  report, error))
        << error;
    const std::string expected = ReadFile(m_dir / "expected" / "x.kml");
    ASSERT_EQ(1u, report.skipped);
    fs::create_directories(m_dir / "out");

    struct Row {
        const char* name;
        std::string replyArg;
        std::string input;
    };
    const Row rows[] = {{"from a file", (m_dir / "reply.txt").string(), ""}, {"from standard input", "-", reply}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(m_dir / "out" / "VA_Fairfax_H-0-0.kml");

        const CliResult result = Run({"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL", "--service",
                                      "http://marks.test", "--out-dir", "out", "--reply", row.replyArg},
                                     row.input);

        const fs::path written = m_dir / "out" / "VA_Fairfax_H-0-0.kml";
        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ(written.string() + "\n", result.out);
        EXPECT_EQ(SkippedMarksMessage(report) + "\n", result.err);
        EXPECT_EQ(expected, ReadFile(written));
    }
    // Nothing remembered: the window's settings are left alone.
    EXPECT_FALSE(fs::exists(m_dir / "home" / ".config" / "Tervane"));
}

TEST_F(CliTest, FetchesFromTheServiceWithAndWithoutSignIn)
{
    MarkService service;
    service.replies["H-0-0"] = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\n";
    service.replies["H-G-0"] = MarkLine("GP0001", "N385400", "W0770300", "GPS ONE") + "\n";
    WriteFile(m_dir / "good-password", "secret\r\nignored second line\n");
    WriteFile(m_dir / "bad-password", "Secret\n");
    const std::string query = "?1=COUNTY&2=VA&3=059&4=";

    struct Row {
        const char* name;
        bool requireSignIn;
        std::vector<std::string> signIn;
        int status;
        std::string err;
    };
    const Row rows[] = {
        {"open service", false, {}, 0, ""},
        {"sign-in from the command line", true, {"--user", "alice", "--password-file", "good-password"}, 0, ""},
        {"sign-in needed, no terminal to ask on", true, {}, 1, "Internet access failed\n"},
        {"wrong password", true, {"--user", "alice", "--password-file", "bad-password"}, 1,
         "Internet access failed\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        service.requireSignIn = row.requireSignIn;
        fs::remove(m_dir / "VA_Fairfax_H-0-0.kml");
        std::vector<std::string> args{"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL",
                                      "--service", service.Url()};
        args.insert(args.end(), row.signIn.begin(), row.signIn.end());

        const CliResult result = Run(args);

        EXPECT_EQ(row.status, result.status) << result.err;
        EXPECT_EQ(row.err, result.err);
        const fs::path written = m_dir / "VA_Fairfax_H-0-0.kml";
        EXPECT_EQ(row.status == 0, fs::exists(written));
        if (row.status == 0) {
            EXPECT_EQ(written.string() + "\n", result.out);
            const std::string document = ReadFile(written);
            EXPECT_NE(std::string::npos, document.find("<name>SMITH</name>"));
            EXPECT_NE(std::string::npos, document.find("<name>GPS ONE</name>"));
        }
    }
    const std::vector<std::string> targets = service.Targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(kPath + query + "H-0-0", targets.front());
    EXPECT_NE(targets.end(), std::find(targets.begin(), targets.end(), kPath + query + "H-G-0"));
    EXPECT_FALSE(fs::exists(m_dir / "home" / ".config" / "Tervane"));
}

TEST_F(CliTest, UnreachableServiceReportsTheTransfersReason)
{
    int port = 0;
    {
        MarkService closed; // bound, then gone: nothing listens there any more
        port = std::stoi(closed.Url().substr(closed.Url().rfind(':') + 1));
    }
    const CliResult result = Run({"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service",
                                  "http://127.0.0.1:" + std::to_string(port)});

    EXPECT_EQ(1, result.status);
    EXPECT_FALSE(result.err.empty());
    EXPECT_EQ("", result.out);
}

// On a terminal the tool asks for the sign-in itself, without echoing the password, and
// shows how far the document has got.
TEST_F(CliTest, TerminalAsksForSignInAndShowsProgress)
{
    MarkService service;
    service.requireSignIn = true;
    service.replies["H-G"] = MarkLine("GP0001", "N385400", "W0770300", "ONE") + "\n" +
                             MarkLine("GP0002", "N385401", "W0770301", "TWO") + "\n";

    CliRun run;
    run.args = {"--state", "VA", "--county", "Fairfax", "--type", "GPS", "--service", service.Url(),
                "--catalogue", m_catalogue.string()};
    run.workingDir = m_dir;
    run.terminal = true;
    run.dialogue = {{"User name: ", "alice\n"}, {"Password: ", "secret\n"}};

    const CliResult result = RunCli(run);

    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ((m_dir / "VA_Fairfax_H-G.kml").string() + "\n", result.out);
    EXPECT_NE(std::string::npos, result.err.find("alice")) << result.err; // the name is echoed
    EXPECT_EQ(std::string::npos, result.err.find("secret")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("\rCreating .kml file... 2/2")) << result.err;
    EXPECT_EQ('\n', result.err.back()); // the progress line is ended
    EXPECT_TRUE(fs::exists(m_dir / "VA_Fairfax_H-G.kml"));
}

TEST_F(CliTest, OpenHandsTheDocumentToXdgOpen)
{
    WriteFile(m_dir / "reply.txt", MarkLine("GP0001", "N385400", "W0770300", "ONE") + "\n");
    const fs::path opened = m_dir / "opened.txt";
    WriteFile(m_dir / "bin" / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.string() + ".tmp'\nmv '" +
                                              opened.string() + ".tmp' '" + opened.string() + "'\n");
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
