#pragma once

// A mark-list service on 127.0.0.1 inside the test process, with one route per way the
// real service (or whatever stands in front of it) can answer.

#include <httplib.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace tervane::testing {

inline const std::string kMarkLines = "  1.  AB1234 A 1 ..... N392312 W0773412 .....  STATION ONE\r\n"
                                      "  2.  AB1235 B 2 ..... N392313 W0773413 .....  STATION TWO\r\n";
inline const std::string kUser = "surveyor";
inline const std::string kPassword = "s3cret";
inline const std::string kBasicRefusal = "Sign in first"; // no "Unauthorized" in it
inline const std::string kServicePageRefusal = "<html><h1>Unauthorized</h1></html>";
inline constexpr std::size_t kBigBytes = 4096;

// `text` as a gzip stream.
inline std::string Gzip(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY); // 16: gzip
    std::string packed(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

// 64 MiB of zeros packed, made once for all servers.
inline const std::string& GzipBomb()
{
    static const std::string packed = Gzip(std::string(64 << 20, '\0'));
    return packed;
}

class LocalMarkServer {
public:
    LocalMarkServer()
    {
        const struct {
            const char* path;
            int status;
            std::string body;
            const char* type;
            const char* encoding;
        } fixed[] = {
            {"/marks", 200, kMarkLines, "text/plain", ""},
            // Bytes that are not UTF-8 must come back untouched.
            {"/latin1", 200, "  1.  AB1234 \xB0\xE9\r\n", "text/plain; charset=ISO-8859-1", ""},
            // The service's own refusal: a 200 page that names itself.
            {"/refusal-page", 200, kServicePageRefusal, "text/html", ""},
            {"/error500", 500, "<h1>Software error</h1>", "text/html", ""},
            {"/input-error-400", 400, "INPUT ERROR: no such county\n", "text/plain", ""},
            {"/big", 200, std::string(kBigBytes, 'x'), "text/plain", ""},
            // Labelled gzip: too big once unpacked, plain text, cut short, and a bomb.
            {"/gzip-big", 200, Gzip(std::string(kBigBytes, 'x')), "application/octet-stream", "gzip"},
            {"/gzip-mislabelled", 200, kMarkLines + kMarkLines + kMarkLines, "application/octet-stream",
             "gzip"},
            {"/gzip-corrupt", 200, Gzip(kMarkLines).substr(0, 20) + "not deflate", "application/octet-stream",
             "gzip"},
            {"/gzip-bomb", 200, GzipBomb(), "application/octet-stream", "gzip"},
        };
        for (const auto& answer : fixed) {
            m_server.Get(answer.path, [answer](const httplib::Request&, httplib::Response& res) {
                res.status = answer.status;
                if (*answer.encoding)
                    res.set_header("Content-Encoding", answer.encoding);
                res.set_content(answer.body, answer.type);
            });
        }
        // Basic credentials of kUser:kPassword give the marks; counts the credentials offered.
        m_server.Get("/basic", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string given = req.get_header_value("Authorization");
            authorizationsSeen += given.empty() ? 0 : 1;
            if (given == "Basic c3VydmV5b3I6czNjcmV0")
                return res.set_content(kMarkLines, "text/plain");
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"marks\"");
            res.set_content(kBasicRefusal, "text/plain");
        });
        // To another origin in the tests, and within the service.
        m_server.Get("/redirect-away",
                     [this](const httplib::Request&, httplib::Response& res) { res.set_redirect(awayUrl); });
        m_server.Get("/redirect-basic",
                     [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/basic"); });
        // Sends for as long as the client reads, without a length: only counting while
        // reading can stop it.
        Chunked("/endless-chunked", std::string(64 * 1024, 'x'), std::chrono::milliseconds(0),
                std::size_t{8} << 30);
        // One byte every 100 ms, for at most 10 s: never silent for long, never done soon.
        Chunked("/trickle", " ", std::chrono::milliseconds(100), 100);
        // The service's own mark-list path takes the request and never answers.
        m_server.Get("/cgi-bin/get_mark_list.prl", [this](const httplib::Request&, httplib::Response&) {
            for (int i = 0; i < 1000 && !m_stopping; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
        // Promises 1000 bytes, sends 10 and hangs up.
        m_server.Get("/truncated", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(1000, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
                sink.write("  1.  AB12", 10);
                return false;
            });
        });
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
    LocalMarkServer(const LocalMarkServer&) = delete;
    LocalMarkServer& operator=(const LocalMarkServer&) = delete;

    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    int port = 0;
    std::string awayUrl;
    std::atomic<int> authorizationsSeen{0};

private:
    // `piece` after every `pause` until `limit` bytes are sent; not a text type, so the
    // server does not compress it.
    void Chunked(const char* path, std::string piece, std::chrono::milliseconds pause, std::size_t limit)
    {
        m_server.Get(path, [this, piece, pause, limit](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [=, this](size_t offset, httplib::DataSink& sink) {
                                                 if (m_stopping || offset >= limit) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 std::this_thread::sleep_for(pause);
                                                 return sink.write(piece.data(), piece.size());
                                             });
        });
    }

    std::atomic<bool> m_stopping{false};
    httplib::Server m_server;
    std::thread m_thread;
};

} // namespace tervane::testing
