#include "fake_server/fake_location_server.h"
#include "http_test_client.h"

#include <core/json.h>

#include <gtest/gtest.h>

#include <future>

namespace varnok::test_tools {
namespace {

using namespace std::chrono_literals;

// Serving, recording, storing reports, raw bodies, delays and the observer are exercised by every suite of
// the server client and the simulator; these cases cover what those suites never ask for.
class fake_server_test : public ::testing::Test {
protected:
    std::string url(const std::string& path) const { return m_server->url() + path; }

    std::unique_ptr<fake_location_server> m_server = make_fake_location_server();
    http_test_client m_client;
};

TEST_F(fake_server_test, unknown_paths_and_methods_answer_404) {
    for (const auto& [method, path] :
         {std::pair{"GET", "/api/private/zones"}, std::pair{"PUT", rest_paths::zones},
          std::pair{"DELETE", rest_paths::zone_download_status}}) {
        EXPECT_EQ(m_client.call(method, url(path)).status, 404) << method << " " << path;
    }
}

TEST_F(fake_server_test, waits_end_when_the_request_arrives_or_at_the_deadline) {
    EXPECT_FALSE(m_server->wait_for_request(match_request("POST", rest_paths::user_msg), 50ms));
    EXPECT_FALSE(m_server->wait_for_requests(1, 50ms));

    auto sender = std::async(std::launch::async, [this] {
        http_test_client client;
        client.call("GET", url(rest_paths::zones));
        return client.call("POST", url(rest_paths::user_msg), R"({"uid":"t9","data":{"hex":"00"}})").status;
    });
    const auto found = m_server->wait_for_request(match_request("POST", rest_paths::user_msg), 10s);
    ASSERT_TRUE(found);
    EXPECT_NE(found->body.find("t9"), std::string::npos);
    EXPECT_TRUE(m_server->wait_for_requests(2, 10s));
    EXPECT_TRUE(m_server->wait_for_requests(match_request_prefix("", "/api/"), 2, 10s));
    EXPECT_EQ(sender.get(), 200);
}

TEST_F(fake_server_test, rejects_malformed_reports_and_user_messages_without_storing) {
    for (const auto& [path, body] :
         {std::pair{rest_paths::zone_download_status, R"({"zone_download_status":[)"},
          std::pair{rest_paths::zone_download_status, R"({"zone_download_status":[{"trackable_uid":"t1"}]})"},
          std::pair{rest_paths::user_msg, R"({"uid":"t1","data":{"hex":5}})"}}) {
        EXPECT_EQ(m_client.call("POST", url(path), body).status, 400) << body;
    }
    EXPECT_EQ(m_server->download_statuses().size(), 0u);
}

TEST_F(fake_server_test, faults_apply_to_their_path_and_method_only) {
    m_server->set_fault({503, false, 0ms}, rest_paths::zones);
    m_server->set_fault({201, false, 0ms}, rest_paths::zone_download_status, "POST");
    m_server->set_fault({std::nullopt, true, 0ms}, rest_paths::zone_types);

    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones)).status, 503);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zone_download_status)).status, 200);
    const std::string report =
        R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"UPDATED"}]})";
    EXPECT_EQ(m_client.call("POST", url(rest_paths::zone_download_status), report).status, 201);
    EXPECT_FALSE(m_server->download_status("t1")) << "a failed report is not stored";
    const auto garbled = m_client.call("GET", url(rest_paths::zone_types));
    EXPECT_EQ(garbled.status, 200);
    EXPECT_FALSE(ozra::libs::core::json::try_parse(garbled.body).ok);

    m_server->set_fault({500, false, 0ms});
    EXPECT_EQ(m_client.call("GET", url(rest_paths::track_obj)).status, 500);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones)).status, 503) << "the path rule is more specific";

    m_server->clear_faults();
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones)).status, 200);
}

TEST_F(fake_server_test, delayed_answers_outlast_a_short_client_timeout) {
    m_server->set_fault({std::nullopt, false, 5s}, rest_paths::zones);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones), "", 300).code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zone_types)).status, 200) << "other paths are not delayed";
    m_server->set_answer_delay(5s);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zone_types), "", 300).code, CURLE_OPERATION_TIMEDOUT)
        << "the answer delay holds every path";
}

TEST_F(fake_server_test, refuses_connections_after_stop_until_resumed) {
    ASSERT_EQ(m_client.call("GET", url(rest_paths::zones)).status, 200);
    m_server->stop_listening();
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones)).code, CURLE_COULDNT_CONNECT);
    http_test_client fresh;
    EXPECT_EQ(fresh.call("GET", url(rest_paths::zones)).code, CURLE_COULDNT_CONNECT);

    m_server->resume_listening();
    EXPECT_EQ(fresh.call("GET", url(rest_paths::zones)).status, 200);
}

}  // namespace
}  // namespace varnok::test_tools
