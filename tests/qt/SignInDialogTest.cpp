#include "ui/SignInDialog.h"
#include "qt/HttpTransfer.h"
#include "qt/QtSettingsStore.h"
#include "ui/QtMousePointer.h"
#include "ui/frmLogin.h"
#include "web/FetchMarkList.h"

#include "LocalMarkServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tervane {
namespace {

using namespace tervane::testing;

// Runs `act` on the sign-in dialog once exec() has put it on screen. Should `act` leave
// it open, it is rejected so that a failing test cannot hang.
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
        if (!shown) {
            ADD_FAILURE() << "the sign-in dialog was never shown";
            return;
        }
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

    QTemporaryDir dir;
    QtSettingsStore store{dir.filePath("Tervane.conf")};
    QtMousePointer pointer;
    SignInDialog prompt{store, pointer};
};

TEST_F(SignInDialogTest, NothingClippedOrOverlappingTabOrderAndAHiddenPassword)
{
    frmLogin dialog(store, pointer);
    EXPECT_EQ("Internet Access", dialog.windowTitle());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
    const QList<QWidget*> controls{dialog.lblLabels[0], dialog.txtUserName, dialog.lblLabels[1],
                                   dialog.txtPassword,  dialog.cmdOK,       dialog.cmdCancel,
                                   dialog.chkRember};
    for (QWidget* control : controls) {
        const QRect at = control->geometry();
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_GE(at.height(), control->sizeHint().height());
        if (!qobject_cast<QLineEdit*>(control)) { // a field's text scrolls
            EXPECT_GE(at.width(), control->sizeHint().width()) << "text clipped";
        }
        EXPECT_TRUE(dialog.rect().contains(at));
        for (QWidget* other : controls)
            EXPECT_TRUE(other == control || !at.intersects(other->geometry()))
                << "overlaps " << other->metaObject()->className();
    }
    EXPECT_EQ(dialog.txtPassword, dialog.lblLabels[1]->buddy());
    EXPECT_TRUE(dialog.cmdOK->isDefault());

    QList<QWidget*> tabOrder;
    QWidget* next = dialog.txtUserName;
    for (int i = 0; i < 5; ++i, next = next->nextInFocusChain()) {
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        tabOrder << next;
    }
    EXPECT_EQ((QList<QWidget*>{dialog.txtUserName, dialog.txtPassword, dialog.cmdOK, dialog.cmdCancel,
                               dialog.chkRember}),
              tabOrder);
    dialog.txtPassword->setText("s3cret");
    EXPECT_EQ("******", dialog.txtPassword->displayText());
}

TEST_F(SignInDialogTest, RemembersTheNameAlwaysAndThePasswordOnlyWhenAsked)
{
    struct Step {
        const char* name;
        // what the showing brings up
        QString shownName, shownPassword;
        bool shownTicked;
        // what the user does
        QString typeName, typePassword;
        bool tick;
        bool byEnter; // Enter in the password field instead of clicking OK
        // what the fetch gets and what is stored afterwards
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
            EXPECT_EQ(step.shownName, dialog.txtUserName->text());
            EXPECT_EQ(step.shownPassword, dialog.txtPassword->text());
            EXPECT_EQ(step.shownTicked, dialog.chkRember->isChecked());
            Type(dialog.txtUserName, step.typeName);
            Type(dialog.txtPassword, step.typePassword);
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
        {"Enter on the Cancel button", [](frmLogin& d) { QTest::keyClick(d.cmdCancel, Qt::Key_Return); },
         false},
        {"close control after an earlier OK", [](frmLogin& d) { d.close(); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.flagAfter) { // an OK first, so there is a true flag to keep
            WhenShown([](frmLogin& d) { d.accept(); });
            prompt.Ask();
        }
        WhenShown([&](frmLogin& dialog) {
            Type(dialog.txtUserName, "changed");
            Type(dialog.txtPassword, "changed");
            dialog.chkRember->setChecked(false);
            row.leave(dialog);
        });
        const SignInAnswer answer = prompt.Ask();
        EXPECT_FALSE(answer.loginSucceeded) << "nothing was confirmed";
        EXPECT_EQ("keep", Stored(kUserNameKey));
        EXPECT_EQ("kept", Stored(kPasswordKey));
        EXPECT_EQ("1", Stored(kCheckBoxKey));
        ASSERT_NE(nullptr, prompt.Dialog());
        EXPECT_EQ(row.flagAfter, prompt.Dialog()->LoginSucceeded) << "the flag stays as it was";
    }
}

TEST_F(SignInDialogTest, SelectsTheWholeFieldOnEveryWayIn)
{
    store.SaveSetting(kSignInSection, kUserNameKey, "surveyor");
    store.SaveSetting(kSignInSection, kPasswordKey, "s3cret");
    QString atOpening, byTab, byMouse, byAccessKey;
    WhenShown([&](frmLogin& d) {
        QTest::qWait(20);
        atOpening = d.txtUserName->hasFocus() ? d.txtUserName->selectedText() : "<no focus>";
        QTest::keyClick(d.txtUserName, Qt::Key_Tab);
        QTest::qWait(20);
        byTab = d.txtPassword->hasFocus() ? d.txtPassword->selectedText() : "<no focus>";
        QTest::mouseClick(d.txtUserName, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::qWait(20);
        byMouse = d.txtUserName->selectedText();
        QTest::keyClick(&d, Qt::Key_P, Qt::AltModifier);
        QTest::qWait(20);
        byAccessKey = d.txtPassword->hasFocus() ? d.txtPassword->selectedText() : "<no focus>";
        d.reject();
    });
    prompt.Ask();
    EXPECT_EQ("surveyor", atOpening);
    EXPECT_EQ("s3cret", byTab);
    EXPECT_EQ("surveyor", byMouse);
    EXPECT_EQ("s3cret", byAccessKey);
}

TEST_F(SignInDialogTest, SignsInToTheServerThroughTheDialog)
{
    LocalMarkServer server;
    const struct {
        const char* name;
        QString password;
        bool ok;
        std::string error;
        std::string reply;
    } rows[] = {
        {"right password", QString::fromStdString(kPassword), true, "", kMarkLines},
        {"wrong password", "guess", true, std::string(kMsgAccessFailed), kBasicRefusal},
        {"cancelled", "", false, std::string(kMsgAccessFailed), kBasicRefusal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HttpTransfer transfer;
        int shown = 0;
        bool arrowWhileShown = false;
        WhenShown([&](frmLogin& d) {
            ++shown;
            arrowWhileShown = QGuiApplication::overrideCursor() == nullptr;
            Type(d.txtUserName, QString::fromStdString(kUser));
            Type(d.txtPassword, row.password);
            QTest::keyClick(d.txtPassword, row.ok ? Qt::Key_Return : Qt::Key_Escape);
        });
        std::string reply;
        std::string error;
        FetchMarkList(server.Url("/basic"), reply, error, transfer, prompt, pointer);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        EXPECT_EQ(1, shown);
        EXPECT_TRUE(arrowWhileShown) << "the hourglass must give way to the arrow in the dialog";
        if (row.ok) {
            ASSERT_NE(nullptr, QGuiApplication::overrideCursor());
            EXPECT_EQ(Qt::WaitCursor, QGuiApplication::overrideCursor()->shape())
                << "hourglass again after OK";
        }
        pointer.ShowDefault();
    }
    EXPECT_EQ("surveyor", Stored(kUserNameKey));
    EXPECT_EQ("<none>", Stored(kPasswordKey)) << "never asked to remember it";
}

} // namespace
} // namespace tervane
