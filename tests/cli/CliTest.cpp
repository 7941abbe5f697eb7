// The command-line tool as a user meets it: the built executable, run with arguments,
// its output, its exit status and the files it leaves.

#include "ReplyLines.h"

#include "SampleMarks.h"
#include "SampleService.h"

#include "marks/MarkList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::CountOf;
using testing::MarkLine;
using testing::ReadFile;
using testing::WriteFile;

// A run of the built tervane-cli as a child process, in the test's folder (which also
// holds its HOME, "home" inside it) with the test's environment ("NAME=value", before PATH,
// HOME and LC_ALL=C). Every run is bounded: a child still alive after a minute is killed
// and reported with status -1.
struct CliRun {
    std::vector<std::string> args{};
    std::string input{}; // standard input
    // Standard input and standard error on a pseudo-terminal instead of files: each time
    // the terminal shows `first`, `second` is typed, in order; `signal` follows the last.
    // What the terminal shows, echo included, lands in CliResult::err.
    std::vector<std::pair<std::string, std::string>> dialogue{};
    // Standard output on the pseudo-terminal too (what it shows lands in CliResult::err).
    bool outputOnTerminal = false;
    // The largest file the child may write (ulimit -f), in bytes; 0 for no limit.
    rlim_t fileSizeLimit = 0;
    // Without a dialogue: `signal` is sent the first time `signalWhen` holds (asked every
    // few milliseconds while the child runs).
    std::function<bool()> signalWhen{};
    int signal = 0;
};

struct CliResult {
    int status = -1; // the exit status; -1 when ended by a signal or not started
    std::string out;
    std::string err;
    bool terminalEchoes = false; // with a dialogue: the terminal's echo once the child ended
};

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The GPS marks of Fairfax County, Virginia, then `more`.
std::vector<std::string> Gps(std::vector<std::string> more)
{
    more.insert(more.begin(), {"--state", "VA", "--county", "Fairfax", "--type", "GPS"});
    return more;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "home");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the tool in the test's folder, with the test's environment.
    CliResult Run(const CliRun& run)
    {
        std::vector<std::string> argv{TERVANE_CLI_PATH};
        argv.insert(argv.end(), run.args.begin(), run.args.end());
        // Nothing of the developer's own set-up (service address, settings) leaks in.
        std::vector<std::string> env = m_environment;
        const char* path = std::getenv("PATH");
        env.insert(env.end(), {std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
                               "HOME=" + (m_dir / "home").string(), "LC_ALL=C"});
        std::vector<char*> argvPointers = Pointers(argv);
        std::vector<char*> envPointers = Pointers(env);
        // Standard input, output and error are files beside the test's folder; with a
        // dialogue, standard input and error are a pseudo-terminal whose other side is ours.
        const std::string files = m_dir.string() + "-std";
        const std::string out = files + "out";
        const std::string err = files + "err";
        std::ofstream(files + "in", std::ios::binary) << run.input;
        const bool terminal = !run.dialogue.empty() || run.outputOnTerminal;
        const int ours = terminal ? posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        const std::string in =
            terminal && grantpt(ours) == 0 && unlockpt(ours) == 0 ? ptsname(ours) : files + "in";
        const pid_t pid = fork();
        if (pid == 0) { // no allocation from here on: other threads may have held the heap's lock
            const int input = open(in.c_str(), O_RDWR | O_NOCTTY);
            dup2(input, STDIN_FILENO);
            dup2(run.outputOnTerminal ? input : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                 STDOUT_FILENO);
            const rlimit fileSize{run.fileSizeLimit, run.fileSizeLimit};
            if (run.fileSizeLimit != 0)
                setrlimit(RLIMIT_FSIZE, &fileSize);
            dup2(terminal ? input : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            if (chdir(m_dir.c_str()) == 0)
                execve(argvPointers[0], argvPointers.data(), envPointers.data());
            _exit(127);
        }

        CliResult result;
        if (terminal)
            fcntl(ours, F_SETFL, O_NONBLOCK);
        char buffer[4096];
        const auto showTerminal = [&] {
            for (ssize_t n; terminal && (n = read(ours, buffer, sizeof buffer)) > 0;)
                result.err.append(buffer, static_cast<std::size_t>(n));
        };
        std::size_t step = 0;
        std::size_t shownFrom = 0; // terminal output before this offset answered earlier steps
        bool signalled = false;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
            showTerminal();
            const std::size_t at = step < run.dialogue.size()
                                       ? result.err.find(run.dialogue[step].first, shownFrom)
                                       : std::string::npos;
            if (at != std::string::npos) {
                const std::string& typed = run.dialogue[step].second;
                if (write(ours, typed.data(), typed.size()) < 0)
                    ADD_FAILURE() << "cannot type on the terminal";
                shownFrom = at + run.dialogue[step++].first.size();
            }
            if (!signalled && run.signal != 0 &&
                (run.signalWhen ? run.signalWhen() : step == run.dialogue.size()))
                signalled = kill(pid, run.signal) == 0;
            if (std::chrono::steady_clock::now() > deadline)
                kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (WIFEXITED(status) && pid > 0)
            result.status = WEXITSTATUS(status);
        result.out = ReadFile(out);
        if (terminal) {
            showTerminal();
            termios settings{};
            result.terminalEchoes = tcgetattr(ours, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
            close(ours);
        } else {
            result.err = ReadFile(err);
        }
        for (const char* name : {"in", "out", "err"})
            std::filesystem::remove(files + name);
        return result;
    }

    const fs::path m_dir =
        fs::temp_directory_path() /
        ("tervane-cli-" + std::to_string(::getpid()) +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::vector<std::string> m_environment;
};

// The service's address is the option's, else the environment's, else the window's setting.
TEST_F(CliTest, DryRunPrintsTheRequestsAndTheFileOfEachQuery)
{
    WriteFile(m_dir / "home" / ".config" / "Tervane" / "Tervane.conf",
              "[Service]\nBaseUrl=http://from-setting\n");
    const std::string get = "/cgi-bin/get_mark_list.prl?";
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string environment; // TERVANE_SERVICE_URL
        std::string expected;    // with <dir> for the test's folder
        bool terminal = false;   // standard output is a terminal
    } rows[] = {
        // clang-format off
        {"county, with its GPS companion; values after '=', a relative output folder",
         {"--state=VA", "--county=Fairfax", "--type", "HORIZONTAL", "--out-dir", "maps/../out", "--service",
          "http://host/"}, "http://from-environment",
         "primary: http://host" + get + "1=COUNTY&2=VA&3=059&4=H-0-0\ncompanion: http://host" + get +
         "1=COUNTY&2=VA&3=059&4=H-G-0\nkml: <dir>/out/VA_Fairfax_H-0-0.kml\n"},
        // The file keeps its stem, dots included, and takes the format's extension.
        {"radius: letters turned into capitals as the window's fields do; another format",
         {"--lat", "n385323", "--lon", "w0770213", "--radius", "2.5", "--type", "GPS", "--format", "kmz"},
         "http://from-environment:8080", "primary: http://from-environment:8080" + get +
         "1=RADIUS&2=N385323&3=W0770213&4=2.5&5=H-G\nkmz: <dir>/N385323_W0770213_RADIUS-2.5MI_H-G.kmz\n"},
        // Only the county query needs --state.
        {"project, no type needed", {"--project", "GPS1234"}, "",
         "primary: http://from-setting" + get + "1=PROJECT&2=GPS1234&3=N&4=X-0-0\nkml: <dir>/GPS1234.kml\n"},
        // A title change in the path used to reach the terminal; a script still reads the path.
        {"a folder holding terminal sequences, into a file as it is", {"--state", "VA", "--county", "Fairfax", "--project",
         "P1", "--out-dir", "o\x1b]0;owned\x07"}, "", "primary: http://from-setting" + get + "1=PROJECT&2=P1&3=N&4=X-0-0\n"
         "kml: <dir>/o\x1b]0;owned\x07/P1.kml\n"},
        {"the same on a terminal, shown", {"--state", "VA", "--county", "Fairfax", "--project", "P1", "--out-dir",
         "o\x1b]0;owned\x07"}, "",
         "primary: http://from-setting" + get + "1=PROJECT&2=P1&3=N&4=X-0-0\nkml: <dir>/o\\x1b]0;owned\\x07/P1.kml\n",
         true},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        args.push_back("--dry-run");
        m_environment = {"TERVANE_SERVICE_URL=" + row.environment};

        const CliResult result = Run({.args = args, .outputOnTerminal = row.terminal});

        std::string expected = row.expected;
        expected.replace(expected.find("<dir>"), 5, m_dir.string());
        EXPECT_EQ(0, result.status) << result.err;
        std::string shown = row.terminal ? result.err : result.out;
        std::erase(shown, '\r'); // the terminal's line ends
        EXPECT_EQ(expected, shown);
        EXPECT_EQ("", row.terminal ? result.out : result.err);
    }
    // Nothing written: HOME is all there is.
    EXPECT_EQ(1, std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
}

// Usage errors exit with 2 and the synopsis; failures of the reply and of the local files
// with 1 and the window's message. A device or a huge local file used to be read whole,
// growing the tool by gigabytes; a title change, a screen clear and a clipboard write in
// the service's message used to reach the terminal.
TEST_F(CliTest, RefusalsSayWhyAndWriteNothing)
{
    const std::string marks = MarkLine("AB1234", "N385323", "W0770213", "SMITH") + "\r\n";
    WriteFile(m_dir / "password", "secret\n");
    // Sparse: as large as they say, without filling the disk.
    for (const auto& [name, size] : {std::pair<const char*, std::uintmax_t>{"reply.txt", (256u << 20) + 1},
                                     {"password-large", (4u << 10) + 1},
                                     {"Country-large.dat", (64u << 20) + 1}}) {
        WriteFile(m_dir / name, "");
        fs::resize_file(m_dir / name, size);
    }
    ASSERT_EQ(0, mkfifo((m_dir / "fifo").c_str(), 0600)); // opening it would wait for a writer
    // Read only without --service: it used to hang the tool, or read as no address set.
    fs::create_directories(m_dir / "home" / ".config" / "Tervane");
    ASSERT_EQ(0, mkfifo((m_dir / "home" / ".config" / "Tervane" / "Tervane.conf").c_str(), 0600));
    const struct {
        const char* name;
        int status;
        std::vector<std::string> args;
        std::string said;
        std::string input = {};
        std::string service = "http://127.0.0.1:1";
        rlim_t fileSizeLimit = 0;
    } rows[] = {
        // clang-format off
        {"nothing asked", 2, {"--type", "GPS"}, "no query given"},
        {"unknown option", 2, {"--state", "VA", "--colour", "red"}, "unknown option '--colour'"},
        {"stray argument", 2, {"--state", "VA", "Fairfax"}, "unexpected argument 'Fairfax'"},
        {"value missing", 2, {"--state", "--county", "Fairfax"}, "--state needs a value"},
        {"option twice", 2, {"--state", "VA", "--state", "MD"}, "--state given twice"},
        {"two queries", 2, {"--state", "VA", "--lat", "N385323", "--project", "GPS1234"},
         "give one query: --lat/--lon/--radius or --project, not both"},
        {"a decimal latitude the window's field refuses", 2, {"--state", "VA", "--lat", "N38.5"},
         "--lat: 'N38.5' may hold digits, N and S only"},
        {"unknown type", 2, {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTALS"},
         "unknown control type 'HORIZONTALS'"},
        {"unknown format", 2, Gps({"--format", "KML"}), "--format: 'KML'"},
        {"password file without user", 2, {"--state", "VA", "--password-file", "password"}, "--user"},
        {"open with dry run", 2, {"--state", "VA", "--dry-run", "--open"}, "--open"},
        {"datasheets in a GPX file", 2, Gps({"--format", "gpx", "--datasheets"}), "--datasheets needs --format kmz"},
        {"unreadable reply file", 2, Gps({"--reply", "nowhere"}), "nowhere"},
        {"an input error carrying terminal sequences", 1, Gps({"--reply", "-"}),
         "INPUT ERROR: \\x1b]0;owned\\x07County\\x1b[2J\\x1b]52;c;aGk=\\x1b\\ unknown\n",
         "INPUT ERROR: \x1b]0;owned\x07" "County\x1b[2J\x1b]52;c;aGk=\x1b\\ unknown\n"},
        {"an empty reply", 1, Gps({"--reply", "-"}), "Request timeout.\r\nNo response received.\n"},
        // The saved reply is handed over whole, yet a refusal is served again after the sign-in.
        {"a saved refusal page, read again after the sign-in", 1, Gps({"--reply", "-", "--user", "alice",
         "--password-file", "password"}), "Internet access failed\n", "<h1>Unauthorized</h1>\n" + marks},
        {"no catalogue", 1, Gps({"--catalogue", "nowhere.dat"}), "nowhere.dat"},
        {"reply from a device", 1, Gps({"--reply", "/dev/zero"}), "--reply: /dev/zero is not a regular file"},
        {"reply from a FIFO", 1, Gps({"--reply", "fifo"}), "--reply: fifo is not a regular file"},
        {"reply over 256 MiB", 1, Gps({"--reply", "reply.txt"}), "reply.txt holds more than 256 MiB"},
        {"password from a device", 1, Gps({"--user", "alice", "--password-file", "/dev/zero"}),
         "--password-file: /dev/zero is not a regular file"},
        {"password file over 4 KiB", 1, Gps({"--user", "alice", "--password-file", "password-large"}),
         "--password-file: password-large holds more than 4 KiB"},
        {"catalogue from a device", 1, Gps({"--catalogue", "/dev/zero"}), "/dev/zero is not a regular file"},
        {"catalogue from a FIFO", 1, Gps({"--catalogue", "fifo"}), "fifo is not a regular file"},
        {"catalogue over 64 MiB", 1, Gps({"--catalogue", "Country-large.dat"}),
         "Country-large.dat is larger than 64 MiB"},
        {"a FIFO for the settings file", 1, Gps({}), "Tervane.conf could not be read: it is not a regular "
         "file. None of its values are used.\nNo mark-list service address is configured", "", ""},
        // The signal of ulimit -f used to end the tool, leaving 1 MiB of temporary file.
        {"the document past the file size limit", 1, Gps({"--reply", "-"}), "File too large", marks,
         "http://127.0.0.1:1", 4096},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = row.args;
        if (!row.service.empty())
            args.insert(args.end(), {"--service", row.service});

        const CliResult result = Run({.args = args, .input = row.input, .fileSizeLimit = row.fileSizeLimit});

        EXPECT_EQ(row.status, result.status);
        EXPECT_NE(std::string::npos, result.err.find(row.said)) << result.err;
        EXPECT_EQ(row.status == 2, result.err.find("usage: tervane-cli") != std::string::npos) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find('\x1b')) << result.err;
        EXPECT_EQ("", result.out);
        for (const auto& entry : fs::directory_iterator(m_dir)) { // no document, no temporary file
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name.find("VA_Fairfax") == std::string::npos && !name.starts_with(".tervane-"))
                << name;
        }
    }
}

// Runs a reader through the shell, bounded to a minute: its exit status, standard output
// and standard error together.
std::pair<int, std::string> Shell(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(("timeout 60 " + command + " 2>&1").c_str(), "r");
    if (!pipe)
        return {-1, out};
    char buffer[4096];
    while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, count);
    return {::pclose(pipe), out};
}

bool Installed(const std::string& program)
{
    if (Shell("sh -c 'command -v " + program + "'").first == 0)
        return true;
    std::cerr << program << " is not installed: its reading is not checked\n";
    return false;
}

// A 40-mark reply (and one mark whose position cannot be read) as a KMZ package, GPX
// waypoints, GeoJSON and CSV, each read whole by readers that share no code with the writers.
TEST_F(CliTest, EachFormatIsReadWholeByIndependentReaders)
{
    constexpr std::size_t kMarks = 40;
    std::string reply = MarkLine("BAD001", "N386023", "W0770213", "BAD MINUTES") + "\n";
    for (std::size_t i = 1; i <= kMarks; ++i) {
        const std::string n = std::to_string(10 + i);
        reply += MarkLine("TV" + std::to_string(10000 + i).substr(1), "N38" + n + "00", "W077" + n + "30",
                          "MARK " + n + " & SONS") +
                 "\n";
    }
    WriteFile(m_dir / "reply.txt", reply);
    auto write = [&](const std::string& format) {
        const CliResult result =
            Run({.args = {"--state", "VA", "--county", "Fairfax", "--type", "HORIZONTAL", "--service",
                          "http://marks.test", "--reply", "reply.txt", "--format", format}});
        const fs::path written = m_dir / ("VA_Fairfax_H-0-0." + format);
        EXPECT_EQ(0, result.status) << result.err;
        EXPECT_EQ(written.string() + "\n", result.out);
        EXPECT_EQ(0u, result.err.find("1 mark was skipped")) << result.err;
        return written;
    };

    // A zip package (its entries, ZipArchiveWriterTest checks), read whole by GDAL below.
    const fs::path kmz = write("kmz");
    EXPECT_EQ(std::string("PK\x03\x04", 4), ReadFile(kmz).substr(0, 4));

    // The waypoints: named by PID, in reply order.
    const fs::path gpx = write("gpx");
    if (Installed("gpsbabel")) {
        // A header, then one line per waypoint: number, latitude, longitude, "name", ...
        const auto [status, csv] = Shell("gpsbabel -i gpx -f '" + gpx.string() + "' -o unicsv -F -");
        EXPECT_EQ(0, status) << csv;
        EXPECT_EQ(kMarks + 1, CountOf(csv, "\n")) << csv;
        EXPECT_NE(std::string::npos, csv.find(",\"TV0040\",")) << csv;
        EXPECT_LT(csv.find(",\"TV0001\","), csv.find(",\"TV0040\",")) << csv;
    }
    // GDAL reads every mark of each, the last at the KML's coordinates, digit for digit.
    const std::string kml = ReadFile(write("kml"));
    const std::size_t at = kml.rfind("<coordinates>") + std::string_view("<coordinates>").size();
    const std::size_t comma = kml.find(',', at);
    const std::string longitude = kml.substr(at, comma - at);
    const std::string latitude = kml.substr(comma + 1, kml.find('<', comma) - comma - 1);
    const struct {
        fs::path file;
        std::string driver;
        std::string last; // how ogrinfo shows the last mark's position; empty: not checked
        std::string options = "";
    } readers[] = {
        {kmz, "LIBKML", ""},
        {gpx, "GPX", ""},
        {write("geojson"), "GeoJSON", "POINT (" + longitude + " " + latitude + ")"},
        {write("csv"), "CSV", "POINT (" + longitude + " " + latitude + ")",
         "-oo X_POSSIBLE_NAMES=longitude -oo Y_POSSIBLE_NAMES=latitude "},
    };
    // Nothing remembered: the window's settings are left alone.
    EXPECT_FALSE(fs::exists(m_dir / "home" / ".config" / "Tervane"));
    if (!Installed("ogrinfo"))
        GTEST_SKIP() << "ogrinfo (Debian gdal-bin) is not installed: GDAL's readers not tried";
    for (const auto& reader : readers) {
        const std::string info =
            Shell("ogrinfo -ro -al " + reader.options + "'" + reader.file.string() + "'").second;
        EXPECT_NE(std::string::npos, info.find("using driver `" + reader.driver + "' successful")) << info;
        EXPECT_NE(std::string::npos, info.find("Feature Count: 40\n")) << info;
        EXPECT_NE(std::string::npos, info.rfind(reader.last)) << reader.last << "\n" << info;
    }
}

// Against the sample service: its answers, refusals and sign-in, from the command line and
// on a terminal, where the tool asks for the sign-in itself, without echoing the password,
// and shows how far the document has got. A password file others can read used to be
// read silently (only its first line counts); Ctrl+C while the echo was off used to leave
// the user's terminal without echo.
TEST_F(CliTest, FetchesFromTheSampleServiceWithAndWithoutSignIn)
{
    WriteFile(m_dir / "bad-password", "Secret\n");
    WriteFile(m_dir / "shared-password", "secret\r\nignored second line\n",
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    const std::string opened = (m_dir / "opened.txt").string();
    WriteFile(m_dir / "bin" / "xdg-open",
              "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + ".tmp'\nmv '" + opened + ".tmp' '" + opened +
                  "'\n",
              fs::perms::owner_all);
    m_environment = {"PATH=" + (m_dir / "bin").string() + ":/usr/bin:/bin"};
    const fs::path written = m_dir / "VA_Fairfax_H-0-0.kml";
    // The primary and the companion marks, as the service gives them.
    const auto reply = [](const char* code) {
        return sample::AnswerMarkList({{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", code}}).body;
    };
    const std::size_t marks = ReadMarkList(reply("H-0-0") + reply("H-G-0"), "H-0-0").records.size();
    const struct {
        const char* name;
        bool signInNeeded;
        std::vector<std::string> args;
        int status;
        std::string said;
        std::vector<std::pair<std::string, std::string>> dialogue = {};
        int signal = 0;
    } rows[] = {
        // clang-format off
        {"open service, the document handed to xdg-open", false, {"--open"}, 0, ""},
        {"no marks", false, {"--project", "NOMARKS"}, 1, "No marks found!\n"},
        {"the service's input error", false, {"--lat", "N386000", "--lon", "W0770213", "--radius", "5"}, 1,
         "INPUT ERROR"},
        {"a password file others can read", true, {"--user", "alice", "--password-file", "shared-password"}, 0,
         "tervane-cli: warning: others can read the password file shared-password; 'chmod 600' makes it "
         "yours alone.\n"},
        {"sign-in needed, no terminal to ask on", true, {}, 1, "Internet access failed\n"},
        {"wrong password", true, {"--user", "alice", "--password-file", "bad-password"}, 1,
         "Internet access failed\n"},
        {"asked on the terminal", true, {}, 0,
         "\rCreating .kml file... " + std::to_string(marks) + "/" + std::to_string(marks),
         {{"User name: ", "alice\n"}, {"Password: ", "secret\n"}}},
        {"Ctrl+C at the password prompt", true, {}, -1, "User name: alice",
         {{"User name: ", "alice\n"}, {"Password: ", ""}}, SIGINT},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sample::SampleService service(row.signInNeeded ? "alice" : "", row.signInNeeded ? "secret" : "");
        const int port = service.Bind(0);
        ASSERT_TRUE(service.ServeInBackground());
        fs::remove(written);
        std::vector<std::string> args{
            "--state", "VA",         "--county",  "Fairfax",
            "--type",  "HORIZONTAL", "--service", "http://127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), row.args.begin(), row.args.end());

        const CliResult result = Run({.args = args, .dialogue = row.dialogue, .signal = row.signal});

        EXPECT_EQ(row.status, result.status) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(row.said)) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find("secret")) << result.err;
        EXPECT_EQ(!row.dialogue.empty(), result.terminalEchoes);
        EXPECT_EQ(row.status == 0 ? written.string() + "\n" : "", result.out);
        EXPECT_EQ(row.status == 0 ? marks : 0, CountOf(ReadFile(written), "<Placemark>"));
    }
    for (int i = 0; i < 200 && !fs::exists(opened); ++i) // the viewer starts detached
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(written.string(), ReadFile(opened));
}

// A field package carries every mark's datasheet; made again from the saved reply with
// the service gone, it takes them all from the cache; with nothing cached, it is still
// written and names what it goes without. GDAL reads every placemark with its page.
TEST_F(CliTest, FieldPackageCarriesEveryDatasheetOnlineAndFromTheCache)
{
    const std::string reply =
        sample::AnswerMarkList({{"1", "PROJECT"}, {"2", "GPS1234"}, {"3", "N"}, {"4", "X-0-0"}}).body;
    WriteFile(m_dir / "reply.txt", reply);
    const MarkListReply read = ReadMarkList(reply, "X-0-0");
    const std::size_t marks = read.records.size();
    const std::string written = (m_dir / "GPS1234.kmz").string();
    auto service = std::make_unique<sample::SampleService>("", "");
    const std::string url = "http://127.0.0.1:" + std::to_string(service->Bind(0));
    ASSERT_TRUE(service->ServeInBackground());
    // Fetched; then from the saved reply with the service gone; then with the cache gone too.
    for (const int step : {0, 1, 2}) {
        SCOPED_TRACE(step);
        if (step == 1)
            service.reset();
        if (step == 2)
            fs::remove_all(m_dir / "home" / ".cache");
        std::vector<std::string> args{"--project", "GPS1234", "--service", url, "--format", "kmz", "--datasheets"};
        if (step > 0)
            args.insert(args.end(), {"--reply", "reply.txt"});
        const CliResult result = Run({.args = args});
        EXPECT_EQ(0, result.status);
        EXPECT_EQ(written + "\n", result.out);
        EXPECT_EQ(step < 2 ? "" : std::to_string(marks) + " datasheets are not included in the package. The first: " +
                                      std::string(read.records.begin()->pid) + " (not in the cache, and a saved "
                                      "reply is read without asking the service).\n", result.err);
        const std::string kml = Shell("python3 -c 'import sys, zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1])"
                                      ".read(\"doc.kml\").decode())' '" + written + "'").second;
        EXPECT_EQ(step < 2 ? marks : 0, CountOf(kml, "<pre> TERVANE SAMPLE SERVICE - DATASHEET\n"));
        if (step == 1 && Installed("ogrinfo")) {
            const std::string info = Shell("ogrinfo -ro -al '" + written + "'").second;
            EXPECT_NE(std::string::npos, info.find("Feature Count: " + std::to_string(marks) + "\n")) << info;
            EXPECT_EQ(marks, CountOf(info, "TERVANE SAMPLE SERVICE - DATASHEET")) << info;
        }
    }
}

// Ctrl+C, a hang-up or a kill while a large document is written used to leave its hidden
// temporary file (hundreds of megabytes) behind.
TEST_F(CliTest, EndedByASignalWhileWritingLeavesNoTemporaryFile)
{
    std::string reply;
    for (int i = 0; i < 200000; ++i)
        reply += MarkLine("AB" + std::to_string(100000 + i), "N385323", "W0770213", "MARK") + "\n";
    WriteFile(m_dir / "reply.txt", reply);
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    // The hidden temporary is the first file to appear.
    const auto writing = [&out] { return !fs::is_empty(out); };
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const CliResult result =
            Run({.args = Gps({"--service", "http://host", "--reply", "reply.txt", "--out-dir", "out"}),
                 .signalWhen = writing,
                 .signal = signal});
        EXPECT_EQ(-1, result.status) << "ended by the signal: " << result.err;
        EXPECT_TRUE(fs::is_empty(out)) << fs::directory_iterator(out)->path();
    }
}

} // namespace
} // namespace tervane
