#pragma once

// The control types a user can ask for, and the rules keyed on their request codes.
//
// The window shows the display names; the mark-list service knows the request codes.
// The window owns the current code (`ControlCode`), empty at start; only
// LookupControlCode changes it, and it outlives a run: a later run with an unmatched
// type text reuses the code the last matched type left.

#include <array>
#include <string>
#include <string_view>

namespace tervane {

struct ControlTypeEntry {
    std::string_view displayName; // as the type list shows it, upper case
    std::string_view requestCode; // sent to the service and used in the file name
};

// The 17 types in the order the window's type list shows them. "GPS" is the only
// code without the trailing "-0"; both forms go to the service exactly as written.
inline constexpr std::array<ControlTypeEntry, 17> kControlTypes{{
    {"HORIZONTAL", "H-0-0"},
    {"HORIZONTAL A", "H-A-0"},
    {"HORIZONTAL B", "H-B-0"},
    {"HORIZONTAL 1", "H-1-0"},
    {"HORIZONTAL 2", "H-2-0"},
    {"PACS & SACS", "P-S-0"},
    {"VERTICAL", "V-0-0"},
    {"VERTICAL 1", "V-1-0"},
    {"VERTICAL 2", "V-2-0"},
    {"VERTICAL GPS", "V-G-0"},
    {"CORS", "COR-0"},
    {"GPS", "H-G"},
    {"GPS HT MOD", "GP2-0"},
    {"WISCONSIN HT MOD", "MOD-0"},
    {"FBN/CBN", "F-C-0"},
    {"TIDAL", "TID-0"},
    {"DESTROYED", "D-D-0"},
}};

// The code the companion GPS request of the horizontal types sends instead.
inline constexpr std::string_view kGpsCompanionCode = "H-G-0";

// Sets controlCode to the request code of the row whose display name equals
// displayName exactly (case-sensitive, untrimmed). With no match, empty text included,
// controlCode keeps its value. Returns whether a row matched.
bool LookupControlCode(std::string& controlCode, std::string_view displayName);

// True when code starts with "H" and is not the plain "GPS" code "H-G": the five
// horizontal types, whose queries also fetch the GPS marks with code "H-G-0".
bool HasGpsCompanion(std::string_view code);

} // namespace tervane
