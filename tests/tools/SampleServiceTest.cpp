// The sample mark-list service's program. Its answers, refusals and Basic sign-in meet the
// built command-line tool in tests/cli/CliTest.cpp, and its start and end
// scripts/with-service.sh in tests/scripts/WithServiceCheck.sh.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <sys/wait.h>

namespace tervane::test {
namespace {

TEST(SampleServiceProgram, RefusesUnusableOptions)
{
    for (const char* arguments :
         {"--user surveyor", "--port -1", "--port 70000", "--port 80x", "--colour red"}) {
        const std::string command =
            std::string(TERVANE_SAMPLE_SERVICE_PATH) + " " + arguments + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments << ": " << status;
    }
}

} // namespace
} // namespace tervane::test
