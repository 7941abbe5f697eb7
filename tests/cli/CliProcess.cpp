#include "CliProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace tervane::testing {

namespace {

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

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

CliResult RunCli(const CliRun& run)
{
    // A child that exits before reading its input must not take the test down with it.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> argv{TERVANE_CLI_PATH};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    // Nothing of the developer's own set-up (service address, settings) leaks in.
    std::vector<std::string> env = run.environment;
    const char* path = std::getenv("PATH");
    env.insert(env.end(), {std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
                           "HOME=" + (run.workingDir / "home").string(), "LC_ALL=C"});
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);

    // With a dialogue, err[0] is our side of the terminal and err[1] the child's.
    const bool terminal = !run.dialogue.empty();
    int out[2], err[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0)
        return {};
    if (terminal) {
        err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0)
            return {};
        err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else if (pipe2(err, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(terminal ? err[1] : in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (chdir(run.workingDir.c_str()) == 0)
            execve(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }
    for (int fd : {out[1], err[1], in[0]})
        close(fd);
    if (write(in[1], run.input.data(), run.input.size()) < 0) {
        // The child left without reading it; what it printed tells why.
    }
    close(in[1]);

    CliResult result;
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    std::size_t step = 0;
    std::size_t shownFrom = 0; // terminal output before this offset answered earlier steps
    bool outOpen = true;
    bool errOpen = true;
    bool exited = pid < 0;
    bool signalled = false;
    int waitStatus = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while ((outOpen || errOpen || !exited) && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        poll(fds, 2, run.signalWhen ? 2 : 50);
        outOpen = outOpen && Drain(out[0], result.out);
        errOpen = errOpen && Drain(err[0], result.err);
        const std::size_t at = step < run.dialogue.size()
                                   ? result.err.find(run.dialogue[step].first, shownFrom)
                                   : std::string::npos;
        if (at != std::string::npos) {
            const std::string& typed = run.dialogue[step].second;
            if (write(err[0], typed.data(), typed.size()) < 0)
                break;
            shownFrom = at + run.dialogue[step++].first.size();
            if (step == run.dialogue.size() && run.signal != 0)
                kill(pid, run.signal);
        }
        if (run.signalWhen && !signalled && !exited && run.signalWhen()) {
            kill(pid, run.signal);
            signalled = true;
        }
        // The terminal stays open on our side, so its end is the child's exit.
        if (!exited && waitpid(pid, &waitStatus, WNOHANG) == pid) {
            exited = true;
            if (terminal) {
                Drain(err[0], result.err);
                errOpen = false;
            }
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &waitStatus, 0);
    } else if (pid > 0 && WIFEXITED(waitStatus)) {
        result.status = WEXITSTATUS(waitStatus);
    }
    termios settings{};
    result.terminalEchoes = terminal && tcgetattr(err[0], &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    close(out[0]);
    close(err[0]);
    return result;
}

} // namespace tervane::testing
