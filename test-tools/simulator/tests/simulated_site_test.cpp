#include "simulator/simulated_site.h"
#include "simulator/scenario_reader.h"

#include "test_support.h"

#include <core/http/client.h>
#include <core/json.h>
#include <core/message_stream.h>

namespace varnok::test_tools {

namespace core = ozra::libs::core;

const std::string site_scenario = R"({
  "auto_update": true,
  "zone_types": [{"name": "alarm", "id": 2}],
  "zones": [{"uid": "z1", "zone_id": 1, "type": "alarm", "points": [[0,0],[10,0],[0,10]]}],
  "tags": [{"uid": "t1", "holds_zones": ["z1"]}, {"uid": "t2", "faults": {"lowercase_hex": true}}],
  "events": [{"at_s": 1, "change_zone": {"uid": "z1", "points": [[0,0],[20,0],[0,20]]}}]
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

    Json::Value get(const char* path) {
        return core::json::try_parse(
                   m_client->perform_request(core::http::method::get, path).data().value_or(""))
            .result;
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

// The second zone read marks the daemon ready.
TEST_F(simulated_site_test, serves_the_scenario_data_and_applies_a_zone_change_with_a_notification) {
    const Json::Value zone = get(rest_paths::zones)["zones"][0];
    EXPECT_EQ(zone["zone_type_name"].asString() + " " +
                  std::to_string(zone["zone_geometry"]["positions"].size()) + " " +
                  get(rest_paths::track_obj)["trackableObjects"][1]["node"]["mac_address"].asString(),
              "alarm 3 020000000002");
    EXPECT_FALSE(m_site.daemon_ready());
    m_site.apply(m_scenario.events[0]);
    EXPECT_EQ(
        published(),
        (std::vector<std::string>{R"(notify {"action":"updated","object":"ZONE","plist":{"uid":"z1"}})"}));
    EXPECT_EQ(get(rest_paths::zones)["zones"][0]["zone_geometry"]["positions"][1]["x"].asInt(), 20);
    EXPECT_TRUE(m_site.daemon_ready());
}

TEST_F(simulated_site_test, a_posted_frame_is_answered_by_the_tag_on_user_msg) {
    ASSERT_EQ(post(rest_paths::user_msg, R"({"uid":"t2","data":{"hex":"000100020F00"}})"), 200);
    ASSERT_EQ(post(rest_paths::user_msg, R"({"uid":"t1","data":{"hex":"0001000403020000"}})"), 200);
    const auto tags = m_site.tags();
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X", tags[0].crc);
    EXPECT_EQ(published(), (std::vector<std::string>{
                               R"(user_msg {"dev_id":"t2","hex":"000200038f0100"})",
                               std::string(R"(user_msg {"dev_id":"t1","hex":"000200040402)") + crc + "\"}"}));
    EXPECT_EQ(tags[0].zone_ids, (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(m_site.daemon_ready());
}

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
