#pragma once

// The real main window in a folder laid out like the program's, over fakes at its ports,
// for the window and run tests.

#include "retrieval/MemorySettingsStore.h"

#include "adapters/HttpTransfer.h"
#include "adapters/ZipArchiveWriter.h"
#include "retrieval/RetrievalRun.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tervane::test {

// The window's ports kept for the test to look at: messages, the processing dialog's step
// text at every showing, documents handed to the viewer, the pointer, and sign-ins
// answered from a script (cancelled when it runs out).
struct RecordingPorts : MessageBox, ProcessingDialog, DocumentOpener, MousePointer, SignInPrompt {
    void Show(const std::string& text) override
    {
        messages.push_back(text);
        if (whileShown)
            whileShown();
    }
    void Show() override
    {
        shownTexts.push_back(info);
        dialogVisible = true;
        if (whileShown)
            whileShown();
    }
    void Hide() override { dialogVisible = false; }
    void HideProcessingLabel() override {}
    void SetInfo(const std::string& text) override { info = text; }
    void SetBarVisible(bool) override {}
    void SetBarMaximum(std::size_t) override {}
    void SetBarValue(std::size_t) override {}
    bool Open(const std::filesystem::path& document, std::string& reason) override
    {
        opened.push_back(document);
        reason = viewerFailure;
        return viewerFailure.empty();
    }
    void ShowHourglass() override { hourglass = true; }
    void ShowDefault() override { hourglass = false; }
    SignInAnswer Ask() override
    {
        ++asked;
        const SignInAnswer answer = answers.empty() ? SignInAnswer{} : answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return answer;
    }

    std::vector<std::string> messages;
    std::function<void()> whileShown; // runs while a message or the processing dialog shows
    std::vector<std::string> shownTexts;
    std::string info;
    bool dialogVisible = false;
    std::vector<std::filesystem::path> opened;
    std::string viewerFailure; // the opener's reason; empty: a viewer starts
    bool hourglass = false;
    std::vector<SignInAnswer> answers;
    int asked = 0;
};

// The real main window over those ports, the real transfer and KMZ writer, in a folder
// standing in for the program's (with the catalogue unless told otherwise); quitting and
// beeping are counted instead of done.
struct WindowUnderTest : RecordingPorts {
    explicit WindowUnderTest(bool load = true, bool catalogue = true)
        : window(settings, *this,
                 {.programDir = Path(),
                  .documentsDir = Path() / "Documents",
                  .environmentServiceUrl = {},
                  .datasheetCache = Path() / "cache",
                  .quit = [this] { ++quits; },
                  .beep = [this] { ++beeps; }})
    {
        if (catalogue)
            std::filesystem::copy_file(std::filesystem::path(TEST_DATA_DIR) / "window-catalogue.dat",
                                       Path() / "Country.dat");
        window.SetRunServices({*this, *this, transfer, *this, *this, &archiver});
        if (load)
            window.Load();
    }

    std::filesystem::path Path() const { return folder.path().toStdString(); }

    template <typename T = QWidget> T* Find(const char* name)
    {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void Trigger(const char* action) { Find<QAction>(action)->trigger(); }
    // Picks an entry of the state list as a click does (0 is Virginia).
    void PickState(int index)
    {
        auto* state = Find<QComboBox>("cboState");
        state->setCurrentIndex(index);
        emit state->activated(index);
    }
    // Shown and active, so that focus and key routing behave as on a desktop.
    void ShowActive()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QTemporaryDir folder;
    MemorySettingsStore settings;
    int quits = 0;
    int beeps = 0;
    HttpTransfer transfer;
    ZipArchiveWriter archiver;
    MainWindow window;
};

} // namespace tervane::test
