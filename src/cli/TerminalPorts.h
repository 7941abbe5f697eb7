#pragma once

// The retrieval run's ports as a terminal program offers them: messages and the progress
// line on standard error, a sign-in from the command line or typed at the terminal, a
// saved reply in place of the service, settings kept in memory only, and the desktop's
// opener for the finished document.

#include "retrieval/RetrievalRun.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>

namespace tervane {

// The processing dialog as one line on standard error, redrawn in place. Drawn only when
// `enabled` (standard error is a terminal): in a pipe or a log the line would be noise.
class TerminalProgress final : public ProcessingDialog {
public:
    TerminalProgress(std::ostream& out, bool enabled);

    void Show() override;
    void Hide() override;
    void HideProcessingLabel() override {}
    void SetInfo(const std::string& text) override;
    void SetBarVisible(bool visible) override;
    void SetBarMaximum(std::size_t maximum) override;
    void SetBarValue(std::size_t value) override;

    // Ends the line being redrawn, so that other output starts on a line of its own.
    void EndLine();

private:
    void Draw(bool force);

    std::ostream& m_out;
    bool m_enabled;
    bool m_visible = false;
    bool m_barVisible = false;
    std::string m_info;
    std::size_t m_maximum = 0;
    std::size_t m_value = 0;
    bool m_lineOpen = false;
    std::size_t m_lineLength = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// Message boxes become lines on standard error.
class TerminalMessages final : public MessageBox {
public:
    TerminalMessages(std::ostream& out, TerminalProgress& progress) : m_out(out), m_progress(progress) {}
    void Show(const std::string& text) override;

private:
    std::ostream& m_out;
    TerminalProgress& m_progress;
};

// The sign-in dialog. With a user name from the command line it answers at once (the
// password as given, or asked for on a terminal); without one it asks on the terminal,
// and where there is none it cancels, as a user who closes the dialog would.
class TerminalSignIn final : public SignInPrompt {
public:
    TerminalSignIn(std::optional<std::string> userName, std::optional<std::string> password, bool interactive,
                   std::ostream& out, TerminalProgress& progress);
    SignInAnswer Ask() override;

private:
    std::optional<std::string> m_userName;
    std::optional<std::string> m_password;
    bool m_interactive;
    std::ostream& m_out;
    TerminalProgress& m_progress;
};

// Serves a saved reply for every request instead of asking the service.
class SavedReplyTransfer final : public Transfer {
public:
    explicit SavedReplyTransfer(std::string reply) : m_reply(std::move(reply)) {}
    void SetCredentials(const std::string&, const std::string&) override {}
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override;

private:
    std::string m_reply;
};

// No pointer and no query rows on a terminal.
class NoPointer final : public MousePointer {
public:
    void ShowHourglass() override {}
    void ShowDefault() override {}
};

class NoQueryInputs final : public QueryInputs {
public:
    void HideQueryInputs() override {}
};

// Starts xdg-open on the document (ViewerLauncher.h). A viewer that cannot be started
// makes the run say so, with the document's path, and the tool end with status 1.
class TerminalOpener final : public DocumentOpener {
public:
    bool Open(const std::filesystem::path& document, std::string& reason) override;
};

// Local files are read whole, so each has a limit: a device such as /dev/zero or a
// huge file would otherwise grow the process without bound.
inline constexpr std::size_t kMaxPasswordFileBytes = 4 * 1024;

enum class FileRead {
    Done,
    Unreadable, // missing, no permission: the command line named the wrong file
    Refused,    // not a regular file, or larger than the limit: nothing was read
};

// Reads a whole file, or standard input for "-", of at most `maxBytes`. Anything but
// Done leaves `error` naming the file and `text` empty. "-" is exempt from the
// regular-file rule, not from the limit.
FileRead ReadInputFile(const std::string& name, std::size_t maxBytes, std::string& text, std::string& error);

// The first line of a password file (at most kMaxPasswordFileBytes), without its line
// end. A file that others than its owner can read still serves, with a warning on
// `warnings`, as other tools do for keys.
FileRead ReadPasswordFile(const std::string& name, std::string& password, std::string& error,
                          std::ostream& warnings);

} // namespace tervane
