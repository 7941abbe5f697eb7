#include "web/FetchMarkList.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace tervane {
namespace {

// One scripted outcome of Transfer::Open: a reply, or a failure with its description.
struct Outcome {
    int status = 200;
    std::string body;
    std::string statusText;
    std::string failure; // non-empty: Open fails with this text
};

// clang-format off
Outcome Ok(std::string body) { return {200, std::move(body), {}, {}}; }
Outcome Status(int status, std::string body, std::string reason) { return {status, std::move(body), std::move(reason), {}}; }
Outcome Fails(std::string why) { return {0, {}, {}, std::move(why)}; }
// clang-format on

class ScriptedTransfer : public Transfer {
public:
    explicit ScriptedTransfer(std::deque<Outcome> script) : m_script(std::move(script)) {}

    void SetCredentials(const std::string& userName, const std::string& password) override
    {
        m_credentials = userName + ":" + password;
    }

    bool Open(const std::string& url, TransferReply& reply, std::string& error) override
    {
        opens.push_back(url + " as " + m_credentials.value_or("nobody"));
        EXPECT_FALSE(m_script.empty()) << "more requests than scripted";
        if (m_script.empty())
            return false;
        Outcome next = m_script.front();
        m_script.pop_front();
        if (!next.failure.empty()) {
            error = next.failure;
            return false;
        }
        reply = {next.status, next.statusText, next.body};
        return true;
    }

    std::vector<std::string> opens;

private:
    std::deque<Outcome> m_script;
    std::optional<std::string> m_credentials;
};

class ScriptedSignIn : public SignInPrompt {
public:
    explicit ScriptedSignIn(std::optional<SignInAnswer> answer) : m_answer(std::move(answer)) {}
    SignInAnswer Ask() override
    {
        ++asked;
        EXPECT_TRUE(m_answer.has_value()) << "sign-in asked where none was expected";
        return m_answer.value_or(SignInAnswer{});
    }
    int asked = 0;

private:
    std::optional<SignInAnswer> m_answer;
};

class RecordingPointer : public MousePointer {
public:
    void ShowHourglass() override { shapes += "H"; }
    void ShowDefault() override { shapes += "D"; }
    std::string shapes;
};

const SignInAnswer kConfirmed{true, "surveyor", "s3cret"};
const SignInAnswer kCancelled{false, "typed", "ignored"};
const std::string kUrl = "http://marks.example/cgi-bin/get_mark_list.prl?1=SC";
const std::string kMarks = "   .  AB1234 1 2 ...\r\n";
const std::string kRefusal = "<html><title>401 Unauthorized</title></html>";
const std::string kAsUser = kUrl + " as surveyor:s3cret";
const std::string kAsNobody = kUrl + " as nobody";

struct Row {
    const char* name;
    std::deque<Outcome> script;
    std::optional<SignInAnswer> signIn; // nullopt: the prompt must not be shown
    std::string error;
    std::string reply;
    std::vector<std::string> opens;
};

// Every kind of answer also meets the real transfer in tests/qt/HttpTransferTest.cpp;
// these are the sequences and shapes the local server there does not stage.
TEST(FetchMarkList, TurnsEachServerAnswerIntoReplyAndMessage)
{
    const std::string noResponse(kMsgNoResponse);
    const std::string accessFailed(kMsgAccessFailed);
    const std::string invalidInput(kMsgInvalidInput);
    // clang-format off
    const Row rows[] = {
        {"word in lower case is no refusal", {Ok("unauthorized")}, std::nullopt, "", "unauthorized", {kAsNobody}},
        {"refusal, sign-in confirmed", {Ok(kRefusal), Ok(kMarks)}, kConfirmed, "", kMarks, {kAsNobody, kAsUser}},
        {"empty 401 cancelled is no time-out", {Status(401, "", "")}, kCancelled, accessFailed, "", {kAsNobody}},
        {"empty reply after sign-in", {Ok(kRefusal), Ok("")}, kConfirmed, noResponse, "", {kAsNobody, kAsUser}},
        {"empty server error is no time-out", {Status(503, "", "")}, std::nullopt, "The server answered 503", "",
         {kAsNobody}},
        {"error status with input incomplete", {Status(500, "x INPUT INCOMPLETE", "")}, std::nullopt,
         invalidInput, "x INPUT INCOMPLETE", {kAsNobody}},
        {"input error further down an error page", {Status(500, "oops\nINPUT ERR", "")}, std::nullopt,
         "The server answered 500", "oops\nINPUT ERR", {kAsNobody}},
        {"transfer failure on the repeat", {Ok(kRefusal + "INPUT INCOMPLETE"), Fails("Timed out")}, kConfirmed,
         "Timed out", kRefusal + "INPUT INCOMPLETE", {kAsNobody, kAsUser}},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedTransfer transfer(row.script);
        ScriptedSignIn signIn(row.signIn);
        RecordingPointer pointer;
        std::string reply = "untouched";
        std::string error = "stale";
        FetchMarkList(kUrl, reply, error, transfer, signIn, pointer);
        EXPECT_EQ(row.error, error);
        EXPECT_EQ(row.reply, reply);
        EXPECT_EQ(row.opens, transfer.opens);
        EXPECT_EQ(row.signIn ? 1 : 0, signIn.asked);
        // The hourglass stays up for the caller to take down.
        EXPECT_EQ("H", pointer.shapes);
    }
}

} // namespace
} // namespace tervane
