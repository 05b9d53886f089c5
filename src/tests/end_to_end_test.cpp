#include <gmock/gmock.h>
#include <sys/wait.h>

#include "test_support.h"

namespace {

// The daemon against the simulator with the bundled demo scenario, until every expected status is reached.
TEST(EndToEndTest, TheDemoScenarioReachesEveryExpectedStatus) {
    const ozra::tests::CTemporaryDirectory directory;
    const std::string bin = std::getenv("VARNOK_BIN_DIR");
    const std::string output = directory.Path() + "/simulator.txt";
    const std::string command = bin + "/varnok-sim --quiet --stop-when-reached --scenario " +
                                std::getenv("VARNOK_SOURCE_DIR") +
                                "/test-tools/scenarios/demo.json --daemon " + bin + "/varnok --workdir " +
                                directory.Path() + " > " + output + " 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << ozra::tests::ReadFile(output) << ozra::tests::ReadFile(directory.Path() + "/daemon-output.log");
    EXPECT_THAT(ozra::tests::ReadFile(output), ::testing::HasSubstr("RESULT: PASS"));
}

}  // namespace
