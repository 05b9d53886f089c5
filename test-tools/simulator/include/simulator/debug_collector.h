#pragma once

#include <zmq.hpp>

#include <atomic>
#include <cstddef>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varnok::test_tools {

// Collects the daemon's debug lines on a ZeroMQ PULL socket bound on 127.0.0.1 and a free port:
// keeps the last lines and appends every line to a log file (when one is named).
class debug_collector {
public:
    debug_collector(const std::string& log_path, std::size_t kept_lines);
    ~debug_collector();
    debug_collector(const debug_collector&) = delete;
    debug_collector& operator=(const debug_collector&) = delete;

    // "tcp://127.0.0.1:<port>", the endpoint for the daemon's debug socket.
    std::string endpoint() const { return m_endpoint; }
    std::vector<std::string> last_lines() const;
    std::size_t line_count() const;
    // The URL of the daemon's metrics endpoint once a line has named it; empty before.
    std::string metrics_url() const;

private:
    void receive_lines();

    zmq::context_t m_context;
    zmq::socket_t m_socket;
    std::string m_endpoint;
    std::ofstream m_log;
    std::size_t m_kept_lines;
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;
    std::size_t m_count = 0;
    std::string m_metrics_url;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace varnok::test_tools
