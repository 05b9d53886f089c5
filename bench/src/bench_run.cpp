#include "bench_run.h"

#include "bench_site.h"
#include "floors.h"
#include "process_probe.h"

#include "simulator/daemon_config.h"
#include "simulator/daemon_process.h"

#include <unistd.h>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

namespace varnok::bench {

namespace paths = test_tools::rest_paths;
using clock = std::chrono::steady_clock;

namespace {

constexpr auto poll_period = std::chrono::milliseconds(5);
constexpr auto settle_time = std::chrono::seconds(2);
constexpr auto stop_timeout = std::chrono::seconds(15);
constexpr const char* wrk_body = R"({"uid":"wrk-probe","data":{"hex":"000100020F00"}})";

double seconds_between(clock::time_point from, clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Waits until the condition holds, the daemon ends or the timeout passes; whether it holds.
bool wait_for(test_tools::daemon_process& daemon, std::chrono::seconds timeout,
              const std::function<bool()>& done) {
    const auto deadline = clock::now() + timeout;
    while (!done()) {
        if (daemon.exit_status() || clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(poll_period);
    }
    return true;
}

std::size_t count_entries(bench_site& site) {
    std::size_t entries = 0;
    for (std::size_t tag = 0; tag < site.layout().tags.size(); ++tag) {
        entries += site.fleet().zone_count(tag);
    }
    return entries;
}

std::string write_config(const run_options& options, bench_site& site, const std::string& name) {
    test_tools::daemon_settings settings;
    settings.pid_file = options.workdir + "/" + name + ".pid";
    settings.debug_endpoint = "ipc://" + options.workdir + "/" + name + "-debug.ipc";
    settings.proxy_port = site.proxy().port();
    settings.server_port = site.server().port();
    settings.zone_types = site.layout().configured_zone_types;
    std::filesystem::remove(settings.pid_file);
    Json::Value config;
    std::istringstream(test_tools::daemon_config_text(settings)) >> config;
    config["server"]["connections"] = static_cast<Json::UInt64>(options.connections);
    const std::string path = options.workdir + "/" + name + ".json";
    std::ofstream(path) << Json::writeString(Json::StreamWriterBuilder(), config);
    return path;
}

void measure_startup(bench_site& site, test_tools::daemon_process& daemon, const run_options& options,
                     clock::time_point launched, size_result& result) {
    cpu_meter site_cpu(getpid());
    if (wait_for(daemon, options.timeout, [&] { return site.proxy().subscribed("user_msg").has_value(); })) {
        result.startup_s = seconds_between(launched, *site.proxy().subscribed("user_msg"));
    }
    wait_for(daemon, options.timeout, [&] { return site.tags_reported_since(launched) == result.tags; });
    result.site_cpu_startup = site_cpu.share();
    if (const auto crc = site.first_crc_request()) {
        result.first_crc_request_s = seconds_between(launched, *crc);
    }
    result.verified_reported = site.tags_reported_since(launched);
    result.verified_updated = site.tags_reported("UPDATED", launched);
    result.verified_other = site.other_statuses(launched);
}

void measure_idle(test_tools::daemon_process& daemon, const run_options& options, size_result& result) {
    std::this_thread::sleep_for(settle_time);
    cpu_meter daemon_cpu(daemon.pid());
    std::this_thread::sleep_for(options.idle);
    if (!daemon.exit_status()) {
        result.idle_cpu_share = daemon_cpu.share();
        result.rss_idle = rss_bytes(daemon.pid());
    }
}

// Asks the daemon each second to update a tag that is up to date, which it answers by reporting the tag's
// status again in its next processing run: a status report is due every second however the download goes.
class probe_requests {
public:
    probe_requests(bench_site& site, std::optional<std::size_t> tag) {
        if (tag) {
            m_thread = std::thread([this, &site, tag] {
                std::unique_lock lock(m_mutex);
                while (!m_stop.wait_for(lock, std::chrono::seconds(1), [this] { return m_stopping; })) {
                    site.request_update(*tag);
                }
            });
        }
    }
    ~probe_requests() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_stop.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    probe_requests(const probe_requests&) = delete;
    probe_requests& operator=(const probe_requests&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_stopping = false;
    std::thread m_thread;
};

void measure_reread(bench_site& site, test_tools::daemon_process& daemon, const run_options& options,
                    std::size_t changed_zone, size_result& result) {
    const auto changed = site.change_zone(changed_zone);
    std::optional<clock::time_point> read;
    std::optional<clock::time_point> reported;
    wait_for(daemon, options.timeout, [&] {
        read = site.zones_read_after(changed);
        reported = read ? site.status_report_after(*read) : std::nullopt;
        return reported.has_value();
    });
    if (reported) {
        result.reread_s = seconds_between(*read, *reported);
    }
}

void measure_download(bench_site& site, test_tools::daemon_process& daemon, const run_options& options,
                      std::optional<std::size_t> probe, size_result& result) {
    std::this_thread::sleep_for(settle_time);
    site.fleet().empty_all();
    site.update_out_of_sync_tags(true);
    const auto started = clock::now();
    cpu_meter daemon_cpu(daemon.pid());
    cpu_meter site_cpu(getpid());
    site.request_all("VERIFY", probe);
    {
        const probe_requests probing(site, probe);
        wait_for(daemon, options.download_limit,
                 [&] { return site.tags_reported("UPDATED", started) == result.tags; });
    }
    const auto ended = clock::now();
    result.download_daemon_cpu_s = daemon_cpu.seconds();
    result.site_cpu_download = site_cpu.share();
    result.download_tags_done = site.tags_reported("UPDATED", started);
    if (const auto first = site.first_update()) {
        const auto last = result.download_tags_done == result.tags ? site.last_frame() : ended;
        result.download_frames = site.frames() - first->second;
        result.download_s = seconds_between(first->first, last);
        result.download_report_gap_s =
            std::chrono::duration<double>(site.longest_report_gap(first->first, last)).count();
    }
}

}  // namespace

size_result run_size(const run_options& options, const site_size& size, std::ostream& progress) {
    const std::string name = std::to_string(size.tags) + "x" + std::to_string(size.zones) + "@" +
                             std::to_string(size.latency.count()) + "ms";
    size_result result;
    result.tags = size.tags;
    result.zones = size.zones;
    result.latency = size.latency;
    result.connections = options.connections;
    std::ifstream("/proc/loadavg") >> result.load_average;
    progress << "== " << name << ": generating the site" << std::endl;
    bench_site site(generate_site(size.tags, size.zones));
    site.server().set_answer_delay(size.latency);
    result.entries = count_entries(site);
    result.startup_parse_s =
        parse_seconds(site.body(paths::zone_download_status)) + parse_seconds(site.body(paths::zone_types)) +
        parse_seconds(site.body(paths::zones)) + parse_seconds(site.body(paths::track_obj));
    result.reread_parse_s =
        parse_seconds(site.body(paths::zones)) + parse_seconds(site.body(paths::track_obj));
    // The changed zone leaves out one tag, which stays up to date and serves as the download's probe.
    const auto changed = zone_leaving_out_one_tag(site.layout());
    const std::size_t changed_zone = changed ? changed->first : 0;
    const std::optional<std::size_t> probe = changed ? std::optional(changed->second) : std::nullopt;
    const std::string config = write_config(options, site, name);
    progress << "== " << name << ": start-up and verification" << std::endl;
    const auto launched = clock::now();
    test_tools::daemon_process daemon(options.daemon, {"-c", config}, options.workdir + "/" + name + ".log");
    {
        thread_peak_sampler threads(daemon.pid(), poll_period);
        measure_startup(site, daemon, options, launched, result);
        progress << "== " << name << ": idle" << std::endl;
        measure_idle(daemon, options, result);
        progress << "== " << name << ": re-read after a zone change" << std::endl;
        measure_reread(site, daemon, options, changed_zone, result);
        progress << "== " << name << ": full download of every tag" << std::endl;
        measure_download(site, daemon, options, probe, result);
        result.peak_threads = threads.peak();
    }
    if (const auto status = daemon.exit_status()) {
        result.fault = "the daemon ended early with status " + std::to_string(*status);
    } else if (!daemon.terminate(stop_timeout)) {
        result.fault = "the daemon did not stop on SIGTERM";
    }
    result.protocol_errors = site.fleet().protocol_errors();
    result.disconnected = site.tags_disconnected();
    site.server().set_answer_delay(std::chrono::milliseconds(0));
    progress << "== " << name << ": wrk floor" << std::endl;
    cpu_meter site_cpu(getpid());
    result.wrk_rate = wrk_requests_per_second(site.server().url() + paths::user_msg, wrk_body,
                                              options.workdir, options.wrk_connections, options.wrk_seconds);
    result.site_cpu_wrk = site_cpu.share();
    return result;
}

}  // namespace varnok::bench
