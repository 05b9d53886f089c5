#include "simulator/simulated_site.h"
#include "simulator/scenario_reader.h"

#include "http_test_client.h"

#include <core/json.h>

#include <gtest/gtest.h>
#include <zmq.hpp>

namespace varnok::test_tools {
namespace {

using namespace std::chrono_literals;

const std::string site_scenario = R"({
  "auto_update": true,
  "zone_types": [{"name": "alarm", "id": 2}],
  "zones": [{"uid": "z1", "zone_id": 1, "type": "alarm", "points": [[0,0],[10,0],[0,10]]}],
  "tags": [{"uid": "t1", "holds_zones": ["z1"]}, {"uid": "t2", "faults": {"lowercase_hex": true}}],
  "events": [{"at_s": 1, "change_zone": {"uid": "z1", "points": [[0,0],[20,0],[0,20]]}},
             {"at_s": 2, "verify": ["t2"]}]
})";

class simulated_site_test : public ::testing::Test {
protected:
    simulated_site_test() {
        m_subscriber.set(zmq::sockopt::linger, 0);
        m_subscriber.set(zmq::sockopt::subscribe, "#");
        m_subscriber.connect(m_site.proxy().endpoint());
        wait_until_subscribed();
    }

    // Publishes verify requests until one arrives: the subscription has reached the publisher.
    void wait_until_subscribed() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            m_site.apply(m_scenario.events[1]);
            if (receive(50ms)) {
                while (receive(50ms)) {
                }
                return;
            }
        }
        FAIL() << "the proxy's frames never arrived";
    }

    std::optional<std::string> receive(std::chrono::milliseconds timeout = 10s) {
        zmq::pollitem_t item{m_subscriber.handle(), 0, ZMQ_POLLIN, 0};
        if (zmq::poll(&item, 1, timeout) == 0) {
            return std::nullopt;
        }
        zmq::message_t message;
        (void)m_subscriber.recv(message);
        return message.to_string();
    }

    http_result post(const char* path, const std::string& body) {
        return m_client.call("POST", m_site.server().url() + path, body);
    }

    scenario m_scenario = parse_scenario(site_scenario, "site.json");
    simulated_site m_site{m_scenario};
    zmq::context_t m_context;
    zmq::socket_t m_subscriber{m_context, zmq::socket_type::sub};
    http_test_client m_client;
};

TEST_F(simulated_site_test, server_serves_the_scenario_data) {
    const auto zones = ozra::libs::core::json::try_parse(
        m_client.call("GET", m_site.server().url() + rest_paths::zones).body);
    EXPECT_EQ(zones.result["zones"][0]["zone_type_name"].asString(), "alarm");
    EXPECT_EQ(zones.result["zones"][0]["zone_geometry"]["positions"].size(), 3u);
    const auto objects = ozra::libs::core::json::try_parse(
        m_client.call("GET", m_site.server().url() + rest_paths::track_obj).body);
    EXPECT_EQ(objects.result["trackableObjects"][1]["node"]["mac_address"].asString(), "020000000002");
    EXPECT_FALSE(m_site.daemon_ready());
    m_client.call("GET", m_site.server().url() + rest_paths::zones);
    EXPECT_TRUE(m_site.daemon_ready());
}

TEST_F(simulated_site_test, a_posted_frame_is_answered_by_the_tag_on_user_msg) {
    ASSERT_EQ(post(rest_paths::user_msg, R"({"uid":"t2","data":{"hex":"000100020F00"}})").status, 200);
    EXPECT_EQ(receive(), R"(#user_msg {"dev_id":"t2","hex":"000200038f0100"})");
    ASSERT_EQ(post(rest_paths::user_msg, R"({"uid":"t1","data":{"hex":"0001000403020000"}})").status, 200);
    const auto tags = m_site.tags();
    const auto reply = receive();
    ASSERT_TRUE(reply);
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X", tags[0].crc);
    EXPECT_EQ(*reply, std::string(R"(#user_msg {"dev_id":"t1","hex":"000200040402)") + crc + "\"}");
    EXPECT_EQ(tags[0].zone_ids, (std::vector<std::uint16_t>{1}));
    EXPECT_TRUE(m_site.daemon_ready());
}

TEST_F(simulated_site_test, status_reports_show_and_auto_update_requests_downloads_once) {
    const std::string report =
        R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"IN_PROCESS"},)"
        R"({"trackable_uid":"t1","download_status":"OOSYNC","reason":"CRC mismatch"}]})";
    ASSERT_EQ(post(rest_paths::zone_download_status, report).status, 200);
    EXPECT_EQ(receive(), R"(#notify {"action":"UPDATE","object":"ZONE_DOWNLOAD_REQUEST",)"
                         R"("plist":{"zone_download_request":[{"trackable_uid":"t1"}]}})");
    const auto tags = m_site.tags();
    EXPECT_EQ(tags[0].status, "OOSYNC");
    EXPECT_EQ(tags[0].reason, "CRC mismatch");
    EXPECT_EQ(tags[0].reports, 2u);
    EXPECT_EQ(tags[1].status, "-");

    ASSERT_EQ(post(rest_paths::zone_download_status, report).status, 200);
    EXPECT_EQ(receive(300ms), std::nullopt);
}

TEST_F(simulated_site_test, a_zone_change_updates_the_server_and_notifies) {
    m_site.apply(m_scenario.events[0]);
    EXPECT_EQ(receive(), R"(#notify {"action":"updated","object":"ZONE","plist":{"uid":"z1"}})");
    const auto zones = ozra::libs::core::json::try_parse(
        m_client.call("GET", m_site.server().url() + rest_paths::zones).body);
    EXPECT_EQ(zones.result["zones"][0]["zone_geometry"]["positions"][1]["x"].asInt(), 20);
}

}  // namespace
}  // namespace varnok::test_tools
