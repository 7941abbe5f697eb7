#pragma once

// What the benchmarks against a slow local service share: a cpp-httplib server bound to
// 127.0.0.1 at a port the system picks, served from a thread of its own while the object
// lives, and the median of a series of timings.

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace tervane::bench {

class LocalService {
public:
    // Serves `server`, its routes already set; ends the program when it cannot.
    explicit LocalService(httplib::Server& server) : m_server(server)
    {
        // Each reply at once, as it is written: with Nagle's algorithm, the body waits for
        // the client's delayed acknowledgement of the headers, tens of milliseconds a reply.
        m_server.set_tcp_nodelay(true);
        const int port = m_server.bind_to_any_port("127.0.0.1");
        if (port <= 0) {
            std::fprintf(stderr, "no port to be had on 127.0.0.1\n");
            std::exit(1);
        }
        m_url = "http://127.0.0.1:" + std::to_string(port);
        m_serving = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (!m_server.is_running()) {
            std::fprintf(stderr, "the local service did not start within a second\n");
            std::exit(1);
        }
    }
    ~LocalService()
    {
        m_server.stop();
        m_serving.join();
    }
    LocalService(const LocalService&) = delete;
    LocalService& operator=(const LocalService&) = delete;

    // "http://127.0.0.1:port"
    const std::string& Url() const { return m_url; }

private:
    httplib::Server& m_server;
    std::string m_url;
    std::thread m_serving;
};

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace tervane::bench
