#include <gmock/gmock.h>

#include "daemon_site.h"

using namespace ::testing;

namespace ozra::tests {
namespace {

struct DaemonTest : ::testing::Test, CServedSite {};

TEST_F(DaemonTest, TheLastConfigurationOptionWinsAndASecondDaemonIsRefused) {
    const std::string good = mSite.WriteConfig();
    auto daemon =
        mSite.Run({"-c", mSite.WriteConfig(R"({"zone_types":null})"), "ignored-argument", "-c", good});
    ASSERT_TRUE(
        Eventually([&] { return daemon->Log().find("Running") != std::string::npos; }, daemon_deadline))
        << daemon->Log();
    EXPECT_EQ(ReadFile(mSite.PidFile()), std::to_string(daemon->pid()));

    auto second = mSite.Run({"-c", good});
    EXPECT_EQ(second->WaitForExit(), 1);
    EXPECT_THAT(second->Log(), HasSubstr("Process is running"));
    EXPECT_EQ(ReadFile(mSite.PidFile()), std::to_string(daemon->pid()));

    EXPECT_EQ(daemon->Stop(SIGINT), 0) << daemon->Log();
    EXPECT_THAT(daemon->Log(), EndsWith("exit\n"));
}

// None leaves the site's pid file; the last, failing after it is written, has one of its own.
TEST_F(DaemonTest, StartUpFailuresEndWithStatusOne) {
    const std::string taken = "127.0.0.1:" + std::to_string(mServer->port());
    const std::string usage = "Usage: " + CDaemon::ProgramPath() + " -c config_file";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "The configuration file is not defined! " + usage},
        {{"plain-argument"}, "The configuration file is not defined! " + usage},
        {{"-x"}, usage},
        {{"-c"}, usage},
        {{"-c", mSite.Directory() + "/missing.json"}, "Cannot parse json: "},
        {{"-c", mSite.WriteConfig(), "-c", mSite.WriteConfig(R"({"system":null})")},
         "Config file is invalid: "},
        {{"-c", mSite.WriteConfig(R"({"system":{"debug_port":"no endpoint"}})")}, "Invalid argument"},
        {{"-c", mSite.WriteConfig(R"({"metrics":{"listen":")" + taken + R"("},"system":{"pidfile":")" +
                                  mSite.Directory() + R"(/other.pid"}})")},
         "metrics.listen: cannot listen at " + taken},
    };
    for (const auto& [arguments, error] : cases) {
        auto daemon = mSite.Run(arguments);
        EXPECT_EQ(daemon->WaitForExit(), 1) << error;
        EXPECT_THAT(daemon->Log(), AllOf(HasSubstr(error), Not(HasSubstr("exit\n"))));
        EXPECT_FALSE(std::filesystem::exists(mSite.PidFile())) << error;
    }
}

}  // namespace
}  // namespace ozra::tests
