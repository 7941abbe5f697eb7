#include "adapters/ViewerLauncher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tervane {

namespace {

constexpr std::chrono::milliseconds kLookInterval{20};
// xdg-open's status when it found no way to open the file.
constexpr int kNoMethodStatus = 3;

// xdg-open calls still running a viewer when their wait ended; reaped once they end, so
// that none is left a zombie for long.
std::vector<pid_t>& Lingering()
{
    static std::vector<pid_t> pids;
    return pids;
}

void ReapLingering()
{
    auto& pids = Lingering();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](pid_t pid) {
                                  int status = 0;
                                  return waitpid(pid, &status, WNOHANG) != 0;
                              }),
               pids.end());
}

std::string StatusReason(int status)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoMethodStatus)
        return "xdg-open found no program that opens this type of file.";
    if (WIFEXITED(status))
        return "xdg-open ended with status " + std::to_string(WEXITSTATUS(status)) + ".";
    return "xdg-open was ended by signal " + std::to_string(WTERMSIG(status)) + ".";
}

} // namespace

bool StartViewer(const std::filesystem::path& document, std::chrono::milliseconds wait,
                 const std::function<void()>& whileWaiting, std::string& reason)
{
    reason.clear();
    ReapLingering();
    // Absolute, so that a name starting with '-' cannot read as an option.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(document, ec);
    std::string file = (ec ? document : absolute).string();

    // Its output goes to standard error, never into tervane-cli's standard output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    std::string program = "xdg-open";
    char* argv[] = {program.data(), file.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        reason = std::string("xdg-open could not be started: ") + std::strerror(spawned) + ".";
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return true;
            reason = StatusReason(status);
            return false;
        }
        if (ended < 0 && errno != EINTR)
            return true; // reaped elsewhere: it started, and nothing says it failed
        if (std::chrono::steady_clock::now() >= deadline) {
            Lingering().push_back(pid);
            return true;
        }
        if (whileWaiting)
            whileWaiting();
        std::this_thread::sleep_for(kLookInterval);
    }
}

} // namespace tervane
