#include "process_probe.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace varnok::bench {

namespace {

std::string proc_path(pid_t pid, const char* file) {
    return "/proc/" + std::to_string(pid) + "/" + file;
}

// A "Name:   value" line of /proc/<pid>/status, its first number.
std::size_t status_number(pid_t pid, const std::string& name) {
    std::ifstream status(proc_path(pid, "status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, name.size(), name) == 0) {
            return std::stoul(line.substr(name.size()));
        }
    }
    return 0;
}

}  // namespace

double cpu_seconds(pid_t pid) {
    std::ifstream stat(proc_path(pid, "stat"));
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto name_end = text.rfind(')');
    if (name_end == std::string::npos) {
        return 0;
    }
    // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
    std::istringstream fields(text.substr(name_end + 2));
    std::string skipped;
    for (int field = 3; field < 14; ++field) {
        fields >> skipped;
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::size_t rss_bytes(pid_t pid) {
    return status_number(pid, "VmRSS:") * 1024;
}

std::size_t thread_count(pid_t pid) {
    return status_number(pid, "Threads:");
}

thread_peak_sampler::thread_peak_sampler(pid_t pid, std::chrono::milliseconds period)
    : m_thread([this, pid, period] {
          while (!m_stop) {
              const std::size_t threads = thread_count(pid);
              if (threads > m_peak) {
                  m_peak = threads;
              }
              std::this_thread::sleep_for(period);
          }
      }) {}

thread_peak_sampler::~thread_peak_sampler() {
    m_stop = true;
    m_thread.join();
}

cpu_meter::cpu_meter(pid_t pid) : m_pid(pid) {
    restart();
}

void cpu_meter::restart() {
    m_cpu_start = cpu_seconds(m_pid);
    m_wall_start = std::chrono::steady_clock::now();
}

double cpu_meter::seconds() const {
    return cpu_seconds(m_pid) - m_cpu_start;
}

double cpu_meter::share() const {
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - m_wall_start;
    return wall.count() > 0 ? seconds() / wall.count() : 0;
}

}  // namespace varnok::bench
