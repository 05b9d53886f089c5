#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs the daemon against the simulator with a bundled scenario until every expected status is reached.
class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() {
        char pattern[] = "/tmp/varnok_e2e.XXXXXX";
        mDirectory = mkdtemp(pattern);
    }
    ~EndToEndTest() override { std::filesystem::remove_all(mDirectory); }

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
        mOutput = ReadFile(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path mDirectory;
    std::string mOutput;
};

TEST_F(EndToEndTest, TheDemoScenarioReachesEveryExpectedStatus) {
    EXPECT_EQ(RunScenario("demo.json"), 0) << mOutput << ReadFile(mDirectory / "daemon-output.log");
    EXPECT_THAT(mOutput, ::testing::HasSubstr("RESULT: PASS"));
}

}  // namespace
