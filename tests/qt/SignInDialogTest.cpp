// The sign-in dialog as the fetch shows it: what it brings up, selects and stores, the
// pointer while it shows, and the ways out that confirm nothing. Then the dialog, the
// fetch and the HTTP transfer together against a local service: how often each password
// the user typed reaches it.

#include "retrieval/MemorySettingsStore.h"

#include "adapters/HttpTransfer.h"
#include "ui/QtMousePointer.h"
#include "ui/DialogSignInPrompt.h"
#include "web/FetchMarkList.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <httplib.h>

#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace tervane {
namespace {

// Runs `run`; whenever the sign-in dialog is up meanwhile, `act` is done on it. Should
// `act` leave it open, it is rejected so that a failing test cannot hang. Returns how
// many times the dialog showed.
int WithDialog(const std::function<void(SignInDialog&)>& act, const std::function<void()>& run)
{
    int shown = 0;
    bool acting = false; // `act` may wait, turning the event loop
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<SignInDialog> dialog = qobject_cast<SignInDialog*>(QApplication::activeModalWidget());
        if (acting || !dialog || !dialog->isVisible())
            return;
        acting = true;
        ++shown;
        act(*dialog);
        if (dialog && dialog->isVisible()) {
            ADD_FAILURE() << "the sign-in dialog stayed open";
            dialog->done(QDialog::Rejected);
        }
        acting = false;
    });
    poll.start(5);
    run();
    return shown;
}

// The dialog's controls, found as a user finds them: by what they are.
template <typename T = QLineEdit>
T* Control(SignInDialog& dialog, const char* name)
{
    T* control = dialog.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(nullptr, control) << name;
    return control;
}
QPushButton* Button(SignInDialog& dialog, const char* name) { return Control<QPushButton>(dialog, name); }

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
    MemorySettingsStore store;
    QtMousePointer pointer;
    DialogSignInPrompt prompt{store, pointer};
    const auto stored = [&store](std::string_view key) {
        return store.GetSetting(kSignInSection, key, "<none>");
    };
    using Leave = std::function<void(SignInDialog&)>;
    const Leave ok = [](SignInDialog& d) { QTest::mouseClick(Button(d, "cmdOK"), Qt::LeftButton); };
    const Leave enter = [](SignInDialog& d) { QTest::keyClick(Control(d, "txtPassword"), Qt::Key_Return); };
    const Leave cancel = [](SignInDialog& d) { QTest::mouseClick(Button(d, "cmdCancel"), Qt::LeftButton); };
    const Leave escape = [](SignInDialog& d) { QTest::keyClick(Control(d, "txtPassword"), Qt::Key_Escape); };
    const Leave enterOnCancel = [](SignInDialog& d) {
        QTest::keyClick(Button(d, "cmdCancel"), Qt::Key_Return);
    };
    const Leave closeControl = [](SignInDialog& d) { d.close(); };
    // shownName, shownPassword, shownTicked: what the showing brings up; typeName,
    // typePassword, tick, leave: what the user does; flag: LoginSucceeded once the dialog
    // is gone.
    using Step = std::tuple<const char*, QString, QString, bool, QString, QString, bool, Leave, SignInAnswer,
                            std::string, std::string, std::string, bool>;
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
    for (const auto& [name, shownName, shownPassword, shownTicked, typeName, typePassword, tick, leave,
                      expected, storedName, storedPassword, storedBox, flag] : steps) {
        SCOPED_TRACE(name);
        pointer.ShowHourglass(); // as the fetch leaves it
        SignInAnswer answer;
        const auto act = [&](SignInDialog& dialog) {
            EXPECT_EQ(nullptr, QGuiApplication::overrideCursor()) << "the arrow while the dialog shows";
            QTest::qWait(20); // the whole field is selected on every way in: at opening and by Tab
            EXPECT_EQ(shownName, Control(dialog, "txtUserName")->selectedText());
            QTest::keyClick(Control(dialog, "txtUserName"), Qt::Key_Tab);
            QTest::qWait(20);
            EXPECT_EQ(shownPassword, Control(dialog, "txtPassword")->selectedText());
            EXPECT_EQ(shownTicked, Control<QCheckBox>(dialog, "chkRemember")->isChecked());
            Type(Control(dialog, "txtUserName"), typeName);
            Type(Control(dialog, "txtPassword"), typePassword);
            EXPECT_EQ(QString(typePassword.size(), '*'), Control(dialog, "txtPassword")->displayText());
            Control<QCheckBox>(dialog, "chkRemember")->setChecked(tick);
            leave(dialog);
        };
        EXPECT_EQ(1, WithDialog(act, [&] { answer = prompt.Ask(); }));
        const QCursor* cursor = QGuiApplication::overrideCursor();
        EXPECT_EQ(expected.loginSucceeded, cursor && cursor->shape() == Qt::WaitCursor)
            << "hourglass after OK";
        pointer.ShowDefault();
        EXPECT_EQ(expected.loginSucceeded, answer.loginSucceeded);
        EXPECT_EQ(expected.userName, answer.userName);
        EXPECT_EQ(expected.password, answer.password);
        EXPECT_EQ(storedName, stored(kUserNameKey));
        EXPECT_EQ(storedPassword, stored(kPasswordKey));
        EXPECT_EQ(storedBox, stored(kCheckBoxKey));
        ASSERT_NE(nullptr, prompt.Dialog());
        EXPECT_EQ(flag, prompt.Dialog()->LoginSucceeded());
    }
}

// A service that locks an account after three failures counts every try. A refused
// password used to go out again at the next request before the dialog showed (Qt answered
// with what it had kept), and once more before the right one; a remembered one came back
// filled in for one press of OK. The mark list and its companion go side by side, and the
// dialog shows once for both. Each password the user typed is sent once per request that
// needs it; a refused one is never filled in again, the user name always is.
TEST(SignInDialog, SendsAPasswordTheServiceRefusedNoMore)
{
    // The service on 127.0.0.1: Basic authentication with a password that may change
    // between requests; counts the requests that offered each password.
    const std::string user = "surveyor";
    const auto basic = [&user](const std::string& password) {
        return "Basic " + QByteArray::fromStdString(user + ":" + password).toBase64().toStdString();
    };
    std::mutex mutex;
    std::string servicePassword;
    std::map<std::string, int> offered; // by Authorization header
    httplib::Server server;
    server.Get("/marks", [&](const httplib::Request& req, httplib::Response& res) {
        const std::lock_guard lock(mutex);
        const std::string given = req.get_header_value("Authorization");
        ++offered[given];
        if (given == basic(servicePassword))
            return res.set_content("  1.  AB1234 A 1 ..... N392312 W0773412 .....  ONE\r\n", "text/plain");
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"marks\"");
    });
    const std::string url =
        "http://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1")) + "/marks";
    std::thread serving([&server] { server.listen_after_bind(); });

    HttpTransfer transfer;
    MemorySettingsStore store;
    store.SaveSetting(kSignInSection, kUserNameKey, user);
    store.SaveSetting(kSignInSection, kPasswordKey, "older");
    QtMousePointer pointer;
    DialogSignInPrompt prompt{store, pointer};
    const std::string failed(kMsgAccessFailed);
    // shownPassword: in the dialog's field
    // typed: then OK; empty: Cancel
    // stored: the remembered password afterwards
    // sent: by the two requests together
    using Step = std::tuple<const char*, std::string, bool, std::string, QString, bool, std::string, std::string,
                            std::map<std::string, int>>;
    const Step steps[] = {
        // clang-format off
        {"the stored password at first; a wrong one typed", "s3cret", true, "older", "guess", false, failed,
         "older", {{"guess", 1}}},
        {"refused: not filled in; another wrong one, remembered", "s3cret", true, "", "guess2", true, failed,
         "", {{"guess", 1}, {"guess2", 1}}},
        {"the right one", "s3cret", true, "", "s3cret", true, "", "s3cret",
         {{"guess", 1}, {"guess2", 1}, {"s3cret", 2}}},
        {"signed in: no dialog", "s3cret", false, "", "", false, "", "s3cret",
         {{"guess", 1}, {"guess2", 1}, {"s3cret", 4}}},
        {"the service's password changed: the one held is refused once", "changed", true, "", "", false,
         failed, "", {{"guess", 1}, {"guess2", 1}, {"s3cret", 6}}},
        {"nothing sent before the dialog", "changed", true, "", "changed", false, "", "",
         {{"guess", 1}, {"guess2", 1}, {"s3cret", 6}, {"changed", 2}}},
        // clang-format on
    };
    for (const auto& [name, serviceHas, asked, shownPassword, typed, remember, error, stored, sent] : steps) {
        SCOPED_TRACE(name);
        {
            const std::lock_guard lock(mutex);
            servicePassword = serviceHas;
        }
        std::vector<MarkListFetch> fetches{{url, {}, {}}, {url + "?companion", {}, {}}};
        const auto act = [&](SignInDialog& dialog) {
            EXPECT_EQ(user, Control(dialog, "txtUserName")->text().toStdString());
            EXPECT_EQ(shownPassword, Control(dialog, "txtPassword")->text().toStdString());
            if (!typed.isEmpty())
                Control(dialog, "txtPassword")->setText(typed);
            Control<QCheckBox>(dialog, "chkRemember")->setChecked(remember);
            QTest::mouseClick(Button(dialog, typed.isEmpty() ? "cmdCancel" : "cmdOK"), Qt::LeftButton);
        };
        const int shown = WithDialog(act, [&] { FetchMarkLists(fetches, transfer, prompt); });
        pointer.ShowDefault();
        EXPECT_EQ(asked ? 1 : 0, shown);
        EXPECT_EQ(error, fetches[0].error);
        EXPECT_EQ(error, fetches[1].error);
        EXPECT_EQ(stored, store.GetSetting(kSignInSection, kPasswordKey, "<none>"));
        const std::lock_guard lock(mutex);
        for (const char* password : {"older", "guess", "guess2", "s3cret", "changed"})
            EXPECT_EQ(sent.contains(password) ? sent.at(password) : 0, offered[basic(password)]) << password;
    }
    server.stop();
    serving.join();
}

} // namespace
} // namespace tervane
