#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/exception.h"
#include "core/pid_file.h"
#include "test_support.h"

namespace core = ozra::libs::core;

namespace {

class PidFileTest : public ::testing::Test {
protected:
    PidFileTest() {
        char pattern[] = "/tmp/pid_file_test.XXXXXX";
        m_directory = mkdtemp(pattern);
        m_path = m_directory + "/varnok.pid";
    }

    ~PidFileTest() override {
        std::remove(m_path.c_str());
        rmdir(m_directory.c_str());
    }

    void write(const std::string& content) const { std::ofstream(m_path) << content; }

    std::string read() const {
        std::ifstream file(m_path);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::string failure(const std::string& path) const {
        return core::testing::raised_text([&] { core::write_pid(path); });
    }
    std::string failure() const { return failure(m_path); }

    static std::string own_pid() { return std::to_string(getpid()); }

    // No process can have this id: ids are below the kernel's pid_max.
    static std::string unused_pid() {
        std::ifstream limit("/proc/sys/kernel/pid_max");
        long pid_max = 0;
        limit >> pid_max;
        return std::to_string(pid_max);
    }

    std::string m_directory;
    std::string m_path;
};

}  // namespace

TEST_F(PidFileTest, WritesTheProcessIdWithoutLineEnd) {
    core::write_pid(m_path);
    EXPECT_EQ(read(), own_pid());
}

TEST_F(PidFileTest, RefusesWhileTheFileNamesAnotherLiveProcess) {
    const std::string parent = std::to_string(getppid());
    write(" " + parent + "\n");
    EXPECT_EQ(failure(), "Process is running");
    EXPECT_EQ(read(), " " + parent + "\n");
}

TEST_F(PidFileTest, OverwritesStaleOrMeaninglessContent) {
    for (const std::string& content :
         {unused_pid(), std::string("not a number"), std::string(), std::string("0"), std::string("-1"),
          std::string("99999999999999"), own_pid() + "\n"}) {
        write(content);
        EXPECT_EQ(failure(), "no exception") << "content: " << content;
        EXPECT_EQ(read(), own_pid()) << "content: " << content;
    }
}

TEST_F(PidFileTest, ReportsAFileThatCannotBeCreated) {
    EXPECT_EQ(failure(m_directory + "/missing/varnok.pid"), "Error opening pid-file!");
}

// Probes pid 1 as an unprivileged user; as root, from a child that drops its privileges first.
TEST_F(PidFileTest, ReportsAProbeRefusedByTheSystem) {
    write("1");
    chmod(m_directory.c_str(), 0755);
    const auto probe = [this] {
        const std::string text = failure();
        return text == "write_pid: kill(): Operation not permitted";
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(probe());
    } else {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            constexpr uid_t nobody = 65534;
            _exit(setgid(nobody) == 0 && setuid(nobody) == 0 && probe() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(read(), "1");
}
