// tervane-sample-service: a stand-in mark-list service on 127.0.0.1 for trying Tervane
// without the survey agency's server. See SampleMarks.h for what it answers.
//
//   tervane-sample-service [--port N] [--user NAME --password PW]
//
// With --port 0 it takes any free port; the first line it prints names the address.

#include "SampleService.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxPort = 65535;

tervane::sample::SampleService* g_service = nullptr;

void StopOnSignal(int)
{
    // httplib's stop only flips a flag and shuts the listening socket: safe enough here.
    if (g_service) {
        g_service->Stop();
    }
}

int Usage(const char* problem)
{
    if (problem) {
        std::fprintf(stderr, "tervane-sample-service: %s\n", problem);
    }
    std::fprintf(stderr,
                 "usage: tervane-sample-service [--port N] [--user NAME --password PW]\n"
                 "Answers mark-list queries with made-up marks on http://127.0.0.1:N (default %d;\n"
                 "0 takes any free port, named on the first line printed).\n"
                 "With --user and --password it asks for HTTP Basic sign-in.\n",
                 tervane::sample::kDefaultPort);
    return problem ? kUsageError : 0;
}

} // namespace

int main(int argc, char** argv)
{
    int port = tervane::sample::kDefaultPort;
    std::string user;
    std::string password;
    bool passwordGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            return Usage(nullptr);
        }
        if (i + 1 >= argc) {
            return Usage("an option is missing its value");
        }
        const std::string_view value = argv[++i];
        if (option == "--port") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (ec != std::errc() || end != value.data() + value.size() || port < 0 || port > kMaxPort) {
                return Usage("--port takes a number from 0 to 65535");
            }
        } else if (option == "--user") {
            user = value;
        } else if (option == "--password") {
            password = value;
            passwordGiven = true;
        } else {
            return Usage("unknown option");
        }
    }
    if (user.empty() != !passwordGiven) {
        return Usage("--user and --password go together");
    }

    tervane::sample::SampleService service(user, password);
    const int bound = service.Bind(port);
    if (bound < 0) {
        std::fprintf(stderr, "tervane-sample-service: cannot listen on 127.0.0.1:%d: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    g_service = &service;
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGTERM, StopOnSignal);
    std::printf("Tervane sample service on http://127.0.0.1:%d%s (Ctrl+C ends it)\n", bound,
                user.empty() ? "" : ", Basic sign-in required");
    std::fflush(stdout);
    return service.Serve() ? 0 : 1;
}
