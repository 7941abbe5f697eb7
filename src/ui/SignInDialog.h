#pragma once

// The sign-in dialog, "Internet Access": asks for the mark-list service's user name and
// password when a fetch was refused. It checks nothing itself; the repeated request
// finds out whether the name and password are right.
//
// It remembers the user name at every OK, and the password only while "Remember
// password" is ticked, in its own section of the settings store; each showing fills the
// fields from there (the password not while the one the service refused is not typed
// anew). OK and Cancel hide it, so the caller reads `LoginSucceeded` and the
// fields afterwards. Closing it through the window's close control stores nothing and
// leaves `LoginSucceeded` as it was; `ClosedByControl` tells the caller it happened.

#include "retrieval/MousePointer.h"
#include "retrieval/SettingsStore.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tervane {

class SignInDialog : public QDialog {
    Q_OBJECT

public:
    // `loginSucceeded` carries the flag over from an earlier dialog.
    SignInDialog(SettingsStore& settings, MousePointer& pointer, QWidget* owner = nullptr,
                 bool loginSucceeded = false);

    // True after OK, false after Cancel; kept between showings.
    bool LoginSucceeded() const { return m_loginSucceeded; }
    // The fields as the last showing left them.
    std::string UserName() const;
    std::string Password() const;
    // The last showing ended through the window's close control, not OK or Cancel.
    bool ClosedByControl() const { return m_closedByControl; }
    // Whether the next showings fill the password in from the store; off while the
    // password the service last refused is not yet typed anew.
    void OfferStoredPassword(bool offer) { m_offerStoredPassword = offer; }

public slots:
    void accept() override; // OK and Enter
    void reject() override; // Cancel and Escape

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceControls();
    void FillFromStore();

    SettingsStore& m_settings;
    MousePointer& m_pointer;
    // Found by these object names too, as the tests find them.
    QLabel* m_lblUserName = nullptr;
    QLineEdit* m_txtUserName = nullptr;
    QLabel* m_lblPassword = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QCheckBox* m_chkRemember = nullptr;
    bool m_loginSucceeded = false;
    bool m_closedByControl = false;
    bool m_offerStoredPassword = true;
};

} // namespace tervane
