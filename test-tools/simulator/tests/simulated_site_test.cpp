#include "simulator/simulated_site.h"
#include "simulator/scenario_reader.h"

#include "test_support.h"

#include <core/http/client.h>
#include <core/message_stream.h>

namespace varnok::test_tools {

namespace core = ozra::libs::core;

const std::string site_scenario = R"({
  "auto_update": true,
  "zone_types": [{"name": "alarm", "id": 2}],
  "zones": [{"uid": "z1", "zone_id": 1, "type": "alarm", "points": [[0,0],[10,0],[0,10]]}],
  "tags": [{"uid": "t1", "holds_zones": ["z1"]}, {"uid": "t2", "faults": {"lowercase_hex": true}}]
})";

// Subscribes to the site's proxy as the daemon does; probes on their own topic mark how far the frames
// published before them have arrived.
class simulated_site_test : public ::testing::Test {
protected:
    simulated_site_test() {
        for (const std::string topic : {"notify", "user_msg"}) {
            m_subscriptions.push_back(m_stream->subscribe(topic, [this, topic](std::string_view json) {
                m_frames.push_back(topic + " " + std::string(json));
            }));
        }
        m_subscriptions.push_back(
            m_stream->subscribe("probe", [this](std::string_view json) { m_probe = std::string(json); }));
        EXPECT_TRUE(core::testing::publish_until(
            *m_loop, [this] { m_site.proxy().publish("probe", "{}"); }, [this] { return !m_probe.empty(); }));
    }

    // The frames the site published since the last call.
    std::vector<std::string> published() {
        const std::string probe = "{\"n\":" + std::to_string(++m_probes) + "}";
        m_site.proxy().publish("probe", probe);
        EXPECT_TRUE(core::testing::run_until(*m_loop, [&] { return m_probe == probe; }));
        return std::exchange(m_frames, {});
    }

    int post(const char* path, const std::string& body) {
        return m_client->perform_request(core::http::method::post, path, body).status_code().value_or(0);
    }

    scenario m_scenario = parse_scenario(site_scenario, "site.json");
    simulated_site m_site{m_scenario};
    core::logger m_logger{"varnok-sim", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    std::unique_ptr<core::message_stream> m_stream =
        m_loop->create_zmq_message_stream(m_site.proxy().endpoint());
    std::unique_ptr<core::http::client> m_client =
        m_loop->create_http_client(m_site.server().url(), std::chrono::seconds(10), {}, 1);
    std::vector<std::unique_ptr<core::message_stream::subscription>> m_subscriptions;
    std::vector<std::string> m_frames;
    std::string m_probe;
    int m_probes = 0;
};

TEST_F(simulated_site_test, status_reports_show_and_auto_update_requests_downloads_once) {
    const std::string report =
        R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"IN_PROCESS"},)"
        R"({"trackable_uid":"t1","download_status":"OOSYNC","reason":"CRC mismatch"}]})";
    ASSERT_EQ(post(rest_paths::zone_download_status, report), 200);
    ASSERT_EQ(post(rest_paths::zone_download_status, report), 200);
    EXPECT_EQ(published(),
              (std::vector<std::string>{R"(notify {"action":"UPDATE","object":"ZONE_DOWNLOAD_REQUEST",)"
                                        R"("plist":{"zone_download_request":[{"trackable_uid":"t1"}]}})"}));
    const auto tags = m_site.tags();
    EXPECT_EQ(
        tags[0].status + " " + tags[0].reason + " " + std::to_string(tags[0].reports) + " " + tags[1].status,
        "OOSYNC CRC mismatch 4 -");
}

}  // namespace varnok::test_tools
