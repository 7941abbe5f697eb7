#pragma once

// The real main window in a folder laid out like the program's, over fakes at its ports,
// for the window and run tests.

#include "RunFakes.h"

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

namespace tervane::test {

// The real main window over fakes at its ports, the real transfer and KMZ writer, in a folder
// standing in for the program's (with the catalogue unless told otherwise); quitting and
// beeping are counted instead of done.
struct WindowUnderTest : testing::RunFakes {
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
    int quits = 0;
    int beeps = 0;
    HttpTransfer transfer;
    ZipArchiveWriter archiver;
    MainWindow window;
};

} // namespace tervane::test
