#pragma once

// Fakes at the window's ports, and a folder laid out like the program's, for the window
// and dialog tests.

#include "retrieval/RetrievalRun.h"
#include "retrieval/SettingsStore.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tervane::test {

struct MemorySettings : SettingsStore {
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

struct RecordingMessages : MessageBox {
    void Show(const std::string& text) override
    {
        shown.push_back(text);
        if (whileShown)
            whileShown();
    }
    std::vector<std::string> shown;
    std::function<void()> whileShown; // runs while the message is "on the screen"
};

// Keeps what a run does with the processing dialog: the step text at every showing, and
// every operation in order ("show", "hide", "info:<text>", "bar:on", "bar:off", "max:<n>").
struct RecordingDialog : ProcessingDialog {
    void Show() override
    {
        events.push_back("show");
        shownTexts.push_back(processingLabelShown ? "Processing... " + info : info);
        visible = true;
    }
    void Hide() override
    {
        events.push_back("hide");
        visible = false;
    }
    void HideProcessingLabel() override { processingLabelShown = false; }
    void SetInfo(const std::string& text) override
    {
        info = text;
        events.push_back("info:" + text);
    }
    void SetBarVisible(bool shown) override { events.push_back(shown ? "bar:on" : "bar:off"); }
    void SetBarMaximum(std::size_t maximum) override { events.push_back("max:" + std::to_string(maximum)); }
    void SetBarValue(std::size_t value) override { lastBarValue = value; }

    std::vector<std::string> events;
    std::vector<std::string> shownTexts;
    std::string info;
    bool visible = false;
    bool processingLabelShown = true;
    std::size_t lastBarValue = 0;
};

class RecordingOpener : public DocumentOpener {
public:
    explicit RecordingOpener(const RecordingDialog& dialog) : m_dialog(dialog) {}
    void Open(const std::filesystem::path& document) override
    {
        opened.push_back(document);
        infoWhenOpened = m_dialog.info;
    }
    std::vector<std::filesystem::path> opened;
    std::string infoWhenOpened;

private:
    const RecordingDialog& m_dialog;
};

struct RecordingPointer : MousePointer {
    void ShowHourglass() override { hourglass = true; }
    void ShowDefault() override { hourglass = false; }
    bool hourglass = false;
};

// Answers each sign-in with the next scripted answer; cancels when none is left.
struct ScriptedSignIn : SignInPrompt {
    SignInAnswer Ask() override
    {
        ++asked;
        SignInAnswer answer = answers.empty() ? SignInAnswer{} : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return answer;
    }
    std::vector<SignInAnswer> answers;
    int asked = 0;
};

// A folder standing in for the program's, with the catalogue when one is given.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& catalogueFixture = "window-catalogue.dat")
    {
        if (!catalogueFixture.empty())
            std::filesystem::copy_file(std::filesystem::path(TEST_DATA_DIR) / catalogueFixture,
                                       Path() / "Country.dat");
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
        if (load)
            window.Load();
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

// A shown, active window, so that focus and key routing behave as on a desktop.
inline void ShowActive(WindowUnderTest& w)
{
    w.window.show();
    QApplication::setActiveWindow(&w.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
}

} // namespace tervane::test
