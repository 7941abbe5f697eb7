// Where the window's KML files go.

#include "ui/OutputFolder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

TEST(OutputFolder, TheProgramsFolderWhenItCanBeWritten)
{
    QTemporaryDir dir;
    const std::filesystem::path program = dir.path().toStdString();
    EXPECT_EQ(ChooseOutputFolder(program, program / "Documents"), program);
    EXPECT_FALSE(std::filesystem::exists(program / "Documents"));
}

TEST(OutputFolder, OtherwiseTheUsersTervaneFolderMadeAsNeeded)
{
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const std::filesystem::path chosen = ChooseOutputFolder(root / "no-such-program-folder", root / "Documents");
    EXPECT_EQ(chosen, root / "Documents" / "Tervane");
    EXPECT_TRUE(std::filesystem::is_directory(chosen));
    // A second call finds it made.
    EXPECT_EQ(ChooseOutputFolder(root / "no-such-program-folder", root / "Documents"), chosen);
}

} // namespace
} // namespace tervane::test
