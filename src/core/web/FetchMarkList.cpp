#include "web/FetchMarkList.h"

#include <charconv>
#include <utility>

namespace tervane {

namespace {

constexpr std::string_view kRefusalWord = "Unauthorized";
constexpr std::string_view kInputIncomplete = "INPUT INCOMPLETE";
constexpr std::string_view kInputErrorStart = "INPUT ERR";
constexpr int kStatusUnauthorized = 401;
constexpr int kFirstErrorStatus = 400;

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// The service reports bad input on an error status too; those bodies keep their meaning.
bool CarriesServiceMessage(std::string_view body)
{
    return Contains(body, kInputIncomplete) || body.substr(0, kInputErrorStart.size()) == kInputErrorStart;
}

// An error page (proxy, web server, crashed script) holds no marks; reading it as a
// mark list would end in "No marks found!" and hide what went wrong.
bool IsServerError(int status, std::string_view body)
{
    return status >= kFirstErrorStatus && !AsksForSignIn(status, body) && !CarriesServiceMessage(body);
}

std::string ServerErrorText(const TransferReply& answer)
{
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, answer.status);
    std::string text(kMsgServerAnswered);
    text.append(digits, ec == std::errc() ? end : digits);
    if (!answer.statusText.empty())
        text.append(" ").append(answer.statusText);
    return text;
}

} // namespace

// Servers that demand credentials answer 401; the service's own refusal page may come
// with any status but always names itself.
bool AsksForSignIn(int status, std::string_view body)
{
    return status == kStatusUnauthorized || Contains(body, kRefusalWord);
}

void FetchMarkList(const std::string& url, std::string& reply, std::string& error, Transfer& transfer,
                   SignInPrompt& signIn, MousePointer& pointer)
{
    error.clear();
    pointer.ShowHourglass();

    TransferReply answer;
    if (!transfer.Open(url, answer, error))
        return;
    // The body is moved, never copied: a reply may be hundreds of megabytes. The checks
    // below read it where it now lives.
    reply = std::move(answer.body);

    if (AsksForSignIn(answer.status, reply)) {
        // A password the transfer held from an earlier sign-in went with this request and
        // was refused: a lockout counts every try, so it is not sent again untyped.
        if (transfer.ForgetPassword())
            signIn.PasswordRefused();
        SignInAnswer given = signIn.Ask();
        if (!given.loginSucceeded) {
            error = kMsgAccessFailed;
        } else {
            transfer.SetCredentials(given.userName, given.password);
            TransferReply repeated;
            if (!transfer.Open(url, repeated, error))
                return;
            answer = std::move(repeated);
            reply = std::move(answer.body);
            error.clear();
            // Refused again: the name or password was wrong. The page holds no marks, so
            // handing it on as a reply would only end in "No marks found!".
            if (AsksForSignIn(answer.status, reply)) {
                error = kMsgAccessFailed;
                transfer.ForgetPassword();
                signIn.PasswordRefused();
            }
        }
    }

    if (IsServerError(answer.status, reply)) {
        error = ServerErrorText(answer);
        return;
    }
    if (Contains(reply, kInputIncomplete))
        error = kMsgInvalidInput;
    // A refusal by status alone may come without a page; that is not a silent server.
    if (reply.empty() && answer.status != kStatusUnauthorized)
        error = kMsgNoResponse;
}

} // namespace tervane
