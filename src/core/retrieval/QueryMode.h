#pragma once

// The window's query mode: which of the three queries Go runs. Empty until the user
// picks a mode from the "Stations" menu; a run with no mode ends quietly.

#include <string_view>

namespace tervane {

inline constexpr std::string_view kModeStateCounty = "SC"; // "By State and County"
inline constexpr std::string_view kModeRadius = "LL";      // "By Lat Lon Radius"
inline constexpr std::string_view kModeProject = "PR";     // "By Project ID"

} // namespace tervane
