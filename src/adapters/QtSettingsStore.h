#pragma once

// The remembered values in a per-user QSettings file: organisation and application
// "Tervane", so ~/.config/Tervane/Tervane.conf (under $XDG_CONFIG_HOME when set), one
// group per section.
//
// The file may hold the sign-in password, so it is created readable by its owner only
// (0600) and put back to that after every save; a folder that has to be made for it is
// made owner-only too. Values are texts and come back exactly as saved, blanks included.
//
// A settings file that cannot be read (a FIFO, where reading would wait for a writer for
// ever, a device, a folder, a file without read permission) is looked at before QSettings
// opens it and left alone: nothing is read from it or written to it, every value reads
// as its default, and ReadProblem says why, for the program to tell the user rather than
// let the defaults pass for what was configured.

#include "retrieval/SettingsStore.h"

#include <QSettings>

#include <memory>
#include <string>

namespace tervane {

// ReadOnly: saving does nothing. tervane-cli reads the window's settings (the service
// address) and must never change them.
enum class SettingsAccess { ReadWrite, ReadOnly };

class QtSettingsStore : public SettingsStore {
public:
    // The user's own settings file.
    explicit QtSettingsStore(SettingsAccess access = SettingsAccess::ReadWrite);

    std::string GetSetting(std::string_view section, std::string_view key,
                           std::string_view defaultValue) override;
    void SaveSetting(std::string_view section, std::string_view key, std::string_view value) override;

    // Empty when the settings file could be read or does not exist yet; otherwise a
    // sentence naming the file and the reason.
    const std::string& ReadProblem() const { return m_readProblem; }

private:
    void PrepareFile();

    std::unique_ptr<QSettings> m_settings;
    SettingsAccess m_access = SettingsAccess::ReadWrite;
    std::string m_readProblem;
};

} // namespace tervane
