#pragma once

// The per-user store of remembered values: text values addressed by section and key,
// under the application name "Tervane". Values are read with a default and overwritten;
// nothing is ever deleted.

#include <string>
#include <string_view>

namespace tervane {

inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kStateKey = "State";
inline constexpr std::string_view kCountyKey = "County";
inline constexpr std::string_view kSignInSection = "frmLogin";
inline constexpr std::string_view kCheckBoxKey = "CheckBox";
inline constexpr std::string_view kUserNameKey = "UserName";
inline constexpr std::string_view kPasswordKey = "Password";

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string GetSetting(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) = 0;
    virtual void SaveSetting(std::string_view section, std::string_view key, std::string_view value) = 0;
};

} // namespace tervane
