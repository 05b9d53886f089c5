#include "core/http/create_client.h"
#include "fake_server/fake_location_server.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace http = ozra::libs::core::http;
using core::testing::run_until;
using namespace std::chrono_literals;

// "<status or -> data:<data>" or "<status or -> error:<error>".
std::string render(const http::result& result) {
    const std::string status = result.status_code() ? std::to_string(*result.status_code()) : "-";
    return result.ok() ? status + " data:" + *result.data()
                       : status + " error:" + result.error().value_or("");
}

std::string render(const varnok::test_tools::recorded_request& request) {
    return request.method + " " + request.target + " " + request.header("content-type") + " " +
           request.header("user-agent") + " " + request.body;
}

class HttpClientTest : public core::testing::loop_test {
protected:
    std::unique_ptr<http::client> make_client(std::chrono::seconds timeout = 10s,
                                              const std::set<http::method>& disabled = {}) {
        return m_loop->create_http_client(m_server->url(), timeout, disabled, 3);
    }

    std::unique_ptr<varnok::test_tools::fake_location_server> m_server =
        varnok::test_tools::make_fake_location_server();
};

// A disabled method sends nothing and succeeds empty.
TEST_F(HttpClientTest, RequestsByMethodAndTheirFailures) {
    m_server->set_fault({{}, false, 60s}, "/hang");
    auto client = make_client();
    auto hurried = make_client(1s);
    auto disabled = make_client(10s, {http::method::post, http::method::del});
    core::testing::held_tcp_port closed;
    auto refused = http::create_client(*m_loop, *m_core, m_logger,
                                       "http://127.0.0.1:" + std::to_string(closed.port()), 5s, {}, 1);
    const std::string message = R"({"uid":"u","data":{"hex":"00"}})";
    const std::string no_resource = R"(404 error:{"error":"no such resource"})";
    const auto get = http::method::get, post = http::method::post, put = http::method::put;
    // Rows: client, method, path, body, result, and "<method> <target> <content type> <agent> <body>" sent.
    for (const auto& [requester, method, path, body, expected, sent] : std::vector<
             std::tuple<http::client*, http::method, std::string, std::string, std::string, std::string>>{
             {client.get(), get, "/api/private/zones/", "", R"(200 data:{"zones":[]})",
              "GET /api/private/zones/  varnokd "},
             {client.get(), post, "/api/v2/private/user_msg/", message, "200 data:{}",
              "POST /api/v2/private/user_msg/ application/json varnokd " + message},
             {client.get(), put, "/u?x=1", "[]", no_resource, "PUT /u?x=1 application/json varnokd []"},
             {client.get(), http::method::del, "/api/private/zone_download_status/u", "", "200 data:{}",
              "DELETE /api/private/zone_download_status/u  varnokd "},
             {refused.get(), get, "/p", "", "- error:curl_easy_perform failed:Couldn't connect to server",
              ""},
             {hurried.get(), get, "/hang", "", "- error:curl_easy_perform failed:Timeout was reached",
              "GET /hang  varnokd "},
             {disabled.get(), post, "/p", "{}", "200 data:", ""},
             {disabled.get(), get, "/missing", "", no_resource, "GET /missing  varnokd "}}) {
        m_server->clear_requests();
        EXPECT_EQ(render(requester->perform_request(method, path, body)), expected) << path;
        const auto requests = m_server->requests();
        EXPECT_EQ(requests.empty() ? "" : render(requests.back()), sent) << path;
    }
}

// A result that completed before its callback was set still reaches the callback, on the loop thread.
TEST_F(HttpClientTest, AsynchronousResultsArriveOnTheLoopThreadAndRestartRepeats) {
    auto client = make_client();
    const auto loop_thread = std::this_thread::get_id();
    auto handle = client->perform_async_request(http::method::get, "/missing", "");
    ASSERT_TRUE(run_until(*m_loop, [&] { return handle->is_complete(); }));
    std::vector<std::optional<int>> codes;
    handle->set_callback([&](http::result result) {
        EXPECT_EQ(std::this_thread::get_id(), loop_thread);
        codes.push_back(result.status_code());
    });
    ASSERT_TRUE(run_until(*m_loop, [&] { return codes.size() == 1; }));
    handle->restart();
    ASSERT_TRUE(run_until(*m_loop, [&] { return codes.size() == 2; }));
    EXPECT_EQ(codes, (std::vector<std::optional<int>>{404, 404}));
    EXPECT_EQ(m_server->request_count(), 2u);
    client.reset();
    EXPECT_EQ(core::testing::raised_text([&] { handle->restart(); }),
              "GET /missing: the HTTP client is destroyed");
}

// The loop's clients have ten workers; destroying one aborts its requests and delivers none of their results.
TEST_F(HttpClientTest, DestroyedClientDeliversNoResult) {
    m_server->set_fault({{}, false, 60s});
    auto client = m_loop->create_http_client(m_server->url(), 60s);
    int delivered = 0;
    std::vector<std::unique_ptr<http::result_handle>> handles;
    for (int index = 0; index < 10; ++index) {
        handles.push_back(client->perform_async_request(http::method::post, "/hang", "{}",
                                                        [&](http::result) { ++delivered; }));
    }
    ASSERT_TRUE(m_server->wait_for_requests(10, 20s));
    client.reset();  // joins the workers: what they posted is queued now
    poll_ready();
    EXPECT_EQ(delivered, 0);
}
