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

// One dialog through a sequence of showings: each brings up what was stored, wholly
// selected, with the pointer an arrow; OK (by click or Enter) stores the name always and
// the password only when asked, and puts the hourglass back; Cancel, Escape and Enter on
// Cancel store nothing; the close control confirms nothing and keeps the earlier flag.
TEST(SignInDialog, RemembersTheNameAlwaysAndThePasswordOnlyWhenAsked)
{
    testing::MemorySettingsStore store;
    QtMousePointer pointer;
    SignInDialog prompt{store, pointer};
    const auto stored = [&store](std::string_view key) {
        return store.GetSetting(kSignInSection, key, "<none>");
    };
    using Leave = std::function<void(frmLogin&)>;
    const Leave ok = [](frmLogin& d) { QTest::mouseClick(d.cmdOK, Qt::LeftButton); };
    const Leave enter = [](frmLogin& d) { QTest::keyClick(d.txtPassword, Qt::Key_Return); };
    const Leave cancel = [](frmLogin& d) { QTest::mouseClick(d.cmdCancel, Qt::LeftButton); };
    const Leave escape = [](frmLogin& d) { QTest::keyClick(d.txtPassword, Qt::Key_Escape); };
    const Leave enterOnCancel = [](frmLogin& d) { QTest::keyClick(d.cmdCancel, Qt::Key_Return); };
    const Leave closeControl = [](frmLogin& d) { d.close(); };
    struct Step {
        const char* name;
        QString shownName, shownPassword; // what the showing brings up
        bool shownTicked;
        QString typeName, typePassword; // what the user does
        bool tick;
        Leave leave;
        SignInAnswer answer;
        std::string storedName, storedPassword, storedBox;
        bool flag; // LoginSucceeded once the dialog is gone
    };
    // clang-format off
    const Step steps[] = {
        //                                             shown:  name        password  ticked   typed: name  password  tick   way out
        {"first use, not remembered",                  "",         "",       false,  "surveyor", "typed1", false, ok,
         {true, "surveyor", "typed1"}, "surveyor", "<none>", "0", true},
        {"name back, password not; now remembered",    "surveyor", "",       false,  "surveyor", "s3cret", true,  enter,
         {true, "surveyor", "s3cret"}, "surveyor", "s3cret", "1", true},
        {"all back; untick and type another",          "surveyor", "s3cret", true,   "surveyor", "other",  false, ok,
         {true, "surveyor", "other"},  "surveyor", "s3cret", "0", true},
        {"stored password stays; empty name accepted", "surveyor", "s3cret", false,  "",         "s3cret", false, enter,
         {true, "", "s3cret"},         "",         "s3cret", "0", true},
        {"Cancel stores nothing",                      "",         "s3cret", false,  "changed",  "changed", true, cancel,
         {false, "changed", "changed"}, "",        "s3cret", "0", false},
        {"Escape stores nothing",                      "",         "s3cret", false,  "changed",  "changed", true, escape,
         {false, "changed", "changed"}, "",        "s3cret", "0", false},
        {"Enter on Cancel stores nothing",             "",         "s3cret", false,  "changed",  "changed", true, enterOnCancel,
         {false, "changed", "changed"}, "",        "s3cret", "0", false},
        {"OK once more",                               "",         "s3cret", false,  "surveyor", "s3cret", true,  ok,
         {true, "surveyor", "s3cret"}, "surveyor", "s3cret", "1", true},
        {"the close control confirms nothing",         "surveyor", "s3cret", true,   "changed",  "changed", false, closeControl,
         {false, "", ""},              "surveyor", "s3cret", "1", true},
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
            step.leave(dialog);
        });
        const SignInAnswer answer = prompt.Ask();
        const QCursor* cursor = QGuiApplication::overrideCursor();
        EXPECT_EQ(step.answer.loginSucceeded, cursor && cursor->shape() == Qt::WaitCursor)
            << "hourglass after OK";
        pointer.ShowDefault();
        EXPECT_EQ(step.answer.loginSucceeded, answer.loginSucceeded);
        EXPECT_EQ(step.answer.userName, answer.userName);
        EXPECT_EQ(step.answer.password, answer.password);
        EXPECT_EQ(step.storedName, stored(kUserNameKey));
        EXPECT_EQ(step.storedPassword, stored(kPasswordKey));
        EXPECT_EQ(step.storedBox, stored(kCheckBoxKey));
        ASSERT_NE(nullptr, prompt.Dialog());
        EXPECT_EQ(step.flag, prompt.Dialog()->LoginSucceeded);
    }
}

} // namespace
} // namespace tervane
