#include "ui/DialogSignInPrompt.h"

#include "ui/SignInDialog.h"

namespace tervane {

DialogSignInPrompt::DialogSignInPrompt(SettingsStore& settings, MousePointer& pointer, QWidget* owner)
    : m_settings(settings), m_pointer(pointer), m_owner(owner)
{
}

DialogSignInPrompt::~DialogSignInPrompt()
{
    delete m_dialog.data(); // null when the owner window has already taken it down
}

SignInAnswer DialogSignInPrompt::Ask()
{
    if (m_dialog && m_dialog->ClosedByControl()) {
        const bool kept = m_dialog->LoginSucceeded();
        delete m_dialog.data();
        m_dialog = new SignInDialog(m_settings, m_pointer, m_owner, kept);
    }
    if (!m_dialog)
        m_dialog = new SignInDialog(m_settings, m_pointer, m_owner);

    m_dialog->OfferStoredPassword(!m_passwordRefused);
    m_dialog->exec();

    SignInAnswer answer;
    if (!m_dialog || m_dialog->ClosedByControl())
        return answer;
    answer.loginSucceeded = m_dialog->LoginSucceeded();
    answer.userName = m_dialog->UserName();
    answer.password = m_dialog->Password();
    if (answer.loginSucceeded) {
        m_passwordRefused = false;
        m_lastPassword = answer.password;
    }
    return answer;
}

void DialogSignInPrompt::PasswordRefused()
{
    m_passwordRefused = true;
    const std::string stored = m_settings.GetSetting(kSignInSection, kPasswordKey, "");
    if (m_lastPassword && !stored.empty() && stored == *m_lastPassword)
        m_settings.SaveSetting(kSignInSection, kPasswordKey, "");
}

} // namespace tervane
