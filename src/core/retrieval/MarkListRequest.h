#pragma once

// Turns the window's query inputs into a mark-list request: checks them in a fixed
// order, stopping at the first failure with its fixed message, and composes the request
// URL, the companion GPS URL (horizontal types) and the path of the KML file. What
// differs between the queries is in their table (QueryMode.h).

#include "regions/RegionCatalogue.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tervane {

// Messages the user sees, exactly.
inline constexpr std::string_view kMsgStateRequired = "State must be selected first!";
inline constexpr std::string_view kMsgCountyRequired = "County must be selected!";
inline constexpr std::string_view kMsgInvalidFips = "Invalid fips code or code not found.";
inline constexpr std::string_view kMsgLatitudeRequired = "Latitude required!";
inline constexpr std::string_view kMsgInvalidRadius = "Invalid radius!";
inline constexpr std::string_view kMsgControlTypeRequired = "Control type required!";
// The KML file is named from typed text; a name that could leave the output folder or
// hide control characters in a file name is refused rather than rewritten.
inline constexpr std::string_view kMsgUnusableFileName =
    "The file name for this query cannot be used: it contains a folder separator or a control "
    "character.";

// What the window holds when Go is pressed, as typed (untrimmed).
struct MarkListInputs {
    std::string mode;            // a QueryMode code, or empty
    std::string stateText;       // cboState text; its first two characters are the code
    std::string countyText;      // cboCounty text
    std::string controlTypeText; // cboControlType text
    std::string latitudeText;
    std::string longitudeText;
    std::string radiusText;      // miles
    std::string projectText;
    std::string selectedRegion;  // `SelectedRegion`
};

struct MarkListRequest {
    std::string mode;
    std::string stateCode;
    std::string countyName;
    std::string fipsCode;
    std::string controlCode;
    std::string latitudeText;
    std::string longitudeText;
    std::string radiusText;
    std::string projectId;
    std::string primaryUrl;
    std::string companionUrl; // empty when the type has no companion GPS request
    std::filesystem::path kmlPath;
};

enum class RequestOutcome {
    Ready,   // `request` is complete
    Invalid, // `message` says why; nothing is fetched or written
    NoMode,  // no query mode chosen yet: the run ends without a message
};

// As choosing a state in the window does: the counties of the state whose code
// (StateCode) starts `stateText`, and `selectedRegion` set to the designation of the
// region it lies in, left as it was when the catalogue names no region. False with
// `error` filled, `selectedRegion` unchanged, when the catalogue cannot be read.
bool SelectState(const std::filesystem::path& catalogueFile, std::string_view stateText, CountyList& counties,
                 std::string& selectedRegion, std::string& error);

// The main window's query rows, which the run hides once its first checks pass.
class QueryInputs {
public:
    virtual ~QueryInputs() = default;
    virtual void HideQueryInputs() = 0;
};

struct BuiltRequest {
    RequestOutcome outcome = RequestOutcome::Invalid; // NoMode: ends without a message
    std::string message;       // why, for Invalid
    bool resetPointer = false; // the failure asks for the default mouse pointer (FIPS)
    MarkListRequest request;   // for Ready; empty otherwise
};

// Checks the inputs and composes the request, stopping at the first failure, in this
// order:
//  1. the state and county, for the county query and for Go with no mode chosen (the
//     others neither show nor use those rows): a state code (the first two characters
//     of the state text, untrimmed), and a county when the selected region is "US";
//  2. the control code looked up from the type text into `controlCode`, which keeps the
//     last matched type's code between runs;
//  3. `queryInputs` hidden;
//  4. the query's own checks and its URLs and file name (its row's builder); no mode
//     chosen ends here (NoMode);
//  5. the file name.
// `serviceUrl` is "scheme://host[:port]"; `outputDir` is where the KML file goes.
//
// Typed fields are trimmed of spaces only and then used exactly as they stand, in the
// URLs (no percent-encoding) and in the file name (blanks, dots and all). Two things
// fail besides the checks: a catalogue that cannot be read (with the read error as the
// message) and a file name holding '/' or a control character (kMsgUnusableFileName).
BuiltRequest BuildMarkListRequest(const MarkListInputs& inputs, std::string& controlCode,
                                  RegionCatalogue& catalogue, std::string_view serviceUrl,
                                  const std::filesystem::path& outputDir, QueryInputs& queryInputs);

// What a query's builder (QueryMode::build) works on: the request with the inputs
// trimmed in, to complete with its URLs; the file name; or the message of the first
// check that failed, returning false.
struct ModeRequest {
    MarkListRequest& request;
    RegionCatalogue& catalogue;
    std::string_view serviceUrl;
    std::string fileName;
    std::string message;
    bool resetPointer = false;
};

} // namespace tervane
