// The Qt adapters. The HTTP transfer against a local server, alone and under the
// mark-list fetch: what it hands on, what it refuses, whom it gives the credentials, and
// the one deadline of a run. The settings store: what comes back, and who may read its file.

#include "WindowTestFakes.h"

#include "adapters/QtSettingsStore.h"
#include "adapters/ViewerLauncher.h"
#include "web/FetchMarkList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <httplib.h>
#include <sys/stat.h>
#include <zlib.h>

#include <atomic>
#include <thread>
#include <tuple>

namespace tervane {
namespace {

using namespace std::chrono_literals;

// A mark-list service on 127.0.0.1 inside the test process, with one route per way the
// real service (or whatever stands in front of it) can answer.
const std::string kMarkLines = "  1.  AB1234 A 1 ..... N392312 W0773412 .....  STATION ONE\r\n"
                               "  2.  AB1235 B 2 ..... N392313 W0773413 .....  STATION TWO\r\n";
const std::string kUser = "surveyor";
const std::string kPassword = "s3cret";
const std::string kBasicRefusal = "Sign in first"; // no "Unauthorized" in it
const std::string kServicePageRefusal = "<html><h1>Unauthorized</h1></html>";
constexpr std::size_t kBigBytes = 4096;

// `parts` packed one after the other, each ending in a full flush, so that a cut right
// after a part's flush falls on a deflate block boundary; `ends` receives the packed size
// after each part. windowBits: 16 + 15 gzip, 15 zlib-wrapped deflate, -15 bare deflate.
std::string Pack(const std::vector<std::string>& parts, int windowBits, std::vector<std::size_t>* ends = nullptr,
                 bool finish = true)
{
    z_stream stream{};
    EXPECT_EQ(Z_OK, deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY));
    std::string packed;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string part = parts[i];
        stream.next_in = reinterpret_cast<Bytef*>(part.data());
        stream.avail_in = static_cast<uInt>(part.size());
        const int flush = (finish && i + 1 == parts.size()) ? Z_FINISH : Z_FULL_FLUSH;
        int result = Z_OK;
        do {
            char out[16384];
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = sizeof out;
            result = deflate(&stream, flush);
            packed.append(out, sizeof out - stream.avail_out);
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (ends)
            ends->push_back(packed.size());
    }
    deflateEnd(&stream);
    return packed;
}
constexpr int kGzip = 16 + MAX_WBITS;

std::string LocalUrl(int port, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

class LocalMarkServer {
public:
    LocalMarkServer()
    {
        // Text goes packed with gzip, as the transfer asks for it; "gzip", "deflate" and
        // "br" label a body as packed that way.
        struct Fixed {
            std::string path;
            int status;
            std::string body;
            std::string type;
        };
        std::vector<Fixed> fixed = {
            // Bytes that are not UTF-8 must come back untouched.
            {"/latin1", 200, "  1.  AB1234 \xB0\xE9\r\n", "text/plain; charset=ISO-8859-1"},
            // The service's own refusal: a 200 page that names itself.
            {"/refusal-page", 200, kServicePageRefusal, "text/html"},
            {"/error500", 500, "<h1>Software error</h1>", "text/html"},
            {"/input-error-400", 400, "INPUT ERROR: no such county\n", "text/plain"},
            {"/big", 200, std::string(kBigBytes, 'x'), "application/octet-stream"},
            {"/gzip-big", 200, std::string(kBigBytes, 'x'), "text/plain"},
            {"/gzip-bomb", 200, std::string(16 << 20, '\0'), "text/plain"},
            {"/deflate", 200, Pack({kMarkLines}, MAX_WBITS), "deflate"},
            {"/unknown-encoding", 200, kMarkLines, "br"},
            {"/gzip-mislabelled", 200, kMarkLines + kMarkLines + kMarkLines, "gzip"},
            // A gzip header and no deflate stream after it.
            {"/gzip-corrupt", 200, std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10) + "not deflate", "gzip"},
        };
        // A gzip stream of two parts, the first ending on a block boundary, whole and cut
        // short: each with a Content-Length that matches what is sent (/cl), and without one,
        // the end of the connection ending the body (/close).
        std::vector<std::size_t> parts;
        const std::string whole = Pack({kMarkLines, kMarkLines}, kGzip, &parts);
        std::string badCrc = whole;
        badCrc[whole.size() - 8] ^= 0x01;
        const std::pair<const char*, std::string> cuts[] = {
            {"/gzip-whole", whole},
            {"/gzip-cut-in-header", whole.substr(0, 5)},
            {"/gzip-cut-at-block", whole.substr(0, parts[0])},
            {"/gzip-cut-before-trailer", whole.substr(0, whole.size() - 8)},
            {"/gzip-wrong-crc", badCrc},
            {"/deflate-bare", Pack({kMarkLines}, -MAX_WBITS)},
        };
        for (const auto& [path, body] : cuts)
            for (const std::string framing : {"/cl", "/close"})
                fixed.push_back({framing + path, 200, body, path[1] == 'd' ? "deflate" : "gzip"});
        for (const auto& answer : fixed) {
            m_server.Get(answer.path, [answer](const httplib::Request&, httplib::Response& res) {
                res.status = answer.status;
                const bool packed = answer.type == "gzip" || answer.type == "deflate" || answer.type == "br";
                if (packed)
                    res.set_header("Content-Encoding", answer.type);
                if (!answer.path.starts_with("/close/"))
                    return res.set_content(answer.body, packed ? "application/octet-stream" : answer.type);
                res.set_content_provider("application/octet-stream", [answer](size_t, httplib::DataSink& sink) {
                    sink.write(answer.body.data(), answer.body.size());
                    sink.done();
                    return true;
                });
            });
        }
        // Basic credentials of kUser:kPassword give the marks; counts the credentials offered.
        const httplib::Server::Handler basic = [this](const httplib::Request& req, httplib::Response& res) {
            const std::string given = req.get_header_value("Authorization");
            authorizationsSeen += given.empty() ? 0 : 1;
            unnamed += req.get_header_value("User-Agent").starts_with("Tervane/") ? 0 : 1;
            if (given == "Basic c3VydmV5b3I6czNjcmV0")
                return res.set_content(kMarkLines, "text/plain");
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"marks\"");
            res.set_content(kBasicRefusal, "text/plain");
        };
        m_server.Get("/basic", basic);
        // To another origin in the tests, and within the service.
        m_server.Get("/redirect-away",
                     [this](const httplib::Request&, httplib::Response& res) { res.set_redirect(awayUrl); });
        m_server.Get("/redirect-basic",
                     [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/basic"); });
        // Sends for as long as the client reads, without a length: only counting while
        // reading can stop it.
        Chunked("/endless-chunked", std::string(64 * 1024, 'x'), std::chrono::milliseconds(0),
                std::size_t{8} << 30);
        // A gzip stream of zeros that never ends: it unpacks past any limit.
        std::vector<std::size_t> ends;
        const std::string zeros = Pack({std::string(1 << 20, '\0'), std::string(1 << 20, '\0')}, kGzip, &ends, false);
        Chunked("/gzip-endless", zeros.substr(ends[0]), std::chrono::milliseconds(0), std::size_t{8} << 30,
                zeros.substr(0, ends[0]));
        // One byte every 100 ms, for at most 10 s: never silent for long, never done soon.
        const httplib::Server::Handler trickle = Chunked("/trickle", " ", std::chrono::milliseconds(100), 100);
        // The mark-list path of a run: it trickles, or with `listSignIn` is /basic.
        m_server.Get("/cgi-bin/get_mark_list.prl", [=, this](const httplib::Request& req, httplib::Response& res) {
            (listSignIn ? basic : trickle)(req, res);
        });
        // The marks, after a pause as long as a slow service's.
        m_server.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            res.set_content(kMarkLines, "text/plain");
        });
        // Promises 1000 bytes, sends 10 and hangs up.
        m_server.Get("/truncated", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
                sink.write("  1.  AB12", 10);
                return false;
            });
        });
        m_server.set_keep_alive_max_count(1); // hangs up after each answer, ending a body without a length
        port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    ~LocalMarkServer()
    {
        m_stopping = true;
        m_server.stop();
        m_thread.join();
    }

    std::string Url(const std::string& path) const { return LocalUrl(port, path); }

    int port = 0;
    std::string awayUrl;
    std::atomic<int> authorizationsSeen{0};
    std::atomic<int> unnamed{0}; // requests that did not name the program
    std::atomic<bool> listSignIn{false};

private:
    // `first`, then `piece` after every `pause` until `limit` bytes are sent; not a text
    // type, so the server does not compress it. A `first` labels the body gzip.
    httplib::Server::Handler Chunked(const char* path, std::string piece, std::chrono::milliseconds pause,
                                     std::size_t limit, std::string first = "")
    {
        const httplib::Server::Handler handler = [this, piece, pause, limit,
                                                  first](const httplib::Request&, httplib::Response& res) {
            if (!first.empty())
                res.set_header("Content-Encoding", "gzip");
            res.set_chunked_content_provider("application/octet-stream",
                                             [=, this](size_t offset, httplib::DataSink& sink) {
                                                 if (m_stopping || offset >= limit) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 if (offset == 0 && !first.empty())
                                                     return sink.write(first.data(), first.size());
                                                 std::this_thread::sleep_for(pause);
                                                 return sink.write(piece.data(), piece.size());
                                             });
        };
        m_server.Get(path, handler);
        return handler;
    }

    std::atomic<bool> m_stopping{false};
    httplib::Server m_server;
    std::thread m_thread;
};

TEST(FetchMarkListOverHttp, EndsEveryServerAnswerInTheRightMessage)
{
    LocalMarkServer server;
    // Another origin (another port) that asks for a sign-in too, and counts the
    // credentials it is offered.
    LocalMarkServer elsewhere;
    server.awayUrl = elsewhere.Url("/basic");
    const int closedPort = [] { return LocalMarkServer().port; }(); // released again at once
    const SignInAnswer right{true, kUser, kPassword};
    const SignInAnswer wrong{true, kUser, "guess"};
    const SignInAnswer cancel{};
    const std::string untouched = "as the caller left it";
    const std::string accessFailed(kMsgAccessFailed);
    const std::string tooLarge =
        "The mark-list service's reply is larger than 1 KiB and was not accepted.";
    const std::string undecodable = "The mark-list service's reply could not be read: ";
    // Name, address, sign-in answer, sign-ins asked for, message (ending in ": ": it goes on
    // with the reason) and the reply handed on.
    using Row = std::tuple<std::string, std::string, SignInAnswer, int, std::string, std::string>;
    std::vector<Row> rows = {
        {"bytes that are not UTF-8 kept", server.Url("/latin1"), cancel, 0, "", "  1.  AB1234 \xB0\xE9\r\n"},
        {"401 with a wrong password", server.Url("/basic"), wrong, 1, accessFailed, kBasicRefusal},
        {"service refusal page again after sign-in", server.Url("/refusal-page"), right, 1, accessFailed,
         kServicePageRefusal},
        {"server error page", server.Url("/error500"), cancel, 0,
         "The server answered 500 Internal Server Error", "<h1>Software error</h1>"},
        {"service input error on 400", server.Url("/input-error-400"), cancel, 0, "",
         "INPUT ERROR: no such county\n"},
        {"redirected within the service, signed in", server.Url("/redirect-basic"), right, 1, "", kMarkLines},
        // Its credentials used to follow the redirect to whoever asked.
        {"redirected to another origin that asks for a sign-in", server.Url("/redirect-away"), right, 1,
         accessFailed, kBasicRefusal},
        {"closed port", LocalUrl(closedPort, "/x"), right, 0,
         "Could not reach the mark-list service: Connection refused", untouched},
        {"not a web address", "ftp://127.0.0.1/marks", cancel, 0,
         "The mark-list address is not a web address: ftp://127.0.0.1/marks", untouched},
        {"too large by Content-Length", server.Url("/big"), cancel, 0, tooLarge, untouched},
        // Used to grow without bound: Qt buffered it and never said data had come.
        {"endless chunked body", server.Url("/endless-chunked"), cancel, 0, tooLarge, untouched},
        {"too large once unpacked", server.Url("/gzip-big"), cancel, 0, tooLarge, untouched},
        // These two used to wait for the time-out, and Qt spoke on stderr.
        {"gzip bomb", server.Url("/gzip-bomb"), cancel, 0, tooLarge, untouched},
        {"endless gzip stream", server.Url("/gzip-endless"), cancel, 0, tooLarge, untouched},
        {"plain text labelled gzip", server.Url("/gzip-mislabelled"), cancel, 0, undecodable, untouched},
        {"gzip damaged", server.Url("/gzip-corrupt"), cancel, 0, undecodable, untouched},
        {"deflate, zlib-wrapped", server.Url("/deflate"), cancel, 0, "", kMarkLines},
        // Qt used to unpack it as a plain body: 'br' was not asked for.
        {"an encoding not asked for", server.Url("/unknown-encoding"), cancel, 0, undecodable, untouched},
        {"cut short is no short mark list", server.Url("/truncated"), cancel, 0,
         "The mark-list service's reply broke off: ", untouched},
    };
    // Every cut used to come back as a reply, a part of the marks or nothing, whether the
    // Content-Length matched the cut or the end of the connection ended the body.
    for (const std::string framing : {"/cl", "/close"}) {
        const auto url = [&](const char* path) { return server.Url(framing + path); };
        rows.push_back({framing + " whole gzip", url("/gzip-whole"), cancel, 0, "", kMarkLines + kMarkLines});
        rows.push_back({framing + " bare deflate", url("/deflate-bare"), cancel, 0, "", kMarkLines});
        for (const char* cut : {"/gzip-cut-in-header", "/gzip-cut-at-block", "/gzip-cut-before-trailer",
                                "/gzip-wrong-crc"})
            rows.push_back({framing + cut, url(cut), cancel, 0, undecodable, untouched});
    }
    // Nothing of Qt's own reaches the terminal.
    static std::vector<QString> qtSaid;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { qtSaid.push_back(text); });
    for (const auto& [name, url, answer, asked, message, handedOn] : rows) {
        SCOPED_TRACE(name);
        HttpTransfer transfer; // fresh: no credentials left from an earlier row
        transfer.SetMaxReplyBytes(1024);
        transfer.SetTimeout(10s); // a wrong ending comes as the time-out's message, not as a hang
        QElapsedTimer clock;
        clock.start();
        testing::RunFakes ports;
        ports.answers = {answer};
        std::string reply = untouched;
        std::string error;
        FetchMarkList(url, reply, error, transfer, ports);
        EXPECT_EQ(message, message.ends_with(": ") ? error.substr(0, message.size()) : error);
        EXPECT_EQ(handedOn, reply);
        EXPECT_EQ(asked, ports.asked);
        EXPECT_LT(clock.elapsed(), 5000);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(qtSaid.empty()) << qtSaid.front().toStdString();
    // Credentials once set serve the later requests of the same transfer.
    HttpTransfer transfer;
    transfer.SetCredentials(kUser, kPassword);
    TransferReply reply;
    std::string error;
    for (int request = 0; request < 2; ++request)
        EXPECT_TRUE(transfer.Open(server.Url("/basic"), reply, error) && reply.body == kMarkLines) << error;
    EXPECT_EQ(4, server.authorizationsSeen.load()) << "nothing before a sign-in, then one try, not a loop";
    EXPECT_EQ(0, elsewhere.authorizationsSeen.load()) << "credentials stay with the service's origin";
    EXPECT_EQ(0, server.unnamed.load() + elsewhere.unnamed.load());
    // A smaller limit of the core's (a datasheet page's) counts until it is set back.
    transfer.SetReplyLimit(16);
    EXPECT_FALSE(transfer.Open(server.Url("/basic"), reply, error));
    EXPECT_EQ("The mark-list service's reply is larger than 16 bytes and was not accepted.", error);
    transfer.SetReplyLimit(0);
    EXPECT_TRUE(transfer.Open(server.Url("/basic"), reply, error)) << error;
}

// The mark list and its companion go side by side: two slow answers take the time of
// one, and each request is held to the size limit on its own. Closing the window, Exit
// or Escape (Abort, from a timer: the wait keeps the event loop turning) ends both at
// once. The limit is on the whole transfer: a server that keeps sending a byte now and
// then used to hold the run for as long as it liked.
TEST(HttpTransfer, SendsRequestsSideBySideAbortAndTheDeadlineEndThemAll)
{
    LocalMarkServer server;
    HttpTransfer transfer;
    transfer.SetMaxReplyBytes(1024);
    transfer.SetTimeout(5s);
    QElapsedTimer clock;
    clock.start();
    std::vector<TransferOutcome> outcomes =
        transfer.OpenEach({server.Url("/slow"), server.Url("/slow"), server.Url("/big")});
    EXPECT_LT(clock.elapsed(), 1100) << "one after the other takes twice 600 ms";
    ASSERT_EQ(3u, outcomes.size());
    for (int i : {0, 1})
        EXPECT_TRUE(outcomes[i].answered && outcomes[i].reply.body == kMarkLines) << outcomes[i].error;
    EXPECT_EQ("The mark-list service's reply is larger than 1 KiB and was not accepted.", outcomes[2].error);

    clock.restart();
    QTimer::singleShot(200ms, [&] { transfer.Abort(); });
    outcomes = transfer.OpenEach({server.Url("/trickle"), server.Url("/trickle")});
    EXPECT_LT(clock.elapsed(), 2000);
    for (const TransferOutcome& outcome : outcomes) {
        EXPECT_FALSE(outcome.answered);
        EXPECT_EQ("The request to the mark-list service was cancelled.", outcome.error);
    }

    transfer.SetTimeout(500ms);
    clock.restart();
    outcomes = transfer.OpenEach({server.Url("/trickle")});
    EXPECT_EQ("The mark-list service did not answer within 0.5 seconds.", outcomes.at(0).error);
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_LT(clock.elapsed(), 3000);
}

// One deadline for the whole run: a county query of type HORIZONTAL asks twice (the
// marks and their GPS companion), and each request used to have the whole limit. The
// time the user spends in the sign-in dialog does not count against it.
TEST(HttpTransfer, EveryRequestOfARunSharesOneDeadline)
{
    struct SlowSignIn : testing::RunFakes {
        SignInAnswer Ask() override
        {
            std::this_thread::sleep_for(1200ms);
            return RunFakes::Ask();
        }
    };
    const MarkListInputs county{"SC", "VA", "Fairfax ", "HORIZONTAL", "", "", "", "", "US"};
    const std::tuple<const char*, bool, RunOutcome, std::string> rows[] = {
        {"primary and companion trickle", false, RunOutcome::Failed,
         "The mark-list service did not answer within 1 seconds."},
        {"the sign-in takes longer than the deadline", true, RunOutcome::Opened, ""},
    };
    LocalMarkServer server;
    for (const auto& [name, signIn, outcome, message] : rows) {
        SCOPED_TRACE(name);
        server.listSignIn = signIn;
        QTemporaryDir folder;
        HttpTransfer transfer;
        transfer.SetTimeout(1s);
        SlowSignIn ports;
        ports.answers = {{true, kUser, kPassword}};
        RegionCatalogue catalogue(std::filesystem::path(TEST_DATA_DIR) / "requests-catalogue.dat");
        std::string controlCode;
        RunState state{controlCode, catalogue};
        RunConfig config;
        config.serviceUrl = server.Url("");
        config.outputDir = folder.path().toStdString();
        config.openDocument = false;
        config.saveSettings = false;
        RunPorts run{ports, ports, ports, ports, ports.settings, transfer, ports, ports};
        QElapsedTimer clock;
        clock.start();
        const RunResult result = RetrievalRun(county, state, config, run);
        EXPECT_EQ(outcome, result.outcome);
        EXPECT_EQ(message, result.message);
        if (!signIn) {
            EXPECT_LT(clock.elapsed(), 2000) << "ended before twice the deadline";
        }
    }
}

unsigned Mode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777U : 0;
}

// Read back from a copy in another folder, from disk rather than QSettings' in-process
// cache; an absent value gives the default. The file keeps the sign-in password: the
// folder made for it and the file are the owner's only, also once rewritten or left
// readable by an older version.
TEST(QtSettingsStore, ValuesComeBackUnchangedInTheNextProgramRunFromAnOwnerOnlyFile)
{
    const std::tuple<const char*, std::string> rows[] = {
        {"county with leading and trailing blanks", "  Prince George's  "},
        {"empty text, a value and no default", ""},
        {"comma, read by QSettings as a list if unquoted", "Anne Arundel, MD"},
        {"leading @, QSettings' type marker", "@Variant(x)"},
        {"quotes, backslash, semicolon, hash", "p\"a\\ss;w#rd="},
        {"UTF-8", "Do\xC3\xB1"
                  "a Ana"},
        {"line break", "first\r\nsecond"},
    };
    QTemporaryDir written;
    QTemporaryDir copied;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, written.path());
    const QString file = written.filePath("Tervane/Tervane.conf");
    {
        QtSettingsStore store;
        store.SaveSetting(kSignInSection, kPasswordKey, "s3cret");
        EXPECT_EQ(0700U, Mode(written.filePath("Tervane")));
        EXPECT_EQ(0600U, Mode(file)) << "a new file";
        ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        for (const auto& [name, value] : rows)
            store.SaveSetting(kSettingsSection, name, value);
        EXPECT_EQ(0600U, Mode(file)) << "after the file was rewritten";
    }
    ASSERT_TRUE(QDir(copied.path()).mkdir("Tervane"));
    ASSERT_TRUE(QFile::copy(file, copied.filePath("Tervane/Tervane.conf")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, copied.path());
    QtSettingsStore nextRun;
    for (const auto& [name, value] : rows)
        EXPECT_EQ(value, nextRun.GetSetting(kSettingsSection, name, "absent")) << name;
    EXPECT_EQ("absent", nextRun.GetSetting(kSignInSection, std::get<0>(rows[0]), "absent")) << "sections are apart";
    EXPECT_EQ("s3cret", nextRun.GetSetting(kSignInSection, kPasswordKey, ""));
}

// xdg-open's verdict on a document: it ended well, or is still running the viewer when
// the wait ends (a bare X session); missing, or ending with a failure, says why. Both
// failures used to pass for success, the run then ending in silence.
TEST(StartViewer, TellsWhetherAViewerTookTheDocument)
{
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    const std::filesystem::path document = "relative name.kml";
    // shell: nullptr: no xdg-open
    const std::tuple<const char*, bool, std::string> rows[] = {
        {"printf '%s' \"$1\" > \"$0.arg\"", true, ""},
        {"exec /bin/sleep 1", true, ""},
        {"exit 3", false, "xdg-open found no program that opens this type of file."},
        {"exit 4", false, "xdg-open ended with status 4."},
        {nullptr, false, "xdg-open could not be started: No such file or directory."},
    };
    for (const auto& [shell, started, why] : rows) {
        SCOPED_TRACE(shell ? shell : "missing");
        QFile::remove(bin.filePath("xdg-open"));
        if (shell) {
            QFile script(bin.filePath("xdg-open"));
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QByteArray("#!/bin/sh\n") + shell + "\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        int looks = 0;
        std::string reason;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(started, StartViewer(document, 300ms, [&looks] { ++looks; }, reason));
        EXPECT_EQ(why, reason);
        EXPECT_LT(clock.elapsed(), 1500) << "the wait is bounded";
        if (started && shell[0] == 'e') {
            EXPECT_GT(looks, 0) << "the window repaints while xdg-open decides";
        }
    }
    QFile argument(bin.filePath("xdg-open.arg"));
    ASSERT_TRUE(argument.open(QIODevice::ReadOnly));
    EXPECT_EQ(argument.readAll().toStdString(), std::filesystem::absolute(document).string());
    qputenv("PATH", path);
}

} // namespace
} // namespace tervane
