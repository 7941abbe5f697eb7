#pragma once

// The remembered values in memory, for tests at every level: what was saved, by section
// and key, and the default for anything else.

#include "retrieval/SettingsStore.h"

#include <map>
#include <string>

namespace tervane::testing {

struct MemorySettingsStore : SettingsStore {
    std::string GetSetting(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override
    {
        const auto found = values.find({std::string(section), std::string(key)});
        return found == values.end() ? std::string(defaultValue) : found->second;
    }
    void SaveSetting(std::string_view section, std::string_view key, std::string_view value) override
    {
        values[{std::string(section), std::string(key)}] = std::string(value);
    }
    // The saved value, "<absent>" when nothing was saved.
    std::string Get(std::string_view section, std::string_view key)
    {
        return GetSetting(section, key, "<absent>");
    }

    std::map<std::pair<std::string, std::string>, std::string> values;
};

} // namespace tervane::testing
