#include "CliProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tervane::testing {

namespace {

// Variables that would let the developer's own set-up leak into a test.
const char* const kScrubbed[] = {"TERVANE_SERVICE_URL", "HOME", "XDG_CONFIG_HOME"};

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> ChildEnvironment(const CliRun& run)
{
    std::vector<std::string> names;
    for (const std::string& extra : run.environment)
        names.push_back(NameOf(extra));
    for (const char* scrubbed : kScrubbed)
        names.emplace_back(scrubbed);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (std::find(names.begin(), names.end(), NameOf(entry)) == names.end())
            env.push_back(entry);
    }
    env.push_back("HOME=" + (run.workingDir / "home").string());
    for (const std::string& extra : run.environment)
        env.push_back(extra);
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

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Reads what is there; false once the other side is closed (a pseudo-terminal reports
// EIO when the child is gone).
bool Drain(int fd, std::string& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return true;
        return false;
    }
}

struct Pipe {
    int read = -1;
    int write = -1;
};

Pipe MakePipe()
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    return {fds[0], fds[1]};
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

    Pipe out = MakePipe();
    Pipe err;
    Pipe in;
    int terminal = -1;
    int terminalChild = -1;
    if (run.terminal) {
        terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0)
            return result;
        terminalChild = open(ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        err = MakePipe();
        in = MakePipe();
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, run.terminal ? terminalChild : in.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, run.terminal ? terminalChild : err.write, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, run.workingDir.c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argvPointers[0], &actions, nullptr, argvPointers.data(),
                                    envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {out.write, err.write, in.read, terminalChild})
        if (fd >= 0)
            close(fd);
    if (spawned != 0) {
        for (int fd : {out.read, err.read, in.write, terminal})
            if (fd >= 0)
                close(fd);
        result.err = std::string("could not start the tool: ") + std::strerror(spawned);
        return result;
    }

    const int errFd = run.terminal ? terminal : err.read;
    SetNonBlocking(out.read);
    SetNonBlocking(errFd);
    int inputFd = in.write;
    std::size_t written = 0;
    if (inputFd >= 0)
        SetNonBlocking(inputFd);

    std::size_t step = 0;
    std::size_t shownFrom = 0; // terminal output before this offset answered earlier steps
    bool outOpen = true;
    bool errOpen = true;
    bool exited = false;
    int waitStatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + run.timeLimit;
    while ((outOpen || errOpen || !exited) && std::chrono::steady_clock::now() < deadline) {
        if (inputFd >= 0) {
            if (written < run.input.size()) {
                const ssize_t n = write(inputFd, run.input.data() + written, run.input.size() - written);
                if (n > 0)
                    written += static_cast<std::size_t>(n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    written = run.input.size();
            }
            if (written >= run.input.size()) {
                close(inputFd);
                inputFd = -1;
            }
        }

        pollfd fds[2] = {{out.read, POLLIN, 0}, {errFd, POLLIN, 0}};
        poll(fds, 2, 50);
        if (outOpen)
            outOpen = Drain(out.read, result.out);
        if (errOpen)
            errOpen = Drain(errFd, result.err);

        if (run.terminal && step < run.dialogue.size()) {
            const std::size_t at = result.err.find(run.dialogue[step].first, shownFrom);
            if (at != std::string::npos) {
                const std::string& typed = run.dialogue[step].second;
                if (write(terminal, typed.data(), typed.size()) < 0)
                    break;
                shownFrom = at + run.dialogue[step].first.size();
                ++step;
            }
        }
        // The terminal stays open on our side, so its end is the child's exit.
        if (!exited && waitpid(pid, &waitStatus, WNOHANG) == pid) {
            exited = true;
            if (run.terminal) {
                Drain(errFd, result.err);
                errOpen = false;
            }
        }
    }

    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &waitStatus, 0);
    } else if (WIFEXITED(waitStatus)) {
        result.finished = true;
        result.status = WEXITSTATUS(waitStatus);
    }
    for (int fd : {out.read, err.read, inputFd, terminal})
        if (fd >= 0)
            close(fd);
    return result;
}

} // namespace tervane::testing
