#pragma once

// Runs the built tervane-cli as a child process and collects what it prints. Every run
// is bounded: a child still alive after the time limit is killed and the run reported
// as unfinished.

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tervane::testing {

struct CliRun {
    std::vector<std::string> args;
    std::filesystem::path workingDir; // also holds the child's HOME ("home" inside it)
    std::string input;                // standard input, a pipe (ignored with `terminal`)
    std::vector<std::string> environment; // "NAME=value", replacing the inherited value
    // Standard input and standard error on a pseudo-terminal instead of pipes; what the
    // terminal shows (echo included) lands in CliResult::err.
    bool terminal = false;
    // With `terminal`: each time the terminal shows `first`, type `second`, in order.
    std::vector<std::pair<std::string, std::string>> dialogue;
    std::chrono::seconds timeLimit{60};
};

struct CliResult {
    bool finished = false; // false: killed at the time limit, or could not start
    int status = -1;       // the exit status when finished
    std::string out;
    std::string err;
};

CliResult RunCli(const CliRun& run);

} // namespace tervane::testing
