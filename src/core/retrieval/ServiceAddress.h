#pragma once

// Where the mark-list service lives: "scheme://host[:port]", chosen in this order:
// the environment variable TERVANE_SERVICE_URL, the setting "Service/BaseUrl", the
// address built in at configure time (CMake cache TERVANE_SERVICE_URL). The datasheet
// links in the KML document use the same address.

#include "retrieval/SettingsStore.h"

#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kServiceUrlVariable = "TERVANE_SERVICE_URL";
inline constexpr std::string_view kServiceSection = "Service";
inline constexpr std::string_view kServiceKey = "BaseUrl";

// Shown when no address is configured, before anything is fetched.
extern const std::string_view kMsgNoServiceAddress;

// The address built into this program (may be empty).
std::string_view BuiltInServiceUrl();

// The first non-empty of the three, blanks trimmed and trailing '/' removed; empty when
// none is set.
std::string ResolveServiceUrl(std::string_view environmentValue, std::string_view settingValue,
                              std::string_view builtInValue);

// The value of TERVANE_SERVICE_URL in this process's environment; empty when unset.
std::string EnvironmentServiceUrl();

// The configured address, the window's and tervane-cli's alike (the tool's --service
// comes before it): ResolveServiceUrl of `environmentValue`, the setting
// Service/BaseUrl read from `settings`, and the built-in address. Writes nothing.
std::string ConfiguredServiceUrl(std::string_view environmentValue, SettingsStore& settings);

// Checks a configured address: an http or https scheme and a host, optional port, no
// path, query or blanks. False with `error` naming the address otherwise; an address
// with a user name or password in it ("http://user:pw@host") is named without them.
bool CheckServiceUrl(std::string_view url, std::string& error);

} // namespace tervane
