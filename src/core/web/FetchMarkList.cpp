#include "web/FetchMarkList.h"

#include "marks/MarkList.h"

#include <charconv>
#include <utility>

namespace tervane {

namespace {

constexpr std::string_view kRefusalWord = "Unauthorized";
constexpr std::string_view kInputIncomplete = "INPUT INCOMPLETE";
constexpr int kStatusUnauthorized = 401;
constexpr int kFirstErrorStatus = 400;

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// The service reports bad input on an error status too; those bodies keep their meaning.
bool CarriesServiceMessage(std::string_view body)
{
    return Contains(body, kInputIncomplete) || IsInputErrorReply(body);
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

// The checks of the table after the sign-in, on the last answer and the reply that came
// with it.
void CheckAnswer(const TransferReply& answer, MarkListFetch& fetch)
{
    if (IsServerError(answer.status, fetch.reply)) {
        fetch.error = ServerErrorText(answer);
        return;
    }
    if (Contains(fetch.reply, kInputIncomplete))
        fetch.error = kMsgInvalidInput;
    // A refusal by status alone may come without a page; that is not a silent server.
    if (fetch.reply.empty() && answer.status != kStatusUnauthorized)
        fetch.error = kMsgNoResponse;
}

} // namespace

// Servers that demand credentials answer 401; the service's own refusal page may come
// with any status but always names itself.
bool AsksForSignIn(int status, std::string_view body)
{
    return status == kStatusUnauthorized || Contains(body, kRefusalWord);
}

void FetchMarkList(const std::string& url, std::string& reply, std::string& error, Transfer& transfer,
                   SignInPrompt& signIn)
{
    std::vector<MarkListFetch> fetches{{url, std::move(reply), {}}};
    FetchMarkLists(fetches, transfer, signIn);
    reply = std::move(fetches.front().reply);
    error = std::move(fetches.front().error);
}

void FetchMarkLists(std::vector<MarkListFetch>& fetches, Transfer& transfer, SignInPrompt& signIn)
{
    std::vector<std::string> urls;
    for (const MarkListFetch& fetch : fetches)
        urls.push_back(fetch.url);
    std::vector<TransferOutcome> outcomes = transfer.OpenEach(urls);
    // Which requests were refused for want of credentials; only they are asked again.
    std::vector<std::size_t> refused;
    for (std::size_t i = 0; i < fetches.size(); ++i) {
        MarkListFetch& fetch = fetches[i];
        TransferOutcome& outcome = outcomes[i];
        fetch.error = std::move(outcome.error);
        if (!outcome.answered)
            continue;
        // The body is moved, never copied: a reply may be hundreds of megabytes. The
        // checks below read it where it now lives.
        fetch.reply = std::move(outcome.reply.body);
        if (AsksForSignIn(outcome.reply.status, fetch.reply))
            refused.push_back(i);
    }

    if (!refused.empty()) {
        // A password the transfer held from an earlier sign-in went with these requests
        // and was refused: a lockout counts every try, so it is not sent again untyped.
        if (transfer.ForgetPassword())
            signIn.PasswordRefused();
        const SignInAnswer given = signIn.Ask();
        if (!given.loginSucceeded) {
            for (std::size_t i : refused)
                fetches[i].error = kMsgAccessFailed;
        } else {
            transfer.SetCredentials(given.userName, given.password);
            // The typed password goes out once: with the first refused request alone. Only
            // when the service takes it do the others follow, side by side; when it refuses,
            // they end refused too, and a lockout counts one try for one typo.
            bool refusedAgain = false;
            auto repeat = [&](std::size_t from, std::size_t count) {
                std::vector<std::string> again;
                for (std::size_t k = from; k < from + count; ++k)
                    again.push_back(fetches[refused[k]].url);
                std::vector<TransferOutcome> repeated = transfer.OpenEach(again);
                for (std::size_t k = from; k < from + count; ++k) {
                    MarkListFetch& fetch = fetches[refused[k]];
                    TransferOutcome& outcome = repeated[k - from];
                    // A transfer failure leaves the refusal page as the reply, and stops here.
                    fetch.error = std::move(outcome.error);
                    if (!outcome.answered) {
                        outcomes[refused[k]].answered = false;
                        continue;
                    }
                    fetch.reply = std::move(outcome.reply.body);
                    outcomes[refused[k]].reply.status = outcome.reply.status;
                    outcomes[refused[k]].reply.statusText = std::move(outcome.reply.statusText);
                    // Refused again: the name or password was wrong. The page holds no
                    // marks, so handing it on as a reply would only end in "No marks found!".
                    if (AsksForSignIn(outcome.reply.status, fetch.reply)) {
                        fetch.error = kMsgAccessFailed;
                        refusedAgain = true;
                    }
                }
            };
            repeat(0, 1);
            if (refusedAgain) {
                for (std::size_t k = 1; k < refused.size(); ++k)
                    fetches[refused[k]].error = kMsgAccessFailed;
            } else if (refused.size() > 1) {
                repeat(1, refused.size() - 1);
            }
            if (refusedAgain) {
                transfer.ForgetPassword();
                signIn.PasswordRefused();
            }
        }
    }

    for (std::size_t i = 0; i < fetches.size(); ++i) {
        if (outcomes[i].answered)
            CheckAnswer(outcomes[i].reply, fetches[i]);
    }
}

} // namespace tervane
