#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/pid_file.h"
#include "test_support.h"

namespace core = ozra::libs::core;

class PidFileTest : public ::testing::Test {
protected:
    ~PidFileTest() override { std::filesystem::remove_all(m_directory); }

    void write(const std::string& content) const { std::ofstream(m_path) << content; }

    std::string read() const { return (std::ostringstream() << std::ifstream(m_path).rdbuf()).str(); }

    std::string failure(const std::string& path) const {
        return core::testing::raised_text([&] { core::write_pid(path); });
    }

    const std::string m_directory = [] {
        char pattern[] = "/tmp/pid_file_test.XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string m_path = m_directory + "/varnok.pid";
};

TEST_F(PidFileTest, RefusesOnlyWhileTheFileNamesAnotherLiveProcess) {
    const std::string own = std::to_string(getpid());
    const std::string parent = " " + std::to_string(getppid()) + "\n";
    long pid_max = 0;
    std::ifstream("/proc/sys/kernel/pid_max") >> pid_max;  // no process has this id
    for (const auto& [content, failure_text, after] :
         std::vector<std::tuple<std::optional<std::string>, std::string, std::string>>{
             {std::nullopt, "no exception", own},
             {parent, "Process is running", parent},
             {std::to_string(pid_max), "no exception", own},
             {"0", "no exception", own},
             {"-1", "no exception", own},
             {own + "\n", "no exception", own}}) {
        std::remove(m_path.c_str());
        if (content) {
            write(*content);
        }
        const std::string raised = failure(m_path);
        EXPECT_EQ(raised + " / " + read(), failure_text + " / " + after) << content.value_or("<no file>");
    }
    EXPECT_EQ(failure(m_directory + "/missing/varnok.pid"), "Error opening pid-file!");
}

// Probes pid 1 as an unprivileged user; as root, from a child that drops its privileges first.
TEST_F(PidFileTest, ReportsAProbeRefusedByTheSystem) {
    write("1");
    chmod(m_directory.c_str(), 0755);
    const auto refused = [this] { return failure(m_path) == "write_pid: kill(): Operation not permitted"; };
    if (geteuid() != 0) {
        EXPECT_TRUE(refused());
    } else {
        constexpr uid_t nobody = 65534;
        EXPECT_EXIT(_exit(setgid(nobody) == 0 && setuid(nobody) == 0 && refused() ? 0 : 1),
                    ::testing::ExitedWithCode(0), "");
    }
    EXPECT_EQ(read(), "1");
}
