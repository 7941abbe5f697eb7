#pragma once

// The sample mark-list service over HTTP, on 127.0.0.1 only: the mark-list queries and
// the datasheet pages of SampleMarks.h. With a user name and password it asks for HTTP
// Basic sign-in first, answering 401 with "Unauthorized" in the page as the real
// service's front does, so the program's sign-in dialog can be tried.

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace tervane::sample {

struct ServiceState;

inline constexpr const char* kListenAddress = "127.0.0.1";
inline constexpr int kDefaultPort = 8642;
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
    // Stops serving and waits for the background thread. Also done on destruction.
    void Stop();
    bool IsRunning() const;

    // Mark-list and datasheet requests answered so far, sign-in refusals included.
    int RequestCount() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::shared_ptr<ServiceState> m_state;
    std::thread m_thread;
};

} // namespace tervane::sample
