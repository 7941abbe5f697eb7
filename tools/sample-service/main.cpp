// tervane-sample-service: a stand-in mark-list service on 127.0.0.1 for trying Tervane
// without the survey agency's server. See SampleMarks.h for what it answers.
//
//   tervane-sample-service [--port N] [--user NAME --password PW] [--parent-pid PID]
//
// With --port 0 it takes any free port; the first line it prints names the address.
// With --parent-pid it ends when its parent, which must be PID, ends (Linux).

#include "SampleService.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#ifdef __linux__
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxPort = 65535;

tervane::sample::SampleService* g_service = nullptr;

void StopOnSignal(int)
{
    if (g_service) {
        g_service->RequestStop(); // sets an atomic flag only
    }
}

// The service serves whoever started it: once that process is gone, whatever ended it,
// the kernel kills the service. The parent may have ended before the request was made,
// hence the check after it.
bool DieWithParent(int parent)
{
#ifdef __linux__
    return ::prctl(PR_SET_PDEATHSIG, SIGKILL) == 0 && ::getppid() == parent;
#else
    (void)parent;
    return false;
#endif
}

int Usage(const char* problem)
{
    if (problem) {
        std::fprintf(stderr, "tervane-sample-service: %s\n", problem);
    }
    std::fprintf(stderr,
                 "usage: tervane-sample-service [--port N] [--user NAME --password PW] [--parent-pid PID]\n"
                 "Answers mark-list queries with made-up marks on http://127.0.0.1:N (default %d;\n"
                 "0 takes any free port, named on the first line printed).\n"
                 "With --user and --password it asks for HTTP Basic sign-in.\n"
                 "With --parent-pid it ends when its parent process PID ends.\n",
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
    int parent = 0;
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
        } else if (option == "--parent-pid") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parent);
            if (ec != std::errc() || end != value.data() + value.size() || parent <= 1) {
                return Usage("--parent-pid takes a process number above 1");
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

    if (parent != 0 && !DieWithParent(parent)) {
        std::fprintf(stderr, "tervane-sample-service: process %d, which started it, is gone or not its parent\n",
                     parent);
        return 1;
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
