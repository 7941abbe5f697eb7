#pragma once

// The command line of tervane-cli, read without touching the process: the arguments in,
// the options (or a usage error) out. Which query runs follows from the options given,
// as the query table (QueryMode.h) has them: --lat/--lon/--radius make a radius query,
// --project a project query, anything else a county query.
//
// The window lets only some characters into its fields; the same rules (FieldRules.h)
// apply to --lat, --lon, --radius and --project here, small letters turned into
// capitals, so that a command line cannot send what the window could not. --type is one
// of the 17 display names, in any case. --state and --county are free text, as in the
// window; the catalogue checks them.

#include "kml/OutputFormat.h"
#include "retrieval/MarkListRequest.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

struct CliOptions {
    // The query, as given (after the character rule above).
    std::optional<std::string> state;
    std::optional<std::string> county;
    std::optional<std::string> latitude;
    std::optional<std::string> longitude;
    std::optional<std::string> radius;
    std::optional<std::string> project;
    std::optional<std::string> type;
    // Where the reply comes from.
    std::optional<std::string> service;      // --service
    std::optional<std::string> replyFile;    // --reply; "-" is standard input
    std::optional<std::string> user;         // --user
    std::optional<std::string> passwordFile; // --password-file
    // What is done with it.
    std::optional<std::string> outDir;
    std::optional<std::string> format; // --format: a name of the output format table
    bool dryRun = false;
    bool open = false;
    bool datasheets = false; // --datasheets: a field package
    std::optional<std::string> catalogue;
};

enum class CliCommand {
    Run,     // `options` is filled
    Help,    // --help was given
    Version, // --version was given
    Usage,   // `error` says what is wrong with the command line
};

// Reads the arguments after the program name. Options take their value as the next
// argument or after "=" (--state=VA). An option given twice, an unknown option, a
// positional argument or a value that breaks the character rule is a usage error, as
// are two queries at once and no query at all. A missing --state or --county is not:
// the run's own checks report it with the window's message.
CliCommand ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The window's inputs for these options. `selectedRegion` is left empty: it comes from
// the catalogue (ListCounties), as when a state is chosen in the window.
MarkListInputs ToMarkListInputs(const CliOptions& options);

// The file to write: --format's, else the KML document.
OutputFormat ToOutputFormat(const CliOptions& options);

// The full help text, and the one-line synopsis shown with usage errors.
std::string CliHelpText();
std::string_view CliSynopsis();

} // namespace tervane
