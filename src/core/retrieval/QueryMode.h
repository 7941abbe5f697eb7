#pragma once

// The queries Go can run, one row each: the county, radius and project queries. A row
// holds everything that differs between them: the code the window keeps as its query
// mode, the "Stations" menu command that picks it, the inputs it reads and the builder
// of its request. The core's request building, the window's menu and rows, and the
// tool's query options all read this table; adding a query is a row and its builder.
//
// The window's query mode is empty until the user picks one from the "Stations" menu; a
// run with no mode ends quietly.

#include <initializer_list>
#include <span>
#include <string_view>

namespace tervane {

// The query inputs: one row of the window each, and one option of tervane-cli each.
enum class QueryField : unsigned {
    State = 1u << 0,
    County = 1u << 1,
    Latitude = 1u << 2,
    Longitude = 1u << 3,
    Radius = 1u << 4,
    Project = 1u << 5,
    ControlType = 1u << 6,
};

// A set of query inputs.
class QueryFields {
public:
    constexpr QueryFields(std::initializer_list<QueryField> fields)
    {
        for (QueryField field : fields)
            m_bits |= static_cast<unsigned>(field);
    }
    constexpr bool Has(QueryField field) const { return (m_bits & static_cast<unsigned>(field)) != 0; }

private:
    unsigned m_bits = 0;
};

// The county and type rows come and go with the state box and the focus, whatever the
// query; the window's mode commands show and hide the others.
inline constexpr QueryFields kSharedFields{QueryField::County, QueryField::ControlType};

struct ModeRequest; // MarkListRequest.h
// Checks a query's own inputs and composes its URLs and file name (MarkListRequest.h).
using RequestBuilder = bool (*)(ModeRequest& request);

struct QueryMode {
    std::string_view code;     // kept in MarkListInputs::mode
    std::string_view command;  // the menu command's object name
    std::string_view menuText; // in the "Stations" menu
    // What the query reads. The state and county are checked before anything else only
    // for a query that reads the state (and for Go with no query chosen); the window's
    // command shows these rows but the shared ones; the tool takes these options, and
    // any of them but --type names the query.
    QueryFields fields;
    RequestBuilder build;
};

inline constexpr std::string_view kModeStateCounty = "SC";
inline constexpr std::string_view kModeRadius = "LL";
inline constexpr std::string_view kModeProject = "PR";

// In the menu's order. The first row, the county query, is what tervane-cli runs when
// its options name no other query.
std::span<const QueryMode> QueryModes();

// The row of `code`; null for an empty or unknown code (no query chosen).
const QueryMode* FindQueryMode(std::string_view code);

} // namespace tervane
