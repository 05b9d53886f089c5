#include "fake_server/fake_location_server.h"
#include "http_test_client.h"

#include <core/json.h>

#include <gtest/gtest.h>

#include <future>

namespace varnok::test_tools {
namespace {

using namespace std::chrono_literals;

Json::Value parse(const std::string& text) {
    const auto parsed = ozra::libs::core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << text;
    return parsed.result;
}

class fake_server_test : public ::testing::Test {
protected:
    std::string url(const std::string& path) const { return m_server->url() + path; }

    std::unique_ptr<fake_location_server> m_server = make_fake_location_server();
    http_test_client m_client;
};

TEST_F(fake_server_test, serves_each_resource_under_its_member_as_json) {
    m_server->set_zone_types(parse(R"([{"name":"alarm","id":3}])"));
    m_server->set_zones(parse(R"([{"uid":"z1"},{"uid":"z2"}])"));
    m_server->set_trackable_objects(parse(R"([{"uid":"t1","node":{}},{"uid":"t2"},{"uid":"t1","x":1}])"));
    m_server->set_download_statuses(
        parse(R"([{"trackable_uid":"t1","download_status":"UPDATED","ts":"1"}])"));

    const auto types = m_client.call("GET", url(rest_paths::zone_types));
    EXPECT_EQ(types.status, 200);
    EXPECT_EQ(types.content_type, "application/json");
    EXPECT_EQ(parse(types.body)["zone_types"][0]["id"].asInt(), 3);
    EXPECT_EQ(parse(m_client.call("GET", url(rest_paths::zones)).body)["zones"].size(), 2u);
    EXPECT_EQ(parse(m_client.call("GET", url(rest_paths::track_obj)).body)["trackableObjects"].size(), 3u);
    EXPECT_EQ(parse(m_client.call("GET", url(rest_paths::zone_download_status))
                        .body)["zone_download_status"][0]["download_status"]
                  .asString(),
              "UPDATED");

    const auto one = parse(m_client.call("GET", url(std::string(rest_paths::track_obj) + "t1")).body);
    ASSERT_EQ(one["trackableObjects"].size(), 2u);
    EXPECT_EQ(one["trackableObjects"][1]["x"].asInt(), 1);
    EXPECT_EQ(
        parse(m_client.call("GET", url(std::string(rest_paths::track_obj) + "none")).body)["trackableObjects"]
            .size(),
        0u);
}

TEST_F(fake_server_test, unknown_paths_and_methods_answer_404_and_raw_bodies_replace_data) {
    EXPECT_EQ(m_client.call("GET", url("/api/private/zones")).status, 404);
    EXPECT_EQ(m_client.call("PUT", url(rest_paths::zones), "{}").status, 404);
    EXPECT_EQ(m_client.call("DELETE", url(rest_paths::zone_download_status)).status, 404);

    m_server->set_raw_body(rest_paths::zones, "not json at all");
    const auto raw = m_client.call("GET", url(rest_paths::zones));
    EXPECT_EQ(raw.status, 200);
    EXPECT_EQ(raw.body, "not json at all");
    m_server->clear_raw_bodies();
    EXPECT_TRUE(parse(m_client.call("GET", url(rest_paths::zones)).body)["zones"].isArray());
}

TEST_F(fake_server_test, records_method_path_headers_and_body_in_order) {
    const std::string body = R"({"uid":"t1","data":{"hex":"0001000100"}})";
    EXPECT_EQ(
        m_client.call("POST", url(rest_paths::user_msg), body, {"content-type: application/json"}).status,
        200);
    EXPECT_EQ(m_client.call("GET", url(std::string(rest_paths::zones) + "?page=2")).status, 200);

    const auto recorded = m_server->requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].method, "POST");
    EXPECT_EQ(recorded[0].path, rest_paths::user_msg);
    EXPECT_EQ(recorded[0].body, body);
    EXPECT_EQ(recorded[0].header("Content-Type"), "application/json");
    EXPECT_EQ(recorded[0].answered_status, 200u);
    EXPECT_EQ(recorded[1].target, std::string(rest_paths::zones) + "?page=2");
    EXPECT_EQ(recorded[1].path, rest_paths::zones);
    EXPECT_EQ(m_server->requests(match_request("GET", rest_paths::zones)).size(), 1u);

    m_server->clear_requests();
    EXPECT_EQ(m_server->request_count(), 0u);
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

TEST_F(fake_server_test, stores_reported_statuses_last_per_tag_and_deletes_them) {
    m_server->set_download_statuses(parse(R"([{"trackable_uid":"t1","download_status":"UPDATED","ts":"old"},
                     {"trackable_uid":"t2","download_status":"OUTDATED","ts":"old"}])"));
    const std::string report =
        R"({"zone_download_status":[{"trackable_uid":"t1","download_status":"IN_PROCESS"},)"
        R"({"trackable_uid":"t3","download_status":"OOSYNC","reason":"not associated"},)"
        R"({"trackable_uid":"t1","download_status":"UPDATED","reason":"done"}]})";
    EXPECT_EQ(m_client.call("POST", url(rest_paths::zone_download_status), report).status, 200);

    const auto stored = parse(m_client.call("GET", url(rest_paths::zone_download_status)).body);
    ASSERT_EQ(stored["zone_download_status"].size(), 3u);
    const auto t1 = m_server->download_status("t1");
    ASSERT_TRUE(t1);
    EXPECT_EQ((*t1)["download_status"].asString(), "UPDATED");
    EXPECT_EQ((*t1)["reason"].asString(), "done");
    EXPECT_TRUE((*t1)["ts"].isString());
    EXPECT_NE((*t1)["ts"].asString(), "old");
    EXPECT_EQ((*m_server->download_status("t3"))["reason"].asString(), "not associated");

    EXPECT_EQ(m_client.call("DELETE", url(std::string(rest_paths::zone_download_status) + "/t1")).status,
              200);
    EXPECT_FALSE(m_server->download_status("t1"));
    EXPECT_TRUE(m_server->download_status("t2"));
    EXPECT_EQ(m_server->download_statuses().size(), 2u);
}

TEST_F(fake_server_test, rejects_malformed_reports_and_user_messages_without_storing) {
    EXPECT_EQ(
        m_client.call("POST", url(rest_paths::zone_download_status), "{\"zone_download_status\":[").status,
        400);
    EXPECT_EQ(m_client
                  .call("POST", url(rest_paths::zone_download_status),
                        R"({"zone_download_status":[{"trackable_uid":"t1"}]})")
                  .status,
              400);
    EXPECT_EQ(m_server->download_statuses().size(), 0u);
    EXPECT_EQ(m_client.call("POST", url(rest_paths::user_msg), R"({"uid":"t1","data":{"hex":5}})").status,
              400);
    EXPECT_EQ(m_server->requests().back().answered_status, 400u);
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
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zones), "", {}, 300).code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zone_types)).status, 200) << "other paths are not delayed";
    m_server->set_answer_delay(5s);
    EXPECT_EQ(m_client.call("GET", url(rest_paths::zone_types), "", {}, 300).code, CURLE_OPERATION_TIMEDOUT)
        << "the answer delay holds every path";
}

TEST_F(fake_server_test, keeps_the_connection_alive_between_requests) {
    const auto first = m_client.call("GET", url(rest_paths::zones));
    const auto second = m_client.call("GET", url(rest_paths::zone_types));
    EXPECT_EQ(first.new_connections, 1);
    EXPECT_EQ(second.status, 200);
    EXPECT_EQ(second.new_connections, 0);
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

TEST_F(fake_server_test, observer_sees_each_handled_request) {
    std::promise<recorded_request> seen;
    m_server->set_request_observer([&seen](const recorded_request& request) { seen.set_value(request); });
    m_client.call("POST", url(rest_paths::user_msg), R"({"uid":"t1","data":{"hex":"AB"}})");
    auto observed = seen.get_future();
    ASSERT_EQ(observed.wait_for(10s), std::future_status::ready);
    const auto request = observed.get();
    EXPECT_EQ(request.path, rest_paths::user_msg);
    EXPECT_EQ(request.answered_status, 200u);
    m_server->set_request_observer(nullptr);
}

}  // namespace
}  // namespace varnok::test_tools
