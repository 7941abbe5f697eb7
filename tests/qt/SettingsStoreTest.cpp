#include "qt/QtSettingsStore.h"

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
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777U : 0;
}

// Read back from a copy under another name, from disk rather than QSettings' in-process
// cache; an overwritten value gives its last text, an absent one the default.
TEST(QtSettingsStore, ValuesComeBackUnchangedInTheNextProgramRun)
{
    const struct {
        const char* name;
        std::string value;
    } rows[] = {
        {"county with leading and trailing blanks", "  Prince George's  "},
        {"empty text, a value and no default", ""},
        {"comma, read by QSettings as a list if unquoted", "Anne Arundel, MD"},
        {"leading @, QSettings' type marker", "@Variant(x)"},
        {"quotes, backslash, semicolon, hash", "p\"a\\ss;w#rd="},
        {"UTF-8", "Do\xC3\xB1"
                  "a Ana"},
        {"line break", "first\r\nsecond"},
    };
    QTemporaryDir dir;
    const QString written = dir.filePath("written.conf");
    {
        QtSettingsStore store(written);
        for (const auto& row : rows) {
            store.SaveSetting(kSettingsSection, row.name, "overwritten");
            store.SaveSetting(kSettingsSection, row.name, row.value);
        }
    }
    ASSERT_TRUE(QFile::copy(written, dir.filePath("copy.conf")));
    QtSettingsStore nextRun(dir.filePath("copy.conf"));
    for (const auto& row : rows)
        EXPECT_EQ(row.value, nextRun.GetSetting(kSettingsSection, row.name, "absent")) << row.name;
    EXPECT_EQ("absent", nextRun.GetSetting(kSignInSection, rows[0].name, "absent")) << "sections are apart";
}

// The file keeps the sign-in password: the folder made for it and the file are the
// owner's only, also once rewritten or left readable by an older version.
TEST(QtSettingsStore, KeepsThePasswordFileOwnerOnly)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QtSettingsStore store;
    const QString expected = dir.filePath("Tervane/Tervane.conf");
    EXPECT_EQ(expected, store.FileName());

    store.SaveSetting(kSignInSection, kPasswordKey, "s3cret");
    EXPECT_EQ(0700U, Mode(dir.filePath("Tervane")));
    EXPECT_EQ(0600U, Mode(expected)) << "a new file";
    store.SaveSetting(kSettingsSection, kStateKey, "MARYLAND");
    EXPECT_EQ(0600U, Mode(expected)) << "after the file was rewritten";
    ASSERT_TRUE(QFile::setPermissions(expected, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    store.SaveSetting(kSignInSection, kUserNameKey, "surveyor");
    EXPECT_EQ(0600U, Mode(expected));
    EXPECT_EQ("s3cret", QtSettingsStore(expected).GetSetting(kSignInSection, kPasswordKey, ""));
}

} // namespace
} // namespace tervane
