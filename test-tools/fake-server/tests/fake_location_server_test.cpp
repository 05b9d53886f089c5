#include "fake_server/fake_location_server.h"

#include <core/core.h>
#include <core/http/client.h>
#include <core/json.h>

#include <gtest/gtest.h>

#include <future>

namespace varnok::test_tools {

using namespace std::chrono_literals;
namespace core = ozra::libs::core;
using core::http::method;

// Serving, recording, storing reports, raw bodies and the observer are exercised by every suite of the
// server client and the simulator; these cases cover what those suites never ask for.
class fake_server_test : public ::testing::Test {
protected:
    // The status of the answer; none when the request failed.
    std::optional<int> status(method verb, const std::string& path, const std::string& body = "") {
        return m_client->perform_request(verb, path, body).status_code();
    }

    std::unique_ptr<fake_location_server> m_server = make_fake_location_server();
    core::logger m_logger{"varnok-fake-server", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    std::unique_ptr<core::http::client> m_client = m_loop->create_http_client(m_server->url(), 10s, {}, 1);
};

TEST_F(fake_server_test, waits_end_when_the_request_arrives_or_at_the_deadline) {
    EXPECT_FALSE(m_server->wait_for_request(match_request("POST", rest_paths::user_msg), 50ms));
    EXPECT_FALSE(m_server->wait_for_requests(1, 50ms));

    auto sender = std::async(std::launch::async, [this] {
        status(method::get, rest_paths::zones);
        return status(method::post, rest_paths::user_msg, R"({"uid":"t9","data":{"hex":"00"}})");
    });
    const auto found = m_server->wait_for_request(match_request("POST", rest_paths::user_msg), 10s);
    ASSERT_TRUE(found);
    EXPECT_NE(found->body.find("t9"), std::string::npos);
    EXPECT_TRUE(m_server->wait_for_requests(2, 10s));
    EXPECT_TRUE(m_server->wait_for_requests(match_request_prefix("", "/api/"), 2, 10s));
    EXPECT_EQ(sender.get(), 200);
}

TEST_F(fake_server_test, unknown_requests_answer_404_and_malformed_reports_and_messages_400_unstored) {
    for (const auto& [verb, path, body, code] :
         std::vector<std::tuple<method, const char*, const char*, int>>{
             {method::get, "/api/private/zones", "", 404},
             {method::put, rest_paths::zones, "", 404},
             {method::del, rest_paths::zone_download_status, "", 404},
             {method::post, rest_paths::zone_download_status, R"({"zone_download_status":[)", 400},
             {method::post, rest_paths::zone_download_status,
              R"({"zone_download_status":[{"trackable_uid":"t1"}]})", 400},
             {method::post, rest_paths::user_msg, R"({"uid":"t1","data":{"hex":5}})", 400}}) {
        EXPECT_EQ(status(verb, path, body), code) << path << " " << body;
    }
    EXPECT_EQ(m_server->download_statuses().size(), 0u);
}

TEST_F(fake_server_test, faults_apply_to_their_path_and_method_only) {
    m_server->set_fault({503, false, 0ms}, rest_paths::zones);
    m_server->set_fault({201, false, 0ms}, rest_paths::zone_download_status, "POST");
    m_server->set_fault({std::nullopt, true, 0ms}, rest_paths::zone_types);

    EXPECT_EQ(status(method::get, rest_paths::zones), 503);
    EXPECT_EQ(status(method::get, rest_paths::zone_download_status), 200);
    const std::string report =
        R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"UPDATED"}]})";
    EXPECT_EQ(status(method::post, rest_paths::zone_download_status, report), 201);
    EXPECT_FALSE(m_server->download_status("t1")) << "a failed report is not stored";
    const auto garbled = m_client->perform_request(method::get, rest_paths::zone_types);
    EXPECT_EQ(garbled.status_code(), 200);
    EXPECT_FALSE(core::json::try_parse(garbled.data().value_or("{}")).ok);

    m_server->set_fault({500, false, 0ms});
    EXPECT_EQ(status(method::get, rest_paths::track_obj), 500);
    EXPECT_EQ(status(method::get, rest_paths::zones), 503) << "the path rule is more specific";

    m_server->clear_faults();
    EXPECT_EQ(status(method::get, rest_paths::zones), 200);
}

// Stopping closes the connections it holds, an answer held back included.
TEST_F(fake_server_test, refuses_connections_after_stop_until_resumed) {
    m_server->set_answer_delay(5s);
    auto held = std::async(std::launch::async, [this] { return status(method::get, rest_paths::zones); });
    ASSERT_TRUE(m_server->wait_for_requests(1, 10s));
    m_server->stop_listening();
    EXPECT_FALSE(held.get());
    EXPECT_FALSE(status(method::get, rest_paths::zones));

    m_server->set_answer_delay(0ms);
    m_server->resume_listening();
    EXPECT_EQ(status(method::get, rest_paths::zones), 200);
}

}  // namespace varnok::test_tools
