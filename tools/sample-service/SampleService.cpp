#include "SampleService.h"

#include "SampleMarks.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <system_error>

namespace tervane::sample {

struct ServiceState {
    std::string expectedAuthorization; // empty: no sign-in
    std::atomic<int> requests{0};
};

namespace {

bool SignedIn(const ServiceState& state, const httplib::Request& request, httplib::Response& response)
{
    if (state.expectedAuthorization.empty() ||
        request.get_header_value("Authorization") == state.expectedAuthorization) {
        return true;
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"Tervane sample service\"");
    response.set_content(kRefusalPage, "text/plain");
    return false;
}

void Reply(httplib::Response& response, const SampleReply& reply)
{
    response.status = reply.status;
    response.set_content(reply.body, "text/plain; charset=us-ascii");
}

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

bool WaitFor(int socket, short events, int milliseconds)
{
    pollfd entry{socket, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, milliseconds);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void Address(int socket, bool remote, std::string& ip, int& port)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const int status = remote ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length)
                              : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    if (status == 0 && address.sin_family == AF_INET && ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text)) {
        ip = text;
        port = ntohs(address.sin_port);
    }
}

// One accepted connection as cpp-httplib reads it: at most kMaxRequestBytes in all, by
// the deadline; after either the request simply ends, so the library answers what it
// has (414 for a request line cut short, 400 for headers). The answer goes out within
// kWriteTimeout of each write and kAnswerDeadline in all, however slowly it is read.
class ConnectionStream : public httplib::Stream {
public:
    explicit ConnectionStream(int socket)
        : m_socket(socket), m_deadline(Clock::now() + kRequestDeadline),
          m_answerDeadline(m_deadline + kAnswerDeadline)
    {
    }

    bool is_readable() const override { return m_read < kMaxRequestBytes && MillisecondsUntil(m_deadline) > 0; }
    bool is_writable() const override
    {
        const int timeout = static_cast<int>(std::chrono::milliseconds(kWriteTimeout).count());
        return WaitFor(m_socket, POLLOUT, std::min(timeout, MillisecondsUntil(m_answerDeadline)));
    }

    ssize_t read(char* ptr, size_t size) override
    {
        const std::size_t room = std::min(size, kMaxRequestBytes - m_read);
        if (room == 0 || !WaitFor(m_socket, POLLIN, MillisecondsUntil(m_deadline))) {
            return 0;
        }
        ssize_t got = 0;
        do {
            got = ::recv(m_socket, ptr, room, 0);
        } while (got < 0 && errno == EINTR);
        if (got > 0) {
            m_read += static_cast<std::size_t>(got);
        }
        return got;
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable()) {
            return -1;
        }
        ssize_t sent = 0;
        do {
            sent = ::send(m_socket, ptr, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(m_socket, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(m_socket, false, ip, port); }
    int socket() const override { return m_socket; }

private:
    int m_socket;
    Clock::time_point m_deadline;
    Clock::time_point m_answerDeadline;
    std::size_t m_read = 0;
};

} // namespace

// The library's routing and answers, reached for one connection at a time.
class SampleService::Server : public httplib::Server {
public:
    void AnswerOne(int socket)
    {
        ConnectionStream stream(socket);
        bool closed = false;
        process_request(stream, true, closed, [&stream](httplib::Request& request) {
            stream.get_remote_ip_and_port(request.remote_addr, request.remote_port);
        });
    }
};

SampleService::SampleService(std::string userName, std::string password)
    : m_server(std::make_unique<Server>()), m_state(std::make_shared<ServiceState>())
{
    if (!userName.empty()) {
        m_state->expectedAuthorization = httplib::make_basic_authentication_header(userName, password).second;
    }
    std::shared_ptr<ServiceState> state = m_state;
    m_server->Get(std::string(kMarkListPath), [state](const httplib::Request& request, httplib::Response& response) {
        ++state->requests;
        if (!SignedIn(*state, request, response)) {
            return;
        }
        std::map<std::string, std::string> query;
        for (const auto& [key, value] : request.params) {
            query.emplace(key, value); // the first of repeated keys counts
        }
        Reply(response, AnswerMarkList(query));
    });
    m_server->Get(std::string(kDatasheetPath), [state](const httplib::Request& request, httplib::Response& response) {
        ++state->requests;
        if (!SignedIn(*state, request, response)) {
            return;
        }
        Reply(response, AnswerDatasheet(request.get_param_value(std::string(kDatasheetKey).c_str())));
    });
    // The queries carry no body.
    m_server->set_payload_max_length(kMaxRequestBytes);
}

SampleService::~SampleService()
{
    Stop();
    if (m_listener >= 0) {
        ::close(m_listener);
    }
}

int SampleService::Bind(int port)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, kListenAddress, &address.sin_addr);
    socklen_t length = sizeof address;
    constexpr int kBacklog = 64;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, kBacklog) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(m_listener);
        m_listener = -1;
        errno = error;
        return -1;
    }
    return ntohs(address.sin_port);
}

bool SampleService::Serve()
{
    if (m_listener < 0) {
        return false;
    }
    m_running = true;
    constexpr int kStopCheckMilliseconds = 100;
    while (!m_stopping) {
        if (!WaitFor(m_listener, POLLIN, kStopCheckMilliseconds)) {
            continue;
        }
        const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_connections >= kMaxConnections) {
                ::close(socket);
                continue;
            }
            ++m_connections;
        }
        try {
            std::thread([this, socket] { Answer(socket); }).detach();
        } catch (const std::system_error&) {
            ::close(socket); // no thread to spare: as if over the limit
            std::lock_guard lock(m_mutex);
            --m_connections;
        }
    }
    WaitForConnections();
    m_running = false;
    return true;
}

void SampleService::Answer(int socket)
{
    try {
        m_server->AnswerOne(socket);
    } catch (...) {
        // A request the library could not take ends its connection only.
    }
    // Sent first, then closed once the client has read it or gone, so that a client still
    // sending a refused request sees the answer rather than a reset.
    ::shutdown(socket, SHUT_WR);
    constexpr int kLingerMilliseconds = 200;
    constexpr int kMaxDrained = 16;
    char scrap[4096];
    for (int i = 0; i < kMaxDrained && WaitFor(socket, POLLIN, kLingerMilliseconds); ++i) {
        if (::recv(socket, scrap, sizeof scrap, 0) <= 0) {
            break;
        }
    }
    ::close(socket);
    std::lock_guard lock(m_mutex);
    --m_connections;
    m_connectionEnded.notify_all();
}

void SampleService::WaitForConnections()
{
    // Each connection ends by its deadline and write time-out.
    std::unique_lock lock(m_mutex);
    m_connectionEnded.wait(lock, [this] { return m_connections == 0; });
}

bool SampleService::ServeInBackground()
{
    m_thread = std::thread([this] { Serve(); });
    constexpr int kAttempts = 1000;
    for (int i = 0; i < kAttempts && !m_running; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_running;
}

void SampleService::Stop()
{
    m_stopping = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool SampleService::IsRunning() const { return m_running; }

int SampleService::RequestCount() const { return m_state->requests; }

} // namespace tervane::sample
