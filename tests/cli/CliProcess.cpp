#include "CliProcess.h"

#include "ReplyLines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace tervane::testing {

namespace {

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
    std::vector<std::string> argv{TERVANE_CLI_PATH};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    // Nothing of the developer's own set-up (service address, settings) leaks in.
    std::vector<std::string> env = run.environment;
    const char* path = std::getenv("PATH");
    env.insert(env.end(), {std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
                           "HOME=" + (run.workingDir / "home").string(), "LC_ALL=C"});
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);
    // Standard input, output and error are files beside the test's folder; with a
    // dialogue, standard input and error are a pseudo-terminal whose other side is ours.
    const std::string files = run.workingDir.string() + "-std";
    std::ofstream(files + "in", std::ios::binary) << run.input;
    const bool terminal = !run.dialogue.empty();
    const int ours = terminal ? posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    const std::string in =
        terminal && grantpt(ours) == 0 && unlockpt(ours) == 0 ? ptsname(ours) : files + "in";
    const pid_t pid = fork();
    if (pid == 0) {
        const int input = open(in.c_str(), O_RDWR | O_NOCTTY);
        dup2(input, STDIN_FILENO);
        dup2(open((files + "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(terminal ? input : open((files + "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
             STDERR_FILENO);
        if (chdir(run.workingDir.c_str()) == 0)
            execve(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }

    CliResult result;
    if (terminal)
        fcntl(ours, F_SETFL, O_NONBLOCK);
    std::size_t step = 0;
    std::size_t shownFrom = 0; // terminal output before this offset answered earlier steps
    bool signalled = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
        char buffer[4096];
        for (ssize_t n; terminal && (n = read(ours, buffer, sizeof buffer)) > 0;)
            result.err.append(buffer, static_cast<std::size_t>(n));
        const std::size_t at = step < run.dialogue.size()
                                   ? result.err.find(run.dialogue[step].first, shownFrom)
                                   : std::string::npos;
        if (at != std::string::npos) {
            const std::string& typed = run.dialogue[step].second;
            if (write(ours, typed.data(), typed.size()) < 0)
                ADD_FAILURE() << "cannot type on the terminal";
            shownFrom = at + run.dialogue[step++].first.size();
        }
        if (!signalled && run.signal != 0 &&
            (run.signalWhen ? run.signalWhen() : step == run.dialogue.size()))
            signalled = kill(pid, run.signal) == 0;
        if (std::chrono::steady_clock::now() > deadline)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status) && pid > 0)
        result.status = WEXITSTATUS(status);
    result.out = ReadFile(files + "out");
    if (terminal) {
        char buffer[4096];
        for (ssize_t n; (n = read(ours, buffer, sizeof buffer)) > 0;)
            result.err.append(buffer, static_cast<std::size_t>(n));
        termios settings{};
        result.terminalEchoes = tcgetattr(ours, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
        close(ours);
    } else {
        result.err = ReadFile(files + "err");
    }
    for (const char* name : {"in", "out", "err"})
        std::filesystem::remove(files + name);
    return result;
}

} // namespace tervane::testing
