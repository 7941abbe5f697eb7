#include "cli/TerminalPorts.h"

#include "io/WholeFile.h"
#include "adapters/ViewerLauncher.h"
#include "text/SizeText.h"
#include "text/TerminalText.h"
#include "web/FetchMarkList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <csignal>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tervane {

namespace {

// Often enough to look alive, seldom enough that a terminal does not slow the writer.
constexpr std::chrono::milliseconds kRedrawInterval{100};

// Reads one line typed at the terminal (standard input), without its line end. False at
// the end of input.
bool ReadTerminalLine(std::string& line)
{
    if (!std::getline(std::cin, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// The terminal's settings while the echo is off, so that a Ctrl+C at the password
// prompt does not leave the user's shell without echo.
termios g_savedTerminal{};
constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreTerminalAndDie(int signalNumber)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// The same without echoing what is typed, for passwords. The echo goes off before the
// prompt appears, so that nothing typed in answer to it is ever shown.
bool ReadHiddenLine(std::ostream& out, std::string_view prompt, std::string& line)
{
    const bool isTerminal = tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    struct sigaction restore {};
    struct sigaction previous[std::size(kRestoringSignals)] {};
    if (isTerminal) {
        restore.sa_handler = RestoreTerminalAndDie;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
            sigaction(kRestoringSignals[i], &restore, &previous[i]);
        termios quiet = g_savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    out << prompt << std::flush;
    const bool read = ReadTerminalLine(line);
    if (isTerminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
        for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
            sigaction(kRestoringSignals[i], &previous[i], nullptr);
    }
    out << '\n' << std::flush;
    return read;
}

std::string DescribeErrno(int error) { return std::strerror(error); }

constexpr int kStatusOk = 200;

} // namespace

TerminalProgress::TerminalProgress(std::ostream& out, bool enabled) : m_out(out), m_enabled(enabled) {}

void TerminalProgress::Show()
{
    m_visible = true;
    Draw(true);
}

void TerminalProgress::Hide()
{
    EndLine();
    m_visible = false;
}

void TerminalProgress::SetInfo(const std::string& text)
{
    if (text == m_info)
        return;
    // A new stage gets a line of its own; the last count of the one before stays readable.
    EndLine();
    m_info = text;
    Draw(true);
}

void TerminalProgress::SetBarVisible(bool visible)
{
    m_barVisible = visible;
    Draw(true);
}

void TerminalProgress::SetBarMaximum(std::size_t maximum)
{
    m_maximum = maximum;
    m_value = 0;
}

void TerminalProgress::SetBarValue(std::size_t value)
{
    m_value = value;
    // The first and the last value are always shown, so the line never ends mid-count.
    Draw(value == 0 || value + 1 >= m_maximum);
}

void TerminalProgress::EndLine()
{
    if (!m_lineOpen)
        return;
    m_out << '\n' << std::flush;
    m_lineOpen = false;
    m_lineLength = 0;
}

void TerminalProgress::Draw(bool force)
{
    if (!m_enabled || !m_visible || m_info.empty())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_lineOpen && now - m_lastDraw < kRedrawInterval)
        return;
    std::string line = m_info;
    // The bar runs to one above the number of marks; the count shown is of marks.
    if (m_barVisible && m_maximum > 0)
        line += ' ' + std::to_string(m_value) + '/' + std::to_string(m_maximum - 1);
    const std::size_t length = line.size();
    if (length < m_lineLength)
        line.append(m_lineLength - length, ' ');
    m_out << '\r' << line << std::flush;
    m_lineOpen = true;
    m_lineLength = length;
    m_lastDraw = now;
}

void TerminalMessages::Show(const std::string& text)
{
    m_progress.EndLine();
    // Messages quote the reply (the service's input error, a mark's angle text) and
    // the system's wording: neither may steer the terminal.
    // The line end goes through with the text: a CR that ends a reply's line is
    // harmless before it, and only there.
    m_out << EscapeForTerminal(text + '\n') << std::flush;
}

TerminalSignIn::TerminalSignIn(std::optional<std::string> userName, std::optional<std::string> password,
                               bool interactive, std::ostream& out, TerminalProgress& progress)
    : m_userName(std::move(userName)),
      m_password(std::move(password)),
      m_interactive(interactive),
      m_out(out),
      m_progress(progress)
{
}

SignInAnswer TerminalSignIn::Ask()
{
    SignInAnswer answer;
    if (!m_userName && !m_interactive)
        return answer;

    m_progress.EndLine();
    if (m_userName) {
        answer.userName = *m_userName;
    } else {
        m_out << "The mark-list service asks for a sign-in.\nUser name: " << std::flush;
        // An empty name, like the end of input, is the dialog's Cancel.
        if (!ReadTerminalLine(answer.userName) || answer.userName.empty()) {
            m_out << '\n' << std::flush;
            return answer;
        }
    }
    if (m_password) {
        answer.password = *m_password;
    } else if (m_interactive) {
        if (!ReadHiddenLine(m_out, "Password: ", answer.password))
            return SignInAnswer();
    }
    answer.loginSucceeded = true;
    return answer;
}

bool SavedReplyTransfer::Open(const std::string&, TransferReply& reply, std::string& error)
{
    error.clear();
    reply.status = kStatusOk;
    reply.statusText = "OK";
    // Handed over whole, not copied: it is the largest thing the tool holds. Only a reply
    // that asks for a sign-in is asked for again, and so kept for that.
    if (AsksForSignIn(reply.status, m_reply))
        reply.body = m_reply;
    else
        reply.body = std::move(m_reply);
    return true;
}

bool TerminalOpener::Open(const std::filesystem::path& document, std::string& reason)
{
    return StartViewer(document, kViewerVerdictWait, {}, reason);
}

FileRead ReadInputFile(const std::string& name, std::size_t maxBytes, std::string& text, std::string& error)
{
    error.clear();
    text.clear();
    const std::string tooLarge = (name == "-" ? std::string("standard input") : name) + " holds more than " +
                                 SizeText(maxBytes) + " and was not read";
    if (name == "-") {
        const bool readWell = ReadBounded(std::cin, text, maxBytes);
        if (text.size() > maxBytes) {
            text.clear();
            error = tooLarge;
            return FileRead::Refused;
        }
        if (!readWell) {
            text.clear();
            error = "Cannot read standard input: " + DescribeErrno(errno);
            return FileRead::Unreadable;
        }
        return FileRead::Done;
    }
    std::string reason;
    switch (ReadWholeFile(name, maxBytes, text, reason)) {
    case WholeFileStatus::Read:
        return FileRead::Done;
    case WholeFileStatus::NotRegularFile:
        error = name + " is not a regular file and was not read";
        return FileRead::Refused;
    case WholeFileStatus::TooLarge:
        error = tooLarge;
        return FileRead::Refused;
    case WholeFileStatus::CannotOpen:
    case WholeFileStatus::CannotRead:
        break;
    }
    error = "Cannot read " + name + ": " + reason;
    return FileRead::Unreadable;
}

FileRead ReadPasswordFile(const std::string& name, std::string& password, std::string& error,
                          std::ostream& warnings)
{
    password.clear();
    std::string text;
    const FileRead read = ReadInputFile(name, kMaxPasswordFileBytes, text, error);
    if (read != FileRead::Done)
        return read;
    struct stat info {};
    if (name != "-" && ::stat(name.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        warnings << "tervane-cli: warning: others can read the password file " << EscapeForTerminal(name)
                 << "; 'chmod 600' makes it yours alone.\n"
                 << std::flush;
    }
    password = text.substr(0, text.find_first_of("\r\n"));
    return FileRead::Done;
}

} // namespace tervane
