#include "simulator/simulation_run.h"

#include "simulator/daemon_config.h"
#include "simulator/daemon_process.h"
#include "simulator/debug_collector.h"
#include "simulator/simulated_site.h"
#include "simulator/status_table.h"

#include <filesystem>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace varnok::test_tools {

namespace {

using steady = std::chrono::steady_clock;
constexpr std::chrono::milliseconds tick{100};
constexpr std::chrono::seconds termination_timeout{20};
constexpr std::size_t kept_debug_lines = 15;
// On a free port, which the daemon logs.
const std::string metrics_listen = "127.0.0.1:0";

std::string make_workdir(const std::string& requested) {
    if (!requested.empty()) {
        std::filesystem::create_directories(requested);
        return requested;
    }
    std::string pattern = "/tmp/varnok-sim-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot create a work directory under /tmp");
    }
    return pattern;
}

double seconds_since(steady::time_point start) {
    return std::chrono::duration<double>(steady::now() - start).count();
}

bool all_expectations_met(const std::vector<tag_view>& tags) {
    for (const auto& tag : tags) {
        if (tag.expected && !expectation_met(tag)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int run_simulation(const scenario& s, const run_options& options, std::ostream& out) {
    const auto workdir = make_workdir(options.workdir);
    const auto config_path = workdir + "/varnok.json";
    const auto pid_path = workdir + "/varnok.pid";
    std::filesystem::remove(pid_path);

    debug_collector collector(workdir + "/daemon-debug.log", kept_debug_lines);
    simulated_site site(s);
    std::ofstream(config_path) << daemon_config_text({pid_path, collector.endpoint(), site.proxy().port(),
                                                      site.server().port(), s.configured_zone_types,
                                                      metrics_listen});

    out << "scenario " << s.name << ": " << s.tags.size() << " tags, " << s.zones.size() << " zones, "
        << s.events.size() << " events\n"
        << "server " << site.server().url() << ", proxy " << site.proxy().endpoint() << ", debug "
        << collector.endpoint() << "\nwork directory " << workdir << "\n"
        << std::flush;

    daemon_process daemon(options.daemon, {"-c", config_path}, workdir + "/daemon-output.log");
    const auto started = steady::now();
    std::optional<steady::time_point> ready;
    std::size_t next_event = 0;
    double last_event_s = 0;
    auto next_table = started;
    std::string failure;

    while (true) {
        if (const auto status = daemon.exit_status()) {
            failure = "the daemon ended early with exit status " + std::to_string(*status);
            break;
        }
        if (!ready && site.daemon_ready()) {
            ready = steady::now();
            out << "daemon ready after " << static_cast<int>(seconds_since(started)) << " s\n";
        }
        if (!ready && seconds_since(started) > s.startup_timeout_s) {
            failure =
                "the daemon did not become ready within " + std::to_string(int(s.startup_timeout_s)) + " s";
            break;
        }
        if (ready) {
            const double run_s = seconds_since(*ready);
            for (; next_event < s.events.size() && s.events[next_event].at_s <= run_s; ++next_event) {
                site.apply(s.events[next_event]);
                last_event_s = s.events[next_event].at_s;
            }
            if (run_s >= s.duration_s) {
                break;
            }
            if (options.stop_when_reached && next_event == s.events.size() &&
                run_s - last_event_s >= s.settle_s && all_expectations_met(site.tags())) {
                out << "every expected status reached after " << static_cast<int>(run_s) << " s\n";
                break;
            }
        }
        if (!options.quiet && steady::now() >= next_table) {
            write_live_table(out, seconds_since(started), collector.metrics_url(), site.tags());
            next_table += std::chrono::milliseconds(static_cast<long>(s.refresh_s * 1000));
        }
        std::this_thread::sleep_for(tick);
    }

    const auto daemon_status = daemon.terminate(termination_timeout);
    out << "=== summary (" << static_cast<int>(seconds_since(started)) << " s) ===\n";
    const auto tags = site.tags();
    const bool met = write_summary_table(out, tags);
    if (!daemon_status) {
        failure += (failure.empty() ? "" : "; ") + std::string("the daemon did not end after SIGTERM");
    } else if (*daemon_status != 0) {
        failure += (failure.empty() ? "" : "; ") + std::string("daemon exit status ") +
                   std::to_string(*daemon_status);
    }
    if (!met) {
        failure += (failure.empty() ? "" : "; ") + std::string("expected statuses not reached");
    }
    if (const auto unknown = site.frames_to_unknown_tags()) {
        out << unknown << " frames were sent to tags the scenario does not know\n";
    }
    out << "daemon exit status: " << (daemon_status ? std::to_string(*daemon_status) : "none (killed)")
        << "\nlast daemon debug lines (" << collector.line_count() << " in " << workdir
        << "/daemon-debug.log):\n";
    for (const auto& line : collector.last_lines()) {
        out << "  " << line << '\n';
    }
    out << (failure.empty() ? "RESULT: PASS" : "RESULT: FAIL: " + failure) << std::endl;
    return failure.empty() ? 0 : 1;
}

}  // namespace varnok::test_tools
