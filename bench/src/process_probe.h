#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

namespace varnok::bench {

// CPU time (user + system) a process has used, in seconds; 0 once it has gone.
double cpu_seconds(pid_t pid);
std::size_t rss_bytes(pid_t pid);
std::size_t thread_count(pid_t pid);

// Samples a process's thread count until destroyed and keeps the highest.
class thread_peak_sampler {
public:
    thread_peak_sampler(pid_t pid, std::chrono::milliseconds period);
    ~thread_peak_sampler();
    thread_peak_sampler(const thread_peak_sampler&) = delete;
    thread_peak_sampler& operator=(const thread_peak_sampler&) = delete;

    std::size_t peak() const { return m_peak; }

private:
    std::atomic<std::size_t> m_peak{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// CPU share of one core a process used between two points in time.
class cpu_meter {
public:
    explicit cpu_meter(pid_t pid);
    void restart();
    double seconds() const;  // CPU seconds since the start
    double share() const;    // CPU seconds per wall second since the start

private:
    pid_t m_pid;
    double m_cpu_start = 0;
    std::chrono::steady_clock::time_point m_wall_start;
};

}  // namespace varnok::bench
