// The sample mark-list service: its answers read back through the program's own reply
// reader, and its refusals. Its HTTP front with Basic sign-in, and the marks of its
// county answers, meet the built command-line tool in tests/cli/CliTest.cpp.

#include "SampleMarks.h"

#include "marks/MarkList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tervane::test {
namespace {

TEST(SampleService, AnswersOrRefusesEachQueryAsTheServiceDoes)
{
    using Query = std::map<std::string, std::string>;
    const struct {
        const char* name;
        Query query;
        ReplyOutcome outcome;
        const char* firstLineStart;
    } cases[] = {
        // clang-format off
        {"radius", {{"1", "RADIUS"}, {"2", "S335200"}, {"3", "E1511300"}, {"4", "10"}, {"5", "H-G"}},
         ReplyOutcome::Marks, ""},
        {"project", {{"1", "PROJECT"}, {"2", "L27001"}, {"3", "N"}, {"4", "X-0-0"}}, ReplyOutcome::Marks, ""},
        {"the project without marks", {{"1", "PROJECT"}, {"2", "NOMARKS"}, {"3", "N"}, {"4", "X-0-0"}},
         ReplyOutcome::NoMarks, ""},
        {"unknown control code", {{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}, {"4", "Q-9-9"}},
         ReplyOutcome::InputError, "INPUT ERROR"},
        {"latitude of 60 minutes", {{"1", "RADIUS"}, {"2", "N386000"}, {"3", "W0770213"}, {"4", "5"}, {"5", "H-G"}},
         ReplyOutcome::InputError, "INPUT ERROR"},
        {"county without its code", {{"1", "COUNTY"}, {"2", "VA"}, {"3", "059"}}, ReplyOutcome::NoMarks,
         "INPUT INCOMPLETE"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const std::string body = sample::AnswerMarkList(c.query).body;
        EXPECT_EQ(0u, body.rfind(c.firstLineStart, 0)) << c.name << ": " << body;
        EXPECT_EQ(c.outcome, ReadMarkList(body, "H-G").outcome) << c.name;
    }
    EXPECT_EQ(200, sample::AnswerDatasheet("AB1234").status);
    for (const char* pid : {"", "ab1234", "AB12X4"})
        EXPECT_EQ(404, sample::AnswerDatasheet(pid).status) << pid;
}

TEST(SampleServiceProgram, RefusesUnusableOptions)
{
    for (const char* arguments : {"--user surveyor", "--port 70000", "--port 80x", "--colour red"}) {
        const std::string command =
            std::string(TERVANE_SAMPLE_SERVICE_PATH) + " " + arguments + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments << ": " << status;
    }
}

} // namespace
} // namespace tervane::test
