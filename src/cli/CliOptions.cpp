#include "cli/CliOptions.h"

#include "retrieval/ControlType.h"
#include "retrieval/FieldRules.h"
#include "retrieval/QueryMode.h"

#include <algorithm>
#include <array>
#include <span>

namespace tervane {

namespace {

constexpr std::string_view kSynopsis = "usage: tervane-cli QUERY [--type NAME] [SOURCE] [OUTPUT] [OTHER]";

constexpr std::string_view kHelp =
    R"(usage: tervane-cli QUERY [--type NAME] [SOURCE] [OUTPUT] [OTHER]

Asks the mark-list service for survey marks and writes them as a KML document, a
KMZ package, GPX waypoints, GeoJSON features or a CSV table.

QUERY, one of:
  --state CODE --county NAME             marks of one county
  --lat TEXT --lon TEXT --radius TEXT    marks within a radius (miles, at most 30)
  --project ID                           marks of one survey project
  --state and --county belong to the county query; the other two ignore them.
  --type NAME       control type ("HORIZONTAL", "GPS", ...); not needed with --project
SOURCE:
  (default)         fetch from the mark-list service
  --service URL     scheme://host[:port] of the service; else TERVANE_SERVICE_URL,
                    else the BaseUrl setting of the window
  --reply FILE      read a saved reply from FILE ('-' for standard input) instead
  --user NAME       user name offered when the service asks for a sign-in
  --password-file FILE   password offered with --user (the first line of FILE)
OUTPUT:
  --out-dir DIR     folder for the file (default: the current folder)
  --format FORMAT   what to write (default kml):
@FORMATS@  --datasheets      with --format kmz: a field package, every mark's datasheet page
                    inside it for work with no network; pages are kept in
                    ~/.cache/Tervane/datasheets for 7 days, and with --reply only
                    the kept pages are used
  --dry-run         print the requests and the file path; fetch and write nothing
  --open            hand the written file to the desktop's KML viewer (when none
                    starts: the path is printed, the reason said, exit status 1)
OTHER:
  --catalogue FILE  region catalogue to use instead of the bundled Country.dat
  --help, --version

On success the written file's path is printed on standard output (exit status 0). Failures
print the window's message on standard error (exit status 1); usage errors exit with 2.

Control types:)";

enum class Slot {
    State, County, Latitude, Longitude, Radius, Project, Type,
    Service, Reply, User, PasswordFile, OutDir, Catalogue, Format,
};

struct ValueOption {
    std::string_view name;
    Slot slot;
    std::optional<QueryField> query = std::nullopt; // the query input it gives
};

constexpr std::array<ValueOption, 14> kValueOptions{{
    {"--state", Slot::State, QueryField::State},
    {"--county", Slot::County, QueryField::County},
    {"--lat", Slot::Latitude, QueryField::Latitude},
    {"--lon", Slot::Longitude, QueryField::Longitude},
    {"--radius", Slot::Radius, QueryField::Radius},
    {"--project", Slot::Project, QueryField::Project},
    {"--type", Slot::Type, QueryField::ControlType},
    {"--service", Slot::Service},
    {"--reply", Slot::Reply},
    {"--user", Slot::User},
    {"--password-file", Slot::PasswordFile},
    {"--out-dir", Slot::OutDir},
    {"--catalogue", Slot::Catalogue},
    {"--format", Slot::Format},
}};

// The option's value in `options` (a CliOptions, const or not).
template <typename Options>
auto& Field(Options& options, Slot slot)
{
    switch (slot) {
    case Slot::State: return options.state;
    case Slot::County: return options.county;
    case Slot::Latitude: return options.latitude;
    case Slot::Longitude: return options.longitude;
    case Slot::Radius: return options.radius;
    case Slot::Project: return options.project;
    case Slot::Type: return options.type;
    case Slot::Service: return options.service;
    case Slot::Reply: return options.replyFile;
    case Slot::User: return options.user;
    case Slot::PasswordFile: return options.passwordFile;
    case Slot::OutDir: return options.outDir;
    case Slot::Catalogue: return options.catalogue;
    case Slot::Format: return options.format;
    }
    return options.state; // unreachable: every slot is listed
}

// Whether `option` gives an input of `mode` that names it: any but the type, which
// several queries share.
bool NamesQuery(const ValueOption& option, const QueryMode& mode)
{
    return option.query && *option.query != QueryField::ControlType && mode.fields.Has(*option.query);
}

bool CheckType(std::string& text, std::string& error)
{
    // Cased as the type box cases what is typed; the names hold what it would refuse
    // (blanks, "&", "/"), and any other character fails the name check anyway.
    std::string upper = text;
    for (char& c : upper) {
        const auto byte = static_cast<unsigned char>(c);
        c = static_cast<char>(FieldCharacter(FilteredField::ControlType, byte).value_or(byte));
    }
    const bool known = std::any_of(kControlTypes.begin(), kControlTypes.end(),
                                   [&](const ControlTypeEntry& e) { return e.displayName == upper; });
    if (!known) {
        error = "--type: unknown control type '" + text + "' (see --help for the list)";
        return false;
    }
    text = upper;
    return true;
}

bool CheckValues(CliOptions& options, std::string& error)
{
    // The window's fields' rules, applied to the whole value; the usage error quotes it.
    const struct {
        std::string_view name;
        std::optional<std::string>& value;
        FilteredField field;
        std::string_view allowed;
    } fields[] = {
        {"--lat", options.latitude, FilteredField::Latitude, "digits, N and S"},
        {"--lon", options.longitude, FilteredField::Longitude, "digits, E and W"},
        {"--radius", options.radius, FilteredField::Radius, "digits and '.'"},
        {"--project", options.project, FilteredField::Project, "digits and letters"},
    };
    for (const auto& option : fields) {
        if (option.value && !ApplyFieldRule(option.field, *option.value)) {
            error = std::string(option.name) + ": '" + *option.value + "' may hold " +
                    std::string(option.allowed) + " only";
            return false;
        }
    }
    if (options.type && !CheckType(*options.type, error))
        return false;
    if (options.format && !ParseOutputFormat(*options.format)) {
        error = "--format: '" + *options.format + "' is not one of " + OutputFormatNames();
        return false;
    }
    return true;
}

// Whether the options name `mode`.
bool Names(const CliOptions& options, const QueryMode& mode)
{
    return std::any_of(kValueOptions.begin(), kValueOptions.end(), [&](const ValueOption& option) {
        return NamesQuery(option, mode) && Field(options, option.slot).has_value();
    });
}

// "--lat/--lon/--radius": the options that name `mode`.
std::string NamingOptions(const QueryMode& mode)
{
    std::string text;
    for (const ValueOption& option : kValueOptions) {
        if (NamesQuery(option, mode))
            text += (text.empty() ? "" : "/") + std::string(option.name);
    }
    return text;
}

// The query the options name. The county query's options give way to another's: they
// are ignored then, as the window ignores the state and county rows in the other modes.
const QueryMode* NamedQuery(const CliOptions& options, std::string& error)
{
    const std::span<const QueryMode> modes = QueryModes();
    const QueryMode* named = nullptr;
    std::string alternatives;
    int count = 0;
    for (const QueryMode& mode : modes.subspan(1)) {
        if (!Names(options, mode))
            continue;
        alternatives += (alternatives.empty() ? "" : " or ") + NamingOptions(mode);
        named = named ? named : &mode;
        ++count;
    }
    if (count > 1) {
        error = "give one query: " + alternatives + ", not both";
        return nullptr;
    }
    if (!named && Names(options, modes.front()))
        named = &modes.front();
    if (!named)
        error = "no query given";
    return named;
}

bool CheckCombination(const CliOptions& options, std::string& error)
{
    if (!NamedQuery(options, error))
        return false;
    if (options.passwordFile && !options.user) {
        error = "--password-file needs --user";
        return false;
    }
    if (options.replyFile == "-" && options.passwordFile == "-") {
        error = "standard input can hold the reply or the password, not both";
        return false;
    }
    if (options.open && options.dryRun) {
        error = "--open has nothing to open with --dry-run";
        return false;
    }
    if (options.datasheets && ToOutputFormat(options) != OutputFormat::Kmz) {
        error = "--datasheets needs --format kmz: only a KMZ package carries the datasheets for now";
        return false;
    }
    return true;
}

} // namespace

CliCommand ParseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error)
{
    error.clear();
    options = CliOptions();
    // Asking for help works whatever else is on the line.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h")
            return CliCommand::Help;
        if (arg == "--version")
            return CliCommand::Version;
    }

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--dry-run" || arg == "--open" || arg == "--datasheets") {
            bool& flag = arg == "--dry-run" ? options.dryRun : arg == "--open" ? options.open : options.datasheets;
            if (flag) {
                error = arg + " given twice";
                return CliCommand::Usage;
            }
            flag = true;
            continue;
        }

        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto option = std::find_if(kValueOptions.begin(), kValueOptions.end(),
                                         [&](const ValueOption& o) { return o.name == name; });
        if (option == kValueOptions.end()) {
            error = arg.rfind("-", 0) == 0 && arg != "-" ? "unknown option '" + arg + "'"
                                                         : "unexpected argument '" + arg + "'";
            return CliCommand::Usage;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else {
            // A following option is a forgotten value, not a value that looks odd.
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                error = name + " needs a value";
                return CliCommand::Usage;
            }
            value = args[++i];
        }
        std::optional<std::string>& field = Field(options, option->slot);
        if (field) {
            error = name + " given twice";
            return CliCommand::Usage;
        }
        field = std::move(value);
    }

    if (!CheckValues(options, error) || !CheckCombination(options, error))
        return CliCommand::Usage;
    return CliCommand::Run;
}

MarkListInputs ToMarkListInputs(const CliOptions& options)
{
    MarkListInputs inputs;
    std::string error;
    const QueryMode* mode = NamedQuery(options, error);
    inputs.mode = (mode ? *mode : QueryModes().front()).code;
    inputs.stateText = options.state.value_or("");
    inputs.countyText = options.county.value_or("");
    inputs.controlTypeText = options.type.value_or("");
    inputs.latitudeText = options.latitude.value_or("");
    inputs.longitudeText = options.longitude.value_or("");
    inputs.radiusText = options.radius.value_or("");
    inputs.projectText = options.project.value_or("");
    return inputs;
}

OutputFormat ToOutputFormat(const CliOptions& options)
{
    return options.format ? ParseOutputFormat(*options.format).value_or(OutputFormat::Kml)
                          : OutputFormat::Kml;
}

std::string CliHelpText()
{
    std::string text(kHelp);
    // One entry per output format, its continuation lines under its text.
    std::string formats;
    for (const OutputFormatRow& row : OutputFormats()) {
        formats += std::string(22, ' ') + std::string(row.name) + "  ";
        for (const char c : row.help)
            formats += c == '\n' ? "\n" + std::string(22 + row.name.size() + 2, ' ') : std::string(1, c);
        formats += '\n';
    }
    text.replace(text.find("@FORMATS@"), 9, formats);
    constexpr std::size_t kLineWidth = 78;
    std::size_t column = kLineWidth;
    for (std::size_t i = 0; i < kControlTypes.size(); ++i) {
        const std::string entry = std::string(kControlTypes[i].displayName) + (i + 1 < kControlTypes.size() ? "," : "");
        if (column + 1 + entry.size() > kLineWidth) {
            text += "\n ";
            column = 1;
        }
        text += ' ';
        text += entry;
        column += 1 + entry.size();
    }
    return text + '\n';
}
std::string_view CliSynopsis() { return kSynopsis; }

} // namespace tervane
