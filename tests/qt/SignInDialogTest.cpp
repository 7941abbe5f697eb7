// The sign-in dialog as the fetch shows it: what it brings up, selects and stores, the
// pointer while it shows, and the ways out that confirm nothing.

#include "MemorySettingsStore.h"

#include "ui/QtMousePointer.h"
#include "ui/SignInDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tervane {
namespace {

// Runs `act` on the sign-in dialog once exec() has put it on screen. Should `act` leave
// it open, it is rejected so that a failing test cannot hang.
void WhenShown(std::function<void(frmLogin&)> act)
{
    QTimer::singleShot(0, [act] {
        QPointer<frmLogin> dialog = qobject_cast<frmLogin*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog && dialog->isVisible()) << "the sign-in dialog was not shown";
        act(*dialog);
        if (dialog && dialog->isVisible()) {
            ADD_FAILURE() << "the sign-in dialog stayed open";
            dialog->done(QDialog::Rejected);
        }
    });
}

void Type(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

class SignInDialogTest : public ::testing::Test {
protected:
    std::string Stored(std::string_view key) { return store.GetSetting(kSignInSection, key, "<none>"); }

    testing::MemorySettingsStore store;
    QtMousePointer pointer;
    SignInDialog prompt{store, pointer};
};

TEST_F(SignInDialogTest, RemembersTheNameAlwaysAndThePasswordOnlyWhenAsked)
{
    struct Step {
        const char* name;
        QString shownName, shownPassword; // what the showing brings up
        bool shownTicked;
        QString typeName, typePassword; // what the user does
        bool tick;
        bool byEnter; // Enter in the password field instead of clicking OK
        SignInAnswer answer;
        std::string storedName, storedPassword, storedBox;
    };
    // clang-format off
    const Step steps[] = {
        //                                             shown:  name        password  ticked   typed: name  password  tick   Enter
        {"first use, not remembered",                  "",         "",       false,  "surveyor", "typed1", false, false,
         {true, "surveyor", "typed1"}, "surveyor", "<none>", "0"},
        {"name back, password not; now remembered",    "surveyor", "",       false,  "surveyor", "s3cret", true,  true,
         {true, "surveyor", "s3cret"}, "surveyor", "s3cret", "1"},
        {"all back; untick and type another",          "surveyor", "s3cret", true,   "surveyor", "other",  false, false,
         {true, "surveyor", "other"},  "surveyor", "s3cret", "0"},
        {"stored password stays; empty name accepted", "surveyor", "s3cret", false,  "",         "s3cret", false, true,
         {true, "", "s3cret"},         "",         "s3cret", "0"},
    };
    // clang-format on
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        pointer.ShowHourglass(); // as the fetch leaves it
        WhenShown([&](frmLogin& dialog) {
            EXPECT_EQ(nullptr, QGuiApplication::overrideCursor()) << "the arrow while the dialog shows";
            QTest::qWait(20); // the whole field is selected on every way in: at opening and by Tab
            EXPECT_EQ(step.shownName, dialog.txtUserName->selectedText());
            QTest::keyClick(dialog.txtUserName, Qt::Key_Tab);
            QTest::qWait(20);
            EXPECT_EQ(step.shownPassword, dialog.txtPassword->selectedText());
            EXPECT_EQ(step.shownTicked, dialog.chkRember->isChecked());
            Type(dialog.txtUserName, step.typeName);
            Type(dialog.txtPassword, step.typePassword);
            EXPECT_EQ(QString(step.typePassword.size(), '*'), dialog.txtPassword->displayText());
            dialog.chkRember->setChecked(step.tick);
            if (step.byEnter)
                QTest::keyClick(dialog.txtPassword, Qt::Key_Return);
            else
                QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        });
        const SignInAnswer answer = prompt.Ask();
        ASSERT_NE(nullptr, QGuiApplication::overrideCursor());
        EXPECT_EQ(Qt::WaitCursor, QGuiApplication::overrideCursor()->shape())
            << "the hourglass again after OK";
        pointer.ShowDefault();
        EXPECT_EQ(step.answer.loginSucceeded, answer.loginSucceeded);
        EXPECT_EQ(step.answer.userName, answer.userName);
        EXPECT_EQ(step.answer.password, answer.password);
        EXPECT_EQ(step.storedName, Stored(kUserNameKey));
        EXPECT_EQ(step.storedPassword, Stored(kPasswordKey));
        EXPECT_EQ(step.storedBox, Stored(kCheckBoxKey));
    }
}

// The close control confirms nothing even after an earlier OK, which keeps its flag.
TEST_F(SignInDialogTest, CancelEscapeAndTheCloseControlStoreNothing)
{
    store.SaveSetting(kSignInSection, kUserNameKey, "keep");
    store.SaveSetting(kSignInSection, kPasswordKey, "kept");
    store.SaveSetting(kSignInSection, kCheckBoxKey, "1");
    const struct {
        const char* name;
        std::function<void(frmLogin&)> leave;
        bool flagAfter; // LoginSucceeded once the dialog is gone
    } rows[] = {
        {"Cancel button", [](frmLogin& d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton); }, false},
        {"Escape in a field", [](frmLogin& d) { QTest::keyClick(d.txtPassword, Qt::Key_Escape); }, false},
        {"Enter on Cancel", [](frmLogin& d) { QTest::keyClick(d.cmdCancel, Qt::Key_Return); }, false},
        {"close control after an earlier OK", [](frmLogin& d) { d.close(); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.flagAfter) {
            WhenShown([](frmLogin& d) { d.accept(); });
            prompt.Ask();
        }
        WhenShown([&](frmLogin& dialog) {
            Type(dialog.txtUserName, "changed");
            Type(dialog.txtPassword, "changed");
            dialog.chkRember->setChecked(false);
            row.leave(dialog);
        });
        EXPECT_FALSE(prompt.Ask().loginSucceeded);
        EXPECT_EQ("keep", Stored(kUserNameKey));
        EXPECT_EQ("kept", Stored(kPasswordKey));
        EXPECT_EQ("1", Stored(kCheckBoxKey));
        ASSERT_NE(nullptr, prompt.Dialog());
        EXPECT_EQ(row.flagAfter, prompt.Dialog()->LoginSucceeded) << "the flag stays as it was";
    }
}

} // namespace
} // namespace tervane
