#pragma once

// The sample mark-list service over HTTP, on 127.0.0.1 only: the mark-list queries and
// the datasheet pages of SampleMarks.h. With a user name and password it asks for HTTP
// Basic sign-in first, answering 401 with "Unauthorized" in the page as the real
// service's front does, so the program's sign-in dialog can be tried.
//
// cpp-httplib parses and answers the requests; the service accepts the connections
// itself so that a client cannot hold it: each connection has a thread of its own (at
// most kMaxConnections at once, more are closed at once), one request, at most
// kMaxRequestBytes read and kRequestDeadline to send them. A slow or endless request is
// cut off there (a request line that long is answered 414) while other clients are served.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tervane::sample {

struct ServiceState;

inline constexpr const char* kListenAddress = "127.0.0.1";
inline constexpr int kDefaultPort = 8642;
inline constexpr int kMaxConnections = 64;
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
inline constexpr std::chrono::seconds kRequestDeadline{5};
inline constexpr std::chrono::seconds kWriteTimeout{5};
inline constexpr std::chrono::seconds kAnswerDeadline{30};
inline constexpr const char* kRefusalPage = "401 Unauthorized: sign in to the Tervane sample service.\n";

class SampleService {
public:
    // Empty `userName` means no sign-in.
    SampleService(std::string userName = {}, std::string password = {});
    ~SampleService();
    SampleService(const SampleService&) = delete;
    SampleService& operator=(const SampleService&) = delete;

    // Binds to `port` (0: any free port). Returns the port, or -1 when it cannot bind.
    int Bind(int port);
    // Serves on this thread until Stop(); returns false when serving failed.
    bool Serve();
    // Serves on a thread of its own; returns once requests are taken (false when the
    // service did not come up within a few seconds). For tests in one process.
    bool ServeInBackground();
    // Stops serving and waits for the background thread and the open connections. Also
    // done on destruction.
    void Stop();
    // Asks Serve() to return within a tenth of a second; safe in a signal handler.
    void RequestStop() { m_stopping = true; }
    bool IsRunning() const;

    // Mark-list and datasheet requests answered so far, sign-in refusals included.
    int RequestCount() const;

    class Server;

private:
    void Answer(int socket);
    void WaitForConnections();

    std::unique_ptr<Server> m_server;
    std::shared_ptr<ServiceState> m_state;
    std::thread m_thread;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_running{false};
    std::mutex m_mutex;
    std::condition_variable m_connectionEnded;
    int m_connections = 0; // guarded by m_mutex
};

} // namespace tervane::sample
