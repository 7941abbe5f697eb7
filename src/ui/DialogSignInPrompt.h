#pragma once

// The sign-in prompt of the web fetch: shows the SignInDialog modally in front of its owner and
// hands back what the user confirmed. One dialog serves the whole program run; after it
// was closed through its window's close control it is built afresh at the next showing,
// keeping `LoginSucceeded`.
//
// Closing through the close control confirms nothing: the answer is "not signed in" even
// when an earlier OK left `LoginSucceeded` true, so the fetch never repeats the request
// with the empty fields of a rebuilt dialog.
//
// A password the service refused is forgotten for the program run: later showings keep
// the user name and leave the password field empty, whatever is stored, until an OK
// gives one anew. Remembered ("Remember password" was ticked), it is also blanked in the
// store, where it would come back at the next start for one press of OK to send again.

#include "retrieval/SettingsStore.h"
#include "ui/SignInDialog.h"
#include "web/WebPorts.h"

#include <QPointer>

#include <optional>
#include <string>

class QWidget;

namespace tervane {

class DialogSignInPrompt : public SignInPrompt {
public:
    DialogSignInPrompt(SettingsStore& settings, MousePointer& pointer, QWidget* owner = nullptr);
    ~DialogSignInPrompt() override;
    DialogSignInPrompt(const DialogSignInPrompt&) = delete;
    DialogSignInPrompt& operator=(const DialogSignInPrompt&) = delete;

    SignInAnswer Ask() override;
    void PasswordRefused() override;

    // The dialog of the last showing; null before the first one.
    SignInDialog* Dialog() const { return m_dialog.data(); }

private:
    SettingsStore& m_settings;
    MousePointer& m_pointer;
    QWidget* m_owner;
    QPointer<SignInDialog> m_dialog;
    bool m_passwordRefused = false;
    std::optional<std::string> m_lastPassword; // of the last confirmed answer
};

} // namespace tervane
