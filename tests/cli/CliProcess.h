#pragma once

// Runs the built tervane-cli as a child process and collects what it prints. Every run
// is bounded: a child still alive after a minute is killed and reported with status -1.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tervane::testing {

struct CliRun {
    std::vector<std::string> args{};
    std::filesystem::path workingDir{};     // also holds the child's HOME ("home" inside it)
    std::string input{};                    // standard input, a pipe; small enough for its buffer
    std::vector<std::string> environment{}; // "NAME=value", before PATH, HOME and LC_ALL=C
    // Standard input and standard error on a pseudo-terminal instead of pipes: each time
    // the terminal shows `first`, `second` is typed, in order; `signal` follows the last.
    // What the terminal shows, echo included, lands in CliResult::err.
    std::vector<std::pair<std::string, std::string>> dialogue{};
    // Without a dialogue: `signal` is sent the first time `signalWhen` holds (asked every
    // few milliseconds while the child runs).
    std::function<bool()> signalWhen{};
    int signal = 0;
};

struct CliResult {
    int status = -1; // the exit status; -1 when ended by a signal or not started
    std::string out;
    std::string err;
    bool terminalEchoes = false; // with a dialogue: the terminal's echo once the child ended
};

CliResult RunCli(const CliRun& run);

} // namespace tervane::testing
