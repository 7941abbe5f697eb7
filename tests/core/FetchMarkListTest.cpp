#include "web/FetchMarkList.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tervane {
namespace {

// The transfer, the sign-in prompt and the pointer of one fetch. Each Open takes the next
// scripted reply; a reply of status 0 is a failed transfer with its body as the error.
struct ScriptedFetch final : Transfer, SignInPrompt, MousePointer {
    std::deque<TransferReply> script;
    std::optional<SignInAnswer> answer; // nullopt: the prompt must not be shown
    std::vector<std::string> opens;     // each URL with the credentials it was asked with
    std::string as = "nobody";
    int asked = 0;
    std::string shapes; // the pointer's: H hourglass, D default

    void SetCredentials(const std::string& userName, const std::string& password) override
    {
        as = userName + ":" + password;
    }
    bool Open(const std::string& url, TransferReply& reply, std::string& error) override
    {
        opens.push_back(url + " as " + as);
        EXPECT_FALSE(script.empty()) << "more requests than scripted";
        const TransferReply next = script.empty() ? TransferReply{} : script.front();
        if (!script.empty())
            script.pop_front();
        if (next.status == 0)
            error = next.body;
        else
            reply = next;
        return next.status != 0;
    }
    SignInAnswer Ask() override
    {
        ++asked;
        EXPECT_TRUE(answer.has_value()) << "sign-in asked where none was expected";
        return answer.value_or(SignInAnswer{});
    }
    void ShowHourglass() override { shapes += "H"; }
    void ShowDefault() override { shapes += "D"; }
};

// Every kind of answer also meets the real transfer in tests/qt/HttpTransferTest.cpp;
// these are the sequences and shapes the local server there does not stage. A confirmed
// sign-in repeats the request once, with the credentials.
TEST(FetchMarkList, TurnsEachServerAnswerIntoReplyAndMessage)
{
    const SignInAnswer confirmed{true, "surveyor", "s3cret"};
    const SignInAnswer cancelled{false, "typed", "ignored"};
    const std::string url = "http://marks.example/cgi-bin/get_mark_list.prl?1=SC";
    const TransferReply marks{200, "", "   .  AB1234 1 2 ...\r\n"};
    const TransferReply refusal{200, "", "<html><title>401 Unauthorized</title></html>"};
    const TransferReply refusalIncomplete{200, "", refusal.body + "INPUT INCOMPLETE"};
    const struct {
        const char* name;
        std::deque<TransferReply> script; // status 0: the transfer fails with the body as its error
        std::optional<SignInAnswer> signIn;
        std::string error;
        std::string reply;
    } rows[] = {
        // clang-format off
        {"word in lower case is no refusal", {{200, "", "unauthorized"}}, std::nullopt, "", "unauthorized"},
        {"refusal, sign-in confirmed", {refusal, marks}, confirmed, "", marks.body},
        {"empty 401 cancelled is no time-out", {{401, "", ""}}, cancelled, std::string(kMsgAccessFailed), ""},
        {"empty reply after sign-in", {refusal, {200, "", ""}}, confirmed, std::string(kMsgNoResponse), ""},
        {"empty server error is no time-out", {{503, "", ""}}, std::nullopt, "The server answered 503", ""},
        {"error status with input incomplete", {{500, "", "x INPUT INCOMPLETE"}}, std::nullopt,
         std::string(kMsgInvalidInput), "x INPUT INCOMPLETE"},
        {"input error further down an error page", {{500, "", "oops\nINPUT ERR"}}, std::nullopt,
         "The server answered 500", "oops\nINPUT ERR"},
        {"transfer failure on the repeat", {refusalIncomplete, {0, "", "Timed out"}}, confirmed, "Timed out",
         refusalIncomplete.body},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedFetch fetch;
        fetch.script = row.script;
        fetch.answer = row.signIn;
        std::string reply = "untouched";
        std::string error = "stale";
        FetchMarkList(url, reply, error, fetch, fetch, fetch);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        std::vector<std::string> opens{url + " as nobody"};
        if (row.signIn && row.signIn->loginSucceeded)
            opens.push_back(url + " as surveyor:s3cret");
        EXPECT_EQ(opens, fetch.opens);
        EXPECT_EQ(row.signIn ? 1 : 0, fetch.asked);
        EXPECT_EQ("H", fetch.shapes); // the hourglass stays up for the caller to take down
    }
}

} // namespace
} // namespace tervane
