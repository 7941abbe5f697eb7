#pragma once

// Remembered values that live only as long as the object: for the command-line tool
// (which leaves the window's settings as they are), the run bench and the tests.

#include "retrieval/SettingsStore.h"

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace tervane {

class MemorySettingsStore final : public SettingsStore {
public:
    std::string GetSetting(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override
    {
        const auto found = m_values.find(Key(section, key));
        return found == m_values.end() ? std::string(defaultValue) : found->second;
    }
    void SaveSetting(std::string_view section, std::string_view key, std::string_view value) override
    {
        m_values[Key(section, key)] = std::string(value);
    }
    bool Empty() const { return m_values.empty(); }

private:
    static std::pair<std::string, std::string> Key(std::string_view section, std::string_view key)
    {
        return {std::string(section), std::string(key)};
    }

    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

} // namespace tervane
