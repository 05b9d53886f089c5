#pragma once

#include "fake_server/fake_location_server.h"
#include "proxy_xpub.h"
#include "site.h"
#include "tag_fleet.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace varnok::bench {

// A generated site served to the daemon: the location server's REST resources as prepared bodies, the
// proxy, and every tag's zone manager answering the frames posted as user messages at once. Keeps the
// times of the requests the measurements need.
class bench_site {
public:
    using clock = std::chrono::steady_clock;

    explicit bench_site(site s);
    ~bench_site();
    bench_site(const bench_site&) = delete;
    bench_site& operator=(const bench_site&) = delete;

    test_tools::fake_location_server& server() { return *m_server; }
    proxy_xpub& proxy() { return m_proxy; }
    const site& layout() const { return m_site; }
    tag_fleet& fleet() { return m_fleet; }

    // The four bodies the daemon reads at start-up, by path.
    const std::string& body(const std::string& path) const { return m_bodies.at(path); }
    // Serves the zone moved by one unit and announces the change; the time of the announcement.
    clock::time_point change_zone(std::size_t zone);
    // Asks the daemon to act on every tag ("UPDATE" or "VERIFY") but the one excepted.
    void request_all(const std::string& action, std::optional<std::size_t> except = std::nullopt);
    // Asks the daemon to update one tag.
    void request_update(std::size_t tag);
    // From now on a tag reported "OOSYNC" is asked to update.
    void update_out_of_sync_tags(bool on) { m_update_out_of_sync = on; }

    std::size_t frames() const { return m_frames; }
    clock::time_point last_frame() const;
    std::optional<clock::time_point> first_crc_request() const;
    // When the first update of out-of-sync tags was asked for, and the frame count then.
    std::optional<std::pair<clock::time_point, std::size_t>> first_update() const;
    std::optional<clock::time_point> zones_read_after(clock::time_point since) const;
    std::optional<clock::time_point> status_report_after(clock::time_point since) const;
    // The longest time between two status reports made within the interval.
    clock::duration longest_report_gap(clock::time_point from, clock::time_point to) const;
    // Tags whose last reported status, reported at or after since, is the one given.
    std::size_t tags_reported(const std::string& status, clock::time_point since) const;
    std::size_t tags_reported_since(clock::time_point since) const;
    // Tags by last reported status other than "UPDATED", with its reason, reported at or after since.
    std::map<std::string, std::size_t> other_statuses(clock::time_point since) const;
    // Tags reported "disconnected" at any time.
    std::size_t tags_disconnected() const;

private:
    struct tag_status {
        std::string status;
        std::string reason;
        clock::time_point at;
    };

    void on_request(const test_tools::recorded_request& request);
    void on_user_msg(const std::string& body);
    void on_status_report(const std::string& body, clock::time_point at);
    void publish_download_request(const std::string& action, const std::vector<std::string>& uids);

    site m_site;
    tag_fleet m_fleet;
    std::unordered_map<std::string, std::size_t> m_tag_index;
    std::unordered_map<std::string, std::string> m_bodies;
    std::atomic<std::size_t> m_frames{0};
    std::atomic<std::size_t> m_requests{0};
    std::atomic<clock::rep> m_last_frame_ns{0};
    std::atomic<bool> m_update_out_of_sync{false};
    mutable std::mutex m_mutex;
    std::optional<clock::time_point> m_first_crc_request;
    std::optional<std::pair<clock::time_point, std::size_t>> m_first_update;
    std::vector<clock::time_point> m_zone_reads;
    std::vector<clock::time_point> m_status_reports;
    std::vector<tag_status> m_statuses;
    std::vector<bool> m_disconnected;
    proxy_xpub m_proxy;
    std::unique_ptr<test_tools::fake_location_server> m_server;
};

// Compact JSON text of {member: array}.
std::string wrapped_body(const char* member, const Json::Value& array);

}  // namespace varnok::bench
