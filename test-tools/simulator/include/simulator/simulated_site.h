#pragma once

#include "fake_server/fake_location_server.h"
#include "simulator/proxy_publisher.h"
#include "simulator/scenario.h"
#include "simulator/tag_zone_manager.h"

#include <json/value.h>

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace varnok::test_tools {

// One tag as the run shows it.
struct tag_view {
    std::string uid;
    std::string status = "-";  // the last status the daemon reported
    std::string reason;
    std::size_t reports = 0;
    std::vector<std::uint16_t> zone_ids;
    std::uint16_t crc = 0;
    tag_counters counters;
    std::optional<tag_expectation> expected;
};

bool expectation_met(const tag_view& tag);

// The location server's REST API, the proxy and the tags' zone managers of one scenario. Frames that
// the daemon posts as user messages reach the tag, whose reply the proxy publishes on "user_msg";
// status reports change the tags' shown statuses.
class simulated_site {
public:
    explicit simulated_site(const scenario& s);
    ~simulated_site();
    simulated_site(const simulated_site&) = delete;
    simulated_site& operator=(const simulated_site&) = delete;

    fake_location_server& server() { return *m_server; }
    proxy_publisher& proxy() { return m_proxy; }

    void apply(const scenario_event& event);
    // The daemon has subscribed: it read the zones a second time (its first processing run) or posted.
    bool daemon_ready() const;
    std::vector<tag_view> tags() const;
    std::size_t frames_to_unknown_tags() const;

private:
    struct tag_state {
        tag_zone_manager manager;
        tag_view view;
        std::set<std::pair<std::string, std::string>> auto_updated;  // (status, reason) since UPDATED
    };

    void hold_initial_zones(const scenario& s);
    void on_request(const recorded_request& request);
    void on_user_msg(const Json::Value& body);
    void on_status_report(const Json::Value& body);
    void publish_download_request(const std::string& action, const std::vector<std::string>& uids);
    void publish_zone_change(const std::string& action, const std::string& uid);
    void publish_reply(const std::string& uid, const std::optional<std::string>& hex);

    mutable std::mutex m_mutex;
    bool m_auto_update;
    std::map<std::string, tag_state> m_tags;
    std::vector<zone_spec> m_zones;
    std::size_t m_zone_reads = 0;
    bool m_posted = false;
    std::size_t m_unknown_frames = 0;
    proxy_publisher m_proxy;
    std::unique_ptr<fake_location_server> m_server;
};

}  // namespace varnok::test_tools
