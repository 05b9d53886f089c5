#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/time.h>

#include <boost/asio/ip/tcp.hpp>

#include <filesystem>
#include <map>
#include <sstream>

#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::recorded_request;
using varnok::test_tools::response_fault;

constexpr const char* path = "/api/private/zones/";

std::ptrdiff_t ThreadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}

std::string UserMsg(const std::string& uid, const std::string& hex = "000100020F00") {
    return "{\"uid\":\"" + uid + "\",\"data\":{\"hex\":\"" + hex + "\"}}";
}

using ServerTransport = ServerTest;

TEST_F(ServerTransport, RequestsCarryTheUserAgentTheHeadersAndTheBodyToTheConfiguredAddress) {
    m_fake->set_raw_body(path, "first part");
    std::stringstream answer("kept:", std::ios::in | std::ios::out | std::ios::ate);
    m_server->CurlGetRequest(path, answer, nullptr);
    EXPECT_EQ(answer.str(), "kept:first part");
    const std::string body = UserMsg("t 1&x=2");
    m_server->CurlPostRequest(CServer::req_user_msg, answer, body, curl_slist_append(nullptr, "x-first: 1"));

    const auto requests = m_fake->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("content-type") + "|" + requests[1].header("content-type") + "|" +
                  requests[1].header("x-first") + "|" + requests[0].header("user-agent") + "|" +
                  requests[1].header("user-agent") + "|" + requests[1].body,
              "|application/json|1|varnokd|varnokd|" + body);

    // An address without scheme takes the configured protocol; a port overrides the address's.
    CServer("http", "127.0.0.1:" + std::to_string(m_fake->port()), 0, m_logger)
        .CurlGetRequest(path, answer, nullptr);
    CServer("http", "127.0.0.1:1", m_fake->port(), m_logger).CurlGetRequest(path, answer, nullptr);
    EXPECT_EQ(m_fake->request_count(), 4u);
}

TEST_F(ServerTransport, EveryStatusButOkAndEveryFailedTransferRaisesWithTheUrl) {
    const std::vector<std::pair<std::string, std::function<void(std::stringstream&)>>> methods = {
        {"CurlGetRequest",
         [&](std::stringstream& answer) { m_server->CurlGetRequest(path, answer, nullptr); }},
        {"CurlPostRequest",
         [&](std::stringstream& answer) { m_server->CurlPostRequest(path, answer, "{}", nullptr); }},
        {"CurlDelRequest",
         [&](std::stringstream& answer) { m_server->CurlDelRequest(path, answer, nullptr); }},
    };
    const std::string url = m_fake->url() + path;
    for (const unsigned status : {201u, 404u, 500u}) {
        m_fake->set_fault(response_fault{status, false, 0ms});
        for (const auto& method : methods) {
            std::stringstream answer;
            EXPECT_EQ(raised_text([&] { method.second(answer); }),
                      method.first + ": request \"" + url + "\" returns code " + std::to_string(status));
            EXPECT_EQ(answer.str(), "{}") << method.first << " keeps the body of " << status;
        }
    }
    m_fake->stop_listening();
    for (const auto& method : methods) {
        std::stringstream answer;
        EXPECT_EQ(raised_text([&] { method.second(answer); }),
                  method.first + ": curl_easy_perform failed: " + curl_easy_strerror(CURLE_COULDNT_CONNECT) +
                      " URL=" + url);
    }
    // An answer later than ten seconds fails with curl's time-out.
    m_fake->resume_listening();
    m_fake->set_fault(response_fault{std::nullopt, false, 15s});
    std::stringstream answer;
    EXPECT_EQ(raised_text([&] { methods[0].second(answer); }),
              "CurlGetRequest: curl_easy_perform failed: " +
                  std::string(curl_easy_strerror(CURLE_OPERATION_TIMEDOUT)) + " URL=" + url);
}

TEST_F(ServerTransport, AsyncPostsKeepTheirOrderPerKeyAndBoundedThreadsWhileTheServerIsSlow) {
    m_fake->set_fault(response_fault{std::nullopt, false, 20ms});
    const std::ptrdiff_t threadsBefore = ThreadCount();
    std::map<std::string, std::vector<std::string>> sent;
    for (int message = 0; message < 120; ++message) {
        const std::string uid = "t" + std::to_string(message % 12);
        sent[uid].push_back(UserMsg(uid, std::to_string(message)));
        m_server->SendAsyncPostRequest(CServer::req_user_msg, sent[uid].back(), uid);
    }
    // The transfers run on one thread of their own.
    EXPECT_LE(ThreadCount(), threadsBefore + 1);
    m_server->WaitForAsyncOperations();

    std::map<std::string, std::vector<std::string>> received;
    for (const recorded_request& request : m_fake->requests()) {
        EXPECT_EQ(request.answered_status, 200u);
        received[ParseJson(request.body)["uid"].asString()].push_back(request.body);
    }
    EXPECT_EQ(received, sent);
}

TEST_F(ServerTransport, FailedAsyncRequestsStayOnTheRequestThread) {
    m_fake->stop_listening();
    m_server->SendAsyncPostRequest(CServer::req_user_msg, "{}", "t1");
    m_server->SendAsyncDelRequest(CServer::req_zone_download_status + "/t9");
    m_server->WaitForAsyncOperations();
    m_fake->resume_listening();
    m_server->SendAsyncDelRequest(CServer::req_zone_download_status + "/t9");
    m_server->WaitForAsyncOperations();
    EXPECT_EQ(OnlyRequest().answered_status, 200u);
}

TEST_F(ServerTransport, DestructionDropsWaitingRequestsAndLetsTheRunningOneEnd) {
    m_fake->set_answer_delay(300ms);
    // One connection: the other lane waits too.
    auto server = std::make_unique<CServer>("http", m_fake->url(), 0, m_logger, 1);
    server->SendAsyncPostRequest(CServer::req_user_msg, UserMsg("first"), "t1");
    ASSERT_TRUE(m_fake->wait_for_requests(1, 20s));
    server->SendAsyncPostRequest(CServer::req_user_msg, UserMsg("second"), "t1");
    server->SendAsyncPostRequest(CServer::req_user_msg, UserMsg("other"), "t2");
    server.reset();
    EXPECT_EQ(OnlyRequest().body, UserMsg("first"));
}

TEST_F(ServerTransport, FramesCountAsSentOnceTheServerHasTakenTheLastOneAndThatIsToldOnce) {
    EXPECT_FALSE(m_server->TakeFramesSent("t1").mWaiting);
    constexpr auto delay = 300ms;
    m_fake->set_answer_delay(delay);
    timeval queued{};
    gettimeofday(&queued, nullptr);
    m_server->SendUserMsg("t1", "000100020F00");
    m_server->SendUserMsg("t1", "000100020500");
    const CRequestPool::Settled waiting = m_server->TakeFramesSent("t1");
    EXPECT_TRUE(waiting.mWaiting && !waiting.mAt);
    m_server->WaitForAsyncOperations();
    const CRequestPool::Settled sent = m_server->TakeFramesSent("t1");
    ASSERT_TRUE(!sent.mWaiting && sent.mAt);
    timeval elapsed{};
    timersub(&*sent.mAt, &queued, &elapsed);
    EXPECT_GE(std::chrono::seconds(elapsed.tv_sec) + std::chrono::microseconds(elapsed.tv_usec), 2 * delay);
    EXPECT_FALSE(m_server->TakeFramesSent("t1").mAt);
}

TEST_F(ServerTransport, AReplaceableFrameSupersedesTheOneWaitingBehindAnother) {
    // Only the first frame is answered late.
    m_fake->set_fault({std::nullopt, false, 1s, false, true}, CServer::req_user_msg, "POST");
    m_server->SendUserMsg("t1", "A");
    ASSERT_TRUE(m_fake->wait_for_requests(1, 20s));
    for (const auto& [hex, replaceable] : std::vector<std::pair<std::string, bool>>{
             {"R1", true}, {"R2", true}, {"R3", true}, {"B", false}, {"R4", true}, {"R5", true}}) {
        m_server->SendUserMsg("t1", hex, replaceable);
    }
    m_server->WaitForAsyncOperations();
    std::string sent;
    for (const recorded_request& request : m_fake->requests()) {
        sent += ParseJson(request.body)["data"]["hex"].asString() + " ";
    }
    EXPECT_EQ(sent, "A R3 B R5 ");
}

// Counts the requests that ended.
struct CountedRequest : CRequestPool::Request {
    CountedRequest(const std::string& url, int& finished) : mUrl(url), mFinished(finished) {}
    void Prepare(CURL* handle) override { curl_easy_setopt(handle, CURLOPT_URL, mUrl.c_str()); }
    void Finish(CURLcode, long) override { ++mFinished; }
    std::string mUrl;
    int& mFinished;
};

TEST_F(ServerTransport, RequestsToAServerThatNeverAnswersAreDroppedAtDestruction) {
    // Connections to a listening socket that never accepts complete, and no answer ever comes.
    boost::asio::io_context io_context;
    const boost::asio::ip::tcp::acceptor silent(io_context, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const std::string url = "http://127.0.0.1:" + std::to_string(silent.local_endpoint().port()) + "/";
    int finished = 0;
    {
        CRequestPool pool(4, 200ms, m_logger);
        for (int request = 0; request < 40; ++request) {
            pool.Submit("t" + std::to_string(request % 8), std::make_unique<CountedRequest>(url, finished));
        }
    }
    EXPECT_EQ(finished, 0);
}

}  // namespace
}  // namespace ozra::test
