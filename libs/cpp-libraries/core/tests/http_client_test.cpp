#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/exception.h"
#include "core/http/create_client.h"
#include "core/logger.h"
#include "free_port.h"
#include "http_test_server.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace http = ozra::libs::core::http;
using core::testing::run_until;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class HttpClientTest : public ::testing::Test {
protected:
    std::unique_ptr<http::client> make_client(std::chrono::seconds timeout = std::chrono::seconds(10),
                                              const std::set<http::method>& disabled = {}) {
        return m_loop->create_http_client(m_server.address(), timeout, disabled, 3);
    }

    core::testing::http_test_server m_server;
    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
};

TEST_F(HttpClientTest, GetWithoutBodyCarriesNoContentTypeAndTheProjectUserAgent) {
    const auto result = make_client()->perform_request(http::method::get, "/echo?x=1");
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.status_code(), 200);
    EXPECT_FALSE(result.error().has_value());
    EXPECT_EQ(result.data(), "GET /echo?x=1\ncontent-type: \nuser-agent: varnokd\n");
}

TEST_F(HttpClientTest, BodiesAreSentAsJsonWithEveryMethod) {
    auto client = make_client();
    EXPECT_EQ(client->perform_request(http::method::post, "/p", "{\"a\":1}").data(),
              "POST /p\ncontent-type: application/json\nuser-agent: varnokd\n{\"a\":1}");
    EXPECT_EQ(client->perform_request(http::method::put, "/u", "[]").data(),
              "PUT /u\ncontent-type: application/json\nuser-agent: varnokd\n[]");
    EXPECT_EQ(client->perform_request(http::method::del, "/d").data(),
              "DELETE /d\ncontent-type: \nuser-agent: varnokd\n");
}

TEST_F(HttpClientTest, NotFoundGivesTheBodyAsError) {
    const auto result = make_client()->perform_request(http::method::get, "/missing");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.status_code(), 404);
    EXPECT_FALSE(result.data().has_value());
    EXPECT_EQ(result.error(), "no such thing");
}

TEST_F(HttpClientTest, LoopMakesClientsWithTenWorkers) {
    auto client = m_loop->create_http_client(m_server.address(), std::chrono::seconds(5));
    int delivered = 0;
    std::vector<std::unique_ptr<http::result_handle>> handles;
    for (int index = 0; index < 10; ++index) {
        handles.push_back(
            client->perform_async_request(http::method::get, "/hang", [&](http::result) { ++delivered; }));
    }
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_server.hanging_requests() == 10; }));
    EXPECT_EQ(delivered, 0);
}

TEST_F(HttpClientTest, RedirectsAreFollowed) {
    EXPECT_EQ(make_client()->perform_request(http::method::get, "/moved").data(),
              "GET /echo\ncontent-type: \nuser-agent: varnokd\n");
}

TEST_F(HttpClientTest, DisabledMethodSendsNothingAndSucceedsEmpty) {
    auto client = make_client(std::chrono::seconds(10), {http::method::post, http::method::del});
    const auto result = client->perform_request(http::method::post, "/p", "{}");
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.status_code(), 200);
    EXPECT_EQ(result.data(), "");
    EXPECT_EQ(m_server.requests(), 0);
    EXPECT_TRUE(client->perform_request(http::method::get, "/echo").ok());
    EXPECT_EQ(m_server.requests(), 1);
}

TEST_F(HttpClientTest, UnreachableServerGivesOnlyAnError) {
    const std::string address = "http://127.0.0.1:" + std::to_string(core::testing::free_tcp_port());
    auto client = http::create_client(*m_loop, *m_core, m_logger, address, std::chrono::seconds(5), {}, 1);
    const auto result = client->perform_request(http::method::get, "/echo");
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.status_code().has_value());
    EXPECT_THAT(result.error().value_or(""), StartsWith("curl_easy_perform failed:"));
}

TEST_F(HttpClientTest, HangingServerTimesOut) {
    auto client = make_client(std::chrono::seconds(1));
    const auto result = client->perform_request(http::method::get, "/hang");
    EXPECT_FALSE(result.status_code().has_value());
    EXPECT_THAT(result.error().value_or(""), StartsWith("curl_easy_perform failed:Timeout"));
}

TEST_F(HttpClientTest, AsynchronousResultsArriveOnTheLoopThread) {
    auto client = make_client();
    const auto loop_thread = std::this_thread::get_id();
    std::vector<std::string> bodies(6);
    int delivered = 0;
    std::vector<std::unique_ptr<http::result_handle>> handles;
    for (std::size_t index = 0; index < bodies.size(); ++index) {
        handles.push_back(client->perform_async_request(
            http::method::post, "/n" + std::to_string(index), "{}", [&, index](http::result result) {
                EXPECT_EQ(std::this_thread::get_id(), loop_thread);
                bodies[index] = result.data().value_or("no data");
                ++delivered;
            }));
    }
    ASSERT_TRUE(run_until(*m_loop, [&] { return delivered == 6; }));
    for (std::size_t index = 0; index < bodies.size(); ++index) {
        EXPECT_THAT(bodies[index], StartsWith("POST /n" + std::to_string(index) + "\n"));
        EXPECT_TRUE(handles[index]->is_complete());
    }
}

TEST_F(HttpClientTest, AsynchronousResultWaitsForALateCallbackAndRestartRepeats) {
    auto client = make_client();
    auto handle = client->perform_async_request(http::method::get, "/missing", "");
    ASSERT_TRUE(run_until(*m_loop, [&] { return handle->is_complete(); }));
    std::vector<std::optional<int>> codes;
    handle->set_callback([&](http::result result) { codes.push_back(result.status_code()); });
    ASSERT_TRUE(run_until(*m_loop, [&] { return codes.size() == 1; }));
    handle->restart();
    ASSERT_TRUE(run_until(*m_loop, [&] { return codes.size() == 2; }));
    EXPECT_EQ(codes, (std::vector<std::optional<int>>{404, 404}));
    EXPECT_EQ(m_server.requests(), 2);
}

TEST_F(HttpClientTest, RestartAfterTheClientIsDestroyedRaises) {
    auto client = make_client();
    auto handle = client->perform_async_request(http::method::get, "/echo", "");
    ASSERT_TRUE(run_until(*m_loop, [&] { return handle->is_complete(); }));
    client.reset();
    EXPECT_EQ(core::testing::raised_text([&] { handle->restart(); }),
              "GET /echo: the HTTP client is destroyed");
}

TEST_F(HttpClientTest, DestroyedClientDeliversNoResult) {
    auto client = make_client(std::chrono::seconds(60));
    bool delivered = false;
    // The quick result may arrive while the client still exists; the hanging one never can.
    const auto on_result = [&](http::result) { delivered = delivered || client == nullptr; };
    auto hanging = client->perform_async_request(http::method::get, "/hang", on_result);
    auto quick = client->perform_async_request(http::method::get, "/echo", on_result);
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_server.hanging_requests() == 1; }));
    client.reset();
    bool drained = false;
    m_loop->post([&] { drained = true; });
    ASSERT_TRUE(run_until(*m_loop, [&] { return drained; }));
    m_loop->run();
    EXPECT_FALSE(delivered);
}

}  // namespace
