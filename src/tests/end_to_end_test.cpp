#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

// Runs the daemon against the simulator with a bundled scenario until every expected status is reached.
class EndToEndTest : public ::testing::Test {
protected:
    // The simulator's exit status; its output is in mOutput.
    int RunScenario(const std::string& name) {
        const std::string bin = std::getenv("VARNOK_BIN_DIR");
        const std::string scenario =
            std::string(std::getenv("VARNOK_SOURCE_DIR")) + "/test-tools/scenarios/" + name;
        const std::filesystem::path output = mDirectory / "simulator.txt";
        const std::string command = bin + "/varnok-sim --quiet --stop-when-reached --scenario " + scenario +
                                    " --daemon " + bin + "/varnok --workdir " + mDirectory.string() + " > " +
                                    output.string() + " 2>&1";
        const int status = std::system(command.c_str());
        mOutput = ozra::tests::ReadFile(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ozra::tests::CTemporaryDirectory mTemporary;
    const std::filesystem::path mDirectory = mTemporary.Path();
    std::string mOutput;
};

TEST_F(EndToEndTest, TheDemoScenarioReachesEveryExpectedStatus) {
    EXPECT_EQ(RunScenario("demo.json"), 0)
        << mOutput << ozra::tests::ReadFile(mDirectory / "daemon-output.log");
    EXPECT_THAT(mOutput, ::testing::HasSubstr("RESULT: PASS"));
}

}  // namespace
