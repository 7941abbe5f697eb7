#include "qt/HttpTransfer.h"
#include "web/FetchMarkList.h"

#include "LocalMarkServer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace tervane {
namespace {

using namespace tervane::testing;
using namespace std::chrono_literals;

struct TransferRow {
    const char *name;
    std::string path;
    int status;       // 0: Open must fail
    std::string body; // or the start of the failure text
};

TEST(HttpTransfer, ReturnsEveryHttpAnswerAsAReplyAndFailsOnlyWithoutOne)
{
    LocalMarkServer server;
    server.bigBytes = 4096;
    HttpTransfer transfer;
    transfer.SetMaxReplyBytes(1024);
    const TransferRow rows[] = {
        {"mark list", "/marks", 200, kMarkLines},
        {"bytes kept as they came", "/latin1", 200, "  1.  AB1234 \xB0\xE9\r\n"},
        {"401 body comes back as a reply", "/basic", 401, kBasicRefusal},
        {"500 page comes back as a reply", "/error500", 500, "<h1>Software error</h1>"},
        {"redirect followed", "/redirect", 200, kMarkLines},
        {"empty body", "/empty", 200, ""},
        {"too large by Content-Length", "/big", 0,
         "The mark-list service's reply is larger than 1024 bytes and was not accepted."},
        {"too large while reading", "/big-chunked", 0,
         "The mark-list service's reply is larger than 1024 bytes and was not accepted."},
        {"cut short is no short mark list", "/truncated", 0, "The mark-list service's reply broke off: "},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TransferReply reply;
        std::string error = "stale";
        const bool ok = transfer.Open(server.Url(row.path), reply, error);
        if (row.status != 0) {
            EXPECT_TRUE(ok) << error;
            EXPECT_EQ("", error);
            EXPECT_EQ(row.status, reply.status);
            EXPECT_EQ(row.body, reply.body);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(row.body, error.substr(0, row.body.size())) << error;
        }
    }
}

TEST(HttpTransfer, NamesTheReasonWhenNoServerAnswers)
{
    HttpTransfer transfer;
    const struct {
        const char *name;
        std::string url;
        std::string error;
    } rows[] = {
        {"closed port", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/marks",
         "Could not reach the mark-list service: Connection refused"},
        {"not a web address", "ftp://127.0.0.1/marks",
         "The mark-list address is not a web address: ftp://127.0.0.1/marks"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TransferReply reply;
        std::string error;
        EXPECT_FALSE(transfer.Open(row.url, reply, error));
        EXPECT_EQ(row.error, error);
    }
}

TEST(HttpTransfer, GivesUpOnASilentServerAfterTheTimeOutWhileWindowsRepaint)
{
    SilentServer silent;
    HttpTransfer transfer;
    transfer.SetTimeout(500ms);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    TransferReply reply;
    std::string error;
    EXPECT_FALSE(transfer.Open("http://127.0.0.1:" + std::to_string(silent.port) + "/marks", reply, error));
    EXPECT_EQ("The mark-list service did not answer within 0.5 seconds.", error);
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_GE(ticks, 3) << "the wait must keep the event loop turning";
}

TEST(HttpTransfer, AnswersTheChallengeOncePerRequestAndOnlyWithSetCredentials)
{
    LocalMarkServer server;
    HttpTransfer transfer;
    TransferReply reply;
    std::string error;

    ASSERT_TRUE(transfer.Open(server.Url("/basic"), reply, error)) << error;
    EXPECT_EQ(401, reply.status);
    EXPECT_EQ(0, server.authorizationsSeen.load()) << "nothing to offer before a sign-in";

    transfer.SetCredentials(kUser, "wrong");
    ASSERT_TRUE(transfer.Open(server.Url("/basic"), reply, error)) << error;
    EXPECT_EQ(401, reply.status);
    EXPECT_EQ(kBasicRefusal, reply.body);
    EXPECT_EQ(1, server.authorizationsSeen.load()) << "a wrong password is tried once, not in a loop";

    transfer.SetCredentials(kUser, kPassword);
    ASSERT_TRUE(transfer.Open(server.Url("/basic"), reply, error)) << error;
    EXPECT_EQ(200, reply.status);
    EXPECT_EQ(kMarkLines, reply.body);
}

// Signs in with a fixed answer, counting how often it was asked.
class ScriptedSignIn : public SignInPrompt {
  public:
    explicit ScriptedSignIn(SignInAnswer answer) : m_answer(std::move(answer)) {}
    SignInAnswer Ask() override
    {
        ++asked;
        return m_answer;
    }
    int asked = 0;

  private:
    SignInAnswer m_answer;
};

class NoPointer : public MousePointer {
  public:
    void ShowHourglass() override {}
    void ShowDefault() override {}
};

TEST(FetchMarkListOverHttp, EndsEveryServerAnswerInTheRightMessage)
{
    LocalMarkServer server;
    const SignInAnswer right{true, kUser, kPassword};
    const SignInAnswer wrong{true, kUser, "guess"};
    const SignInAnswer cancel{false, "", ""};
    const std::string silentUrl = "http://127.0.0.1:" + std::to_string(SilentServer().port) + "/marks";
    const struct {
        const char *name;
        std::string path;
        SignInAnswer answer;
        int asked;
        std::string error;
        std::string reply;
    } rows[] = {
        {"normal reply", "/marks", cancel, 0, "", kMarkLines},
        {"401 signed in", "/basic", right, 1, "", kMarkLines},
        {"401 cancelled", "/basic", cancel, 1, std::string(kMsgAccessFailed), kBasicRefusal},
        {"401 with a wrong password", "/basic", wrong, 1, std::string(kMsgAccessFailed), kBasicRefusal},
        {"service refusal page cancelled", "/refusal-page", cancel, 1, std::string(kMsgAccessFailed),
         kServicePageRefusal},
        {"service refusal page again after sign-in", "/refusal-page", right, 1, std::string(kMsgAccessFailed),
         kServicePageRefusal},
        {"refusal and incomplete, cancelled", "/refusal-page-incomplete", cancel, 1,
         std::string(kMsgInvalidInput), kServicePageRefusal + "INPUT INCOMPLETE"},
        {"input incomplete", "/incomplete", cancel, 0, std::string(kMsgInvalidInput), "INPUT INCOMPLETE\n"},
        {"empty reply", "/empty", cancel, 0, std::string(kMsgNoResponse), ""},
        {"server error page", "/error500", cancel, 0, "The server answered 500 Internal Server Error",
         "<h1>Software error</h1>"},
        {"service input error on 400", "/input-error-400", cancel, 0, "", "INPUT ERROR: no such county\n"},
        {"redirected", "/redirect", cancel, 0, "", kMarkLines},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        HttpTransfer transfer; // fresh: no credentials left from an earlier row
        ScriptedSignIn signIn(row.answer);
        NoPointer pointer;
        std::string reply;
        std::string error;
        FetchMarkList(server.Url(row.path), reply, error, transfer, signIn, pointer);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        EXPECT_EQ(row.asked, signIn.asked);
    }
}

TEST(FetchMarkListOverHttp, StopsAtOnceWhenTheTransferFails)
{
    SilentServer silent;
    const struct {
        const char *name;
        std::string url;
        std::string error;
    } rows[] = {
        {"closed port", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x",
         "Could not reach the mark-list service: Connection refused"},
        {"silent server", "http://127.0.0.1:" + std::to_string(silent.port) + "/x",
         "The mark-list service did not answer within 0.5 seconds."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        HttpTransfer transfer;
        transfer.SetTimeout(500ms);
        ScriptedSignIn signIn({true, kUser, kPassword});
        NoPointer pointer;
        std::string reply = "as the caller left it";
        std::string error;
        FetchMarkList(row.url, reply, error, transfer, signIn, pointer);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ("as the caller left it", reply);
        EXPECT_EQ(0, signIn.asked);
    }
}

} // namespace
} // namespace tervane
