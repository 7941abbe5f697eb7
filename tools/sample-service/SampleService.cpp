#include "SampleService.h"

#include "SampleMarks.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>

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

} // namespace

SampleService::SampleService(std::string userName, std::string password)
    : m_server(std::make_unique<httplib::Server>()), m_state(std::make_shared<ServiceState>())
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
}

SampleService::~SampleService() { Stop(); }

int SampleService::Bind(int port)
{
    if (port == 0) {
        return m_server->bind_to_any_port(kListenAddress);
    }
    return m_server->bind_to_port(kListenAddress, port) ? port : -1;
}

bool SampleService::Serve() { return m_server->listen_after_bind(); }

bool SampleService::ServeInBackground()
{
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    constexpr int kAttempts = 1000;
    for (int i = 0; i < kAttempts && !m_server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_server->is_running();
}

void SampleService::Stop()
{
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool SampleService::IsRunning() const { return m_server->is_running(); }

int SampleService::RequestCount() const { return m_state->requests; }

} // namespace tervane::sample
