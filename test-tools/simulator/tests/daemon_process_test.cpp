#include "simulator/daemon_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace varnok::test_tools {

using namespace std::chrono_literals;

class daemon_process_test : public ::testing::Test {
protected:
    ~daemon_process_test() override { std::filesystem::remove(m_output); }

    std::string output() const {
        std::ostringstream text;
        text << std::ifstream(m_output).rdbuf();
        return text.str();
    }

    // Polls until done() holds (the child gives no other sign); false after a generous deadline.
    static bool eventually(const std::function<bool()>& done) {
        for (const auto deadline = std::chrono::steady_clock::now() + 10s; !done();
             std::this_thread::sleep_for(20ms)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
        }
        return true;
    }

    bool output_shows(const std::string& text) const {
        return eventually([&] { return output().find(text) != std::string::npos; });
    }

    std::string m_output = std::filesystem::temp_directory_path() /
                           ("varnok-sim-process-" + std::to_string(::getpid()) + ".log");
};

TEST_F(daemon_process_test, a_child_that_ignores_sigterm_is_killed_and_reported) {
    daemon_process child("/bin/sh", {"-c", "trap '' TERM; echo ready; while :; do sleep 0.05; done"},
                         m_output);
    ASSERT_TRUE(output_shows("ready"));
    EXPECT_EQ(child.terminate(300ms), std::nullopt);
    EXPECT_EQ(child.exit_status(), 128 + 9);
}

TEST_F(daemon_process_test, a_child_that_ended_by_itself_gives_its_exit_status_and_a_missing_program_throws) {
    daemon_process child("/bin/sh", {"-c", "exit 3"}, m_output);
    EXPECT_TRUE(eventually([&] { return child.exit_status() == 3; }));
    EXPECT_EQ(child.terminate(1s), 3);
    EXPECT_THROW(daemon_process("/nonexistent/varnok", {}, m_output), std::runtime_error);
}

}  // namespace varnok::test_tools
