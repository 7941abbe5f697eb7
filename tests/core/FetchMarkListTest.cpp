#include "web/FetchMarkList.h"

#include "RunFakes.h"

#include <gtest/gtest.h>

namespace tervane {
namespace {

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
        testing::RunFakes fetch;
        fetch.replies[url] = row.script;
        fetch.answer = row.signIn;
        std::string reply = "untouched";
        std::string error = "stale";
        FetchMarkList(url, reply, error, fetch, fetch, fetch);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        std::vector<std::string> opens{url + " as nobody"};
        if (row.signIn && row.signIn->loginSucceeded)
            opens.push_back(url + " as surveyor:s3cret");
        EXPECT_EQ(opens, fetch.requested);
        EXPECT_EQ(row.signIn ? 1 : 0, fetch.asked);
        // The hourglass stays up for the caller to take down.
        EXPECT_EQ(std::vector<std::string>{"pointer: hourglass"}, fetch.log);
    }
}

} // namespace
} // namespace tervane
