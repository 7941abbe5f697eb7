// The sign-in dialog as the fetch shows it: what it brings up, selects and stores, the
// ways out that confirm nothing, and a sign-in to a server through it.

#include "LocalMarkServer.h"
#include "MemorySettingsStore.h"

#include "qt/HttpTransfer.h"
#include "ui/QtMousePointer.h"
#include "ui/SignInDialog.h"
#include "web/FetchMarkList.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tervane {
namespace {

using namespace tervane::testing;

// Runs `act` on the sign-in dialog once exec() has put it on screen (a fetch turns the
// event loop before that). Should `act` leave it open, it is rejected so that a failing
// test cannot hang.
void WhenShown(std::function<void(frmLogin&)> act)
{
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act] {
        QPointer<frmLogin> dialog = qobject_cast<frmLogin*>(QApplication::activeModalWidget());
        const bool shown = dialog && dialog->isVisible();
        if (!shown && ++*tries <= 300)
            return;
        poll->stop();
        poll->deleteLater();
        ASSERT_TRUE(shown) << "the sign-in dialog was never shown";
        act(*dialog);
        if (dialog && dialog->isVisible()) {
            ADD_FAILURE() << "the sign-in dialog stayed open";
            dialog->done(QDialog::Rejected);
        }
    });
    poll->start(10);
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

    MemorySettingsStore store;
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
        WhenShown([&](frmLogin& dialog) {
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

TEST_F(SignInDialogTest, SignsInToTheServerThroughTheDialog)
{
    LocalMarkServer server;
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "signed in" : "cancelled");
        HttpTransfer transfer;
        int shown = 0;
        bool arrowWhileShown = false;
        WhenShown([&](frmLogin& d) {
            ++shown;
            arrowWhileShown = QGuiApplication::overrideCursor() == nullptr;
            Type(d.txtUserName, QString::fromStdString(kUser));
            Type(d.txtPassword, QString::fromStdString(kPassword));
            QTest::keyClick(d.txtPassword, ok ? Qt::Key_Return : Qt::Key_Escape);
        });
        std::string reply;
        std::string error;
        FetchMarkList(server.Url("/basic"), reply, error, transfer, prompt, pointer);
        EXPECT_EQ(ok ? "" : std::string(kMsgAccessFailed), error);
        EXPECT_EQ(ok ? kMarkLines : kBasicRefusal, reply);
        EXPECT_EQ(1, shown);
        EXPECT_TRUE(arrowWhileShown) << "the hourglass must give way to the arrow in the dialog";
        const QCursor* after = QGuiApplication::overrideCursor();
        EXPECT_TRUE(!ok || (after && after->shape() == Qt::WaitCursor)) << "hourglass again after OK";
        pointer.ShowDefault();
    }
    EXPECT_EQ("surveyor", Stored(kUserNameKey));
    EXPECT_EQ("<none>", Stored(kPasswordKey)) << "never asked to remember it";
}

} // namespace
} // namespace tervane
