#include "qt/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tervane {
namespace {

unsigned Mode(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 0777U;
}

TEST(QtSettingsStore, ValuesComeBackUnchangedInTheNextProgramRun)
{
    const struct {
        const char* name;
        std::string value;
    } rows[] = {
        {"county with leading and trailing blanks", "  Prince George's  "},
        {"empty text", ""},
        {"comma, read by QSettings as a list if unquoted", "Anne Arundel, MD"},
        {"leading @, QSettings' type marker", "@Variant(x)"},
        {"quotes, backslash, semicolon, hash", "p\"a\\ss;w#rd="},
        {"UTF-8", "Do\xC3\xB1" "a Ana"},
        {"line break", "first\r\nsecond"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString written = dir.filePath("written.conf");
    {
        QtSettingsStore store(written);
        for (const auto& row : rows)
            store.SaveSetting(kSettingsSection, row.name, row.value);
    }
    // A copy under another name is read from disk, not from QSettings' in-process cache.
    const QString copy = dir.filePath("copy.conf");
    ASSERT_TRUE(QFile::copy(written, copy));
    QtSettingsStore nextRun(copy);
    for (const auto& row : rows)
        EXPECT_EQ(row.value, nextRun.GetSetting(kSettingsSection, row.name, "absent")) << row.name;
}

TEST(QtSettingsStore, KeepsSectionsApartAndGivesDefaultsForAbsentValues)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QtSettingsStore store(dir.filePath("t.conf"));
    store.SaveSetting(kSignInSection, kUserNameKey, "surveyor");
    store.SaveSetting(kSignInSection, kUserNameKey, "surveyor2");
    EXPECT_EQ("surveyor2", store.GetSetting(kSignInSection, kUserNameKey, ""));
    EXPECT_EQ("none", store.GetSetting(kSettingsSection, kUserNameKey, "none"));
    store.SaveSetting(kSignInSection, kPasswordKey, "");
    EXPECT_EQ("", store.GetSetting(kSignInSection, kPasswordKey, "default"))
        << "a stored empty text is a value";
}

TEST(QtSettingsStore, KeepsThePasswordFileOwnerOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QtSettingsStore store;
    const QString expected = dir.filePath("Tervane/Tervane.conf");
    EXPECT_EQ(expected, store.FileName());

    store.SaveSetting(kSignInSection, kPasswordKey, "s3cret");
    EXPECT_EQ(0700U, Mode(dir.filePath("Tervane"))) << "the folder it had to make";
    EXPECT_EQ(0600U, Mode(expected)) << "a new file";
    store.SaveSetting(kSettingsSection, kStateKey, "MARYLAND");
    EXPECT_EQ(0600U, Mode(expected)) << "after the file was rewritten";

    // A file left readable by an older version is closed up at the next save.
    ASSERT_TRUE(QFile::setPermissions(expected, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                    QFile::ReadOther));
    store.SaveSetting(kSignInSection, kUserNameKey, "surveyor");
    EXPECT_EQ(0600U, Mode(expected));
    EXPECT_EQ("s3cret", QtSettingsStore(expected).GetSetting(kSignInSection, kPasswordKey, ""));
}

} // namespace
} // namespace tervane
