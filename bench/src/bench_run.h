#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>

namespace varnok::bench {

struct run_options {
    std::string daemon;                        // the daemon binary
    std::string workdir;                       // configuration, pid file and daemon output
    std::chrono::seconds timeout{180};         // longest wait of each step
    std::chrono::seconds download_limit{300};  // longest download measured
    std::chrono::seconds idle{5};              // idle measurement
    int wrk_seconds = 3;
    int wrk_connections = 32;
    std::size_t connections = 16;  // the daemon's server.connections
};

// One site to measure: its size, and how late its server answers every request.
struct site_size {
    std::size_t tags = 0;
    std::size_t zones = 0;
    std::chrono::milliseconds latency{0};
};

// The figures of one site size; an empty figure was not reached in time (or not measured after a fault).
struct size_result {
    std::size_t tags = 0;
    std::size_t zones = 0;
    std::chrono::milliseconds latency{0};
    std::size_t connections = 0;
    std::size_t entries = 0;  // tag-zone entries of the site
    double load_average = 0;  // of the machine, over the minute before the run
    std::optional<double> startup_s;
    double startup_parse_s = 0;
    std::optional<double> first_crc_request_s;
    std::size_t verified_updated = 0;
    std::size_t verified_reported = 0;
    std::map<std::string, std::size_t> verified_other;  // tags by other status and reason
    std::optional<double> reread_s;
    double reread_parse_s = 0;
    std::optional<std::size_t> rss_idle;
    std::optional<double> idle_cpu_share;
    std::size_t download_frames = 0;
    double download_s = 0;
    std::size_t download_tags_done = 0;
    std::size_t disconnected = 0;  // tags reported "disconnected" at any time
    double download_daemon_cpu_s = 0;
    double download_report_gap_s = 0;  // longest time between two status reports while downloading
    std::optional<double> wrk_rate;
    std::size_t peak_threads = 0;
    double site_cpu_startup = 0;  // the server and emulators, share of one core
    double site_cpu_download = 0;
    double site_cpu_wrk = 0;
    std::size_t protocol_errors = 0;
    std::string fault;  // what ended the run early
};

size_result run_size(const run_options& options, const site_size& size, std::ostream& progress);

}  // namespace varnok::bench
