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

// Plain answers (marks, 401, 500, redirect, empty, closed port) meet the transfer in the
// fetch table below; these are the ones only the transfer itself sees.
TEST(HttpTransfer, KeepsTheBytesAndRefusesOversizedCutShortUndecodableAndNonWebReplies)
{
    LocalMarkServer server;
    server.bigBytes = 4096;
    HttpTransfer transfer;
    transfer.SetMaxReplyBytes(1024);
    TransferReply reply;
    std::string error = "stale";
    ASSERT_TRUE(transfer.Open(server.Url("/latin1"), reply, error)) << error;
    EXPECT_EQ("", error);
    EXPECT_EQ("  1.  AB1234 \xB0\xE9\r\n", reply.body) << "bytes kept as they came";

    const std::string tooLarge =
        "The mark-list service's reply is larger than 1024 bytes and was not accepted.";
    const std::string undecodable = "The mark-list service's reply could not be read: ";
    constexpr qint64 kSmallLimit = 1024;
    constexpr qint64 kDefaultLimit = HttpTransfer::kDefaultMaxReplyBytes;
    const struct {
        const char* name;
        std::string url;
        qint64 maxBytes;
        std::string error; // or its start
    } rows[] = {
        {"too large by Content-Length", server.Url("/big"), kSmallLimit, tooLarge},
        {"too large while reading", server.Url("/big-chunked"), kSmallLimit, tooLarge},
        // Used to grow without bound: Qt buffered it and never said data had come.
        {"endless chunked body", server.Url("/endless-chunked"), kSmallLimit, tooLarge},
        {"too large once unpacked", server.Url("/gzip-big"), kSmallLimit, tooLarge},
        // These three used to come back as replies: part of the marks, or nothing.
        {"plain text labelled gzip", server.Url("/gzip-mislabelled"), kDefaultLimit, undecodable},
        {"gzip cut short", server.Url("/gzip-corrupt"), kDefaultLimit, undecodable},
        {"gzip bomb", server.Url("/gzip-bomb"), kDefaultLimit, undecodable},
        {"cut short is no short mark list", server.Url("/truncated"), kSmallLimit,
         "The mark-list service's reply broke off: "},
        {"not a web address", "ftp://127.0.0.1/marks", kSmallLimit,
         "The mark-list address is not a web address: ftp://127.0.0.1/marks"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        transfer.SetMaxReplyBytes(row.maxBytes);
        reply = TransferReply{};
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(transfer.Open(row.url, reply, error));
        EXPECT_EQ(row.error, error.substr(0, row.error.size())) << error;
        EXPECT_EQ("", reply.body);
        EXPECT_LT(clock.elapsed(), 10000);
    }
}

// The limit is on the whole transfer: a server that keeps sending a byte now and then
// used to hold the run for as long as it liked.
TEST(HttpTransfer, GivesUpAtTheDeadlineWhileWindowsRepaint)
{
    SilentServer silent;
    LocalMarkServer trickling;
    const struct {
        const char* name;
        std::string url;
    } rows[] = {
        {"silent", "http://127.0.0.1:" + std::to_string(silent.port) + "/marks"},
        {"one byte every 100 ms", trickling.Url("/trickle")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
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
        EXPECT_FALSE(transfer.Open(row.url, reply, error));
        EXPECT_EQ("The mark-list service did not answer within 0.5 seconds.", error);
        EXPECT_GE(clock.elapsed(), 450);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_GE(ticks, 3) << "the wait must keep the event loop turning";
    }
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
struct ScriptedSignIn : SignInPrompt {
    explicit ScriptedSignIn(SignInAnswer given) : answer(std::move(given)) {}
    SignInAnswer Ask() override
    {
        ++asked;
        return answer;
    }
    SignInAnswer answer;
    int asked = 0;
};

struct NoPointer : MousePointer {
    void ShowHourglass() override {}
    void ShowDefault() override {}
};

TEST(FetchMarkListOverHttp, EndsEveryServerAnswerInTheRightMessage)
{
    // A right password and a cancelled sign-in are driven through the dialog in SignInDialogTest.
    LocalMarkServer server;
    // Another origin (another port) that asks for a sign-in too, and counts the
    // credentials it is offered.
    LocalMarkServer elsewhere;
    server.awayUrl = elsewhere.Url("/basic");
    const SignInAnswer right{true, kUser, kPassword};
    const SignInAnswer wrong{true, kUser, "guess"};
    const SignInAnswer cancel{false, "", ""};
    const std::string untouched = "as the caller left it";
    const struct {
        const char* name;
        std::string url;
        SignInAnswer answer;
        int asked;
        std::string error;
        std::string reply;
    } rows[] = {
        {"normal reply", server.Url("/marks"), cancel, 0, "", kMarkLines},
        {"401 with a wrong password", server.Url("/basic"), wrong, 1, std::string(kMsgAccessFailed),
         kBasicRefusal},
        {"service refusal page again after sign-in", server.Url("/refusal-page"), right, 1,
         std::string(kMsgAccessFailed), kServicePageRefusal},
        {"refusal and incomplete, cancelled", server.Url("/refusal-page-incomplete"), cancel, 1,
         std::string(kMsgInvalidInput), kServicePageRefusal + "INPUT INCOMPLETE"},
        {"input incomplete", server.Url("/incomplete"), cancel, 0, std::string(kMsgInvalidInput),
         "INPUT INCOMPLETE\n"},
        {"empty reply", server.Url("/empty"), cancel, 0, std::string(kMsgNoResponse), ""},
        {"server error page", server.Url("/error500"), cancel, 0,
         "The server answered 500 Internal Server Error", "<h1>Software error</h1>"},
        {"service input error on 400", server.Url("/input-error-400"), cancel, 0, "",
         "INPUT ERROR: no such county\n"},
        {"redirected", server.Url("/redirect"), cancel, 0, "", kMarkLines},
        {"redirected within the service, signed in", server.Url("/redirect-basic"), right, 1, "", kMarkLines},
        // Its credentials used to follow the redirect to whoever asked.
        {"redirected to another origin that asks for a sign-in", server.Url("/redirect-away"), right, 1,
         std::string(kMsgAccessFailed), kBasicRefusal},
        {"closed port", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x", right, 0,
         "Could not reach the mark-list service: Connection refused", untouched},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HttpTransfer transfer; // fresh: no credentials left from an earlier row
        ScriptedSignIn signIn(row.answer);
        NoPointer pointer;
        std::string reply = untouched;
        std::string error;
        FetchMarkList(row.url, reply, error, transfer, signIn, pointer);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        EXPECT_EQ(row.asked, signIn.asked);
    }
    EXPECT_EQ(0, elsewhere.authorizationsSeen.load()) << "credentials stay with the service's origin";
}

} // namespace
} // namespace tervane
