#pragma once

// Fakes at the window's ports, and a folder laid out like the program's, for the window
// and dialog tests.

#include "retrieval/RetrievalRun.h"
#include "retrieval/SettingsStore.h"
#include "ui/frmMain.h"

#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tervane::test {

class MemorySettings : public SettingsStore {
public:
    std::string GetSetting(std::string_view section, std::string_view key, std::string_view defaultValue) override
    {
        const auto found = values.find({std::string(section), std::string(key)});
        return found == values.end() ? std::string(defaultValue) : found->second;
    }
    void SaveSetting(std::string_view section, std::string_view key, std::string_view value) override
    {
        values[{std::string(section), std::string(key)}] = std::string(value);
    }
    std::string Get(std::string_view section, std::string_view key) { return GetSetting(section, key, "<absent>"); }

    std::map<std::pair<std::string, std::string>, std::string> values;
};

class RecordingMessages : public MessageBox {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// A folder standing in for the program's: the catalogue (when given) and the help page.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& catalogueFixture = "window-catalogue.dat")
    {
        if (!catalogueFixture.empty()) {
            std::filesystem::copy_file(std::filesystem::path(TEST_DATA_DIR) / catalogueFixture,
                                       Path() / "Country.dat");
        }
    }
    std::filesystem::path Path() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
};

// The real main window over fakes; quitting and beeping are counted instead of done.
struct WindowUnderTest {
    explicit WindowUnderTest(const ProgramFolder& folder, bool load = true)
        : window(settings, messages, Setup(folder))
    {
        if (load) {
            window.Load();
        }
    }

    MainWindowSetup Setup(const ProgramFolder& folder)
    {
        MainWindowSetup setup;
        setup.programDir = folder.Path();
        setup.documentsDir = folder.Path() / "Documents";
        setup.quit = [this] { ++quits; };
        setup.beep = [this] { ++beeps; };
        return setup;
    }

    template <typename T> T* Find(const char* name) { return window.findChild<T*>(QString::fromLatin1(name)); }

    MemorySettings settings;
    RecordingMessages messages;
    int quits = 0;
    int beeps = 0;
    frmMain window;
};

} // namespace tervane::test
