// Where the window's files go.

#include "ui/OutputFolder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tervane::test {
namespace {

// The program's folder when it can be written, otherwise the user's Tervane folder, made
// when first needed and found made the next time.
TEST(OutputFolder, TheProgramsFolderOrTheUsersTervaneFolder)
{
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    EXPECT_EQ(ChooseOutputFolder(root, root / "Documents"), root);
    EXPECT_FALSE(std::filesystem::exists(root / "Documents"));
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(ChooseOutputFolder(root / "no-such-program-folder", root / "Documents"),
                  root / "Documents" / "Tervane");
    EXPECT_TRUE(std::filesystem::is_directory(root / "Documents" / "Tervane"));
}

} // namespace
} // namespace tervane::test
