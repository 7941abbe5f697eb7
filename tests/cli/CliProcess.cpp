#include "CliProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace tervane::testing {

namespace {

// Variables that would let the developer's own set-up leak into a test.
const char* const kScrubbed[] = {"TERVANE_SERVICE_URL", "HOME", "XDG_CONFIG_HOME"};

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> ChildEnvironment(const CliRun& run)
{
    std::vector<std::string> names(std::begin(kScrubbed), std::end(kScrubbed));
    for (const std::string& extra : run.environment)
        names.push_back(NameOf(extra));
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::find(names.begin(), names.end(), NameOf(*e)) == names.end())
            env.emplace_back(*e);
    env.push_back("HOME=" + (run.workingDir / "home").string());
    env.insert(env.end(), run.environment.begin(), run.environment.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Reads what is there; false once the other side is closed (a pseudo-terminal reports
// EIO when the child is gone).
bool Drain(int fd, std::string& into)
{
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        into.append(buffer, static_cast<std::size_t>(n));
    return n < 0 && (errno == EAGAIN || errno == EINTR);
}

} // namespace

CliResult RunCli(const CliRun& run)
{
    // A child that exits before reading its input must not take the test down with it.
    std::signal(SIGPIPE, SIG_IGN);
    CliResult result;
    std::vector<std::string> argv{TERVANE_CLI_PATH};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    std::vector<std::string> env = ChildEnvironment(run);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);

    int out[2] = {-1, -1};
    int err[2] = {-1, -1}; // with `terminal`: our side and the child's side of the terminal
    int in[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (run.terminal) {
        err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0)
            return result;
        err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
        in[0] = err[1];
    } else if (pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, run.workingDir.c_str());
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {out[1], err[1], run.terminal ? -1 : in[0]})
        if (fd >= 0)
            close(fd);
    if (in[1] >= 0) {
        if (write(in[1], run.input.data(), run.input.size()) < 0) {
            // The child left without reading it; what it printed tells why.
        }
        close(in[1]);
    }
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        result.err = std::string("could not start the tool: ") + std::strerror(spawned);
        return result;
    }

    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    std::size_t step = 0;
    std::size_t shownFrom = 0; // terminal output before this offset answered earlier steps
    bool outOpen = true;
    bool errOpen = true;
    bool exited = false;
    bool signalled = false;
    int waitStatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while ((outOpen || errOpen || !exited) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        poll(fds, 2, run.signalWhen ? 2 : 50);
        outOpen = outOpen && Drain(out[0], result.out);
        errOpen = errOpen && Drain(err[0], result.err);
        const std::size_t at = step < run.dialogue.size() ? result.err.find(run.dialogue[step].first, shownFrom)
                                                           : std::string::npos;
        if (at != std::string::npos) {
            const std::string& typed = run.dialogue[step].second;
            if (write(err[0], typed.data(), typed.size()) < 0)
                break;
            shownFrom = at + run.dialogue[step++].first.size();
            if (step == run.dialogue.size() && run.signalAfterDialogue != 0)
                kill(pid, run.signalAfterDialogue);
        }
        if (run.signalWhen && !signalled && !exited && run.signalWhen()) {
            kill(pid, run.signal);
            signalled = true;
        }
        // The terminal stays open on our side, so its end is the child's exit.
        if (!exited && waitpid(pid, &waitStatus, WNOHANG) == pid) {
            exited = true;
            if (run.terminal) {
                Drain(err[0], result.err);
                errOpen = false;
            }
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &waitStatus, 0);
    } else if (WIFEXITED(waitStatus)) {
        result.status = WEXITSTATUS(waitStatus);
    }
    termios settings{};
    result.terminalEchoes = run.terminal && tcgetattr(err[0], &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    close(out[0]);
    close(err[0]);
    return result;
}

} // namespace tervane::testing
