#include <curl/curl.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using namespace std::chrono_literals;
using varnok::test_tools::recorded_request;
using varnok::test_tools::response_fault;

constexpr const char* path = "/api/private/zones/";

std::size_t ThreadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoul(line.substr(8));
        }
    }
    return 0;
}

std::string UserMsg(const std::string& uid) {
    return "{\"uid\":\"" + uid + "\",\"data\":{\"hex\":\"000100020F00\"}}";
}

class ServerTransport : public ServerTest {
protected:
    std::string Url() const { return m_fake->url() + path; }
};

TEST_F(ServerTransport, GetSendsPlainRequestWithUserAgentAndAppendsTheBody) {
    m_fake->set_raw_body(path, "first part");
    std::stringstream answer;
    answer << "kept:";
    m_server->CurlGetRequest(path, answer, nullptr);

    EXPECT_EQ(answer.str(), "kept:first part");
    const recorded_request request = OnlyRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, path);
    EXPECT_EQ(request.header("user-agent"), "varnokd");
    EXPECT_EQ(request.header("content-type"), "");
    EXPECT_EQ(request.body, "");
}

TEST_F(ServerTransport, PostAndDeleteAddJsonContentTypeToTheCallersHeaders) {
    const std::string body = "{\"uid\":\"t 1&x=2\",\"data\":{\"hex\":\"000100020F00\"}}";
    std::stringstream answer;
    m_server->CurlPostRequest(CServer::req_zone_download_status, answer,
                              "{\"zone_download_status\":" + std::string("[]}"),
                              curl_slist_append(nullptr, "x-first: 1"));
    m_server->CurlPostRequest(CServer::req_user_msg, answer, body, nullptr);
    m_fake->set_download_statuses(
        ParseJson(R"([{"trackable_uid":"t1","download_status":"UPDATED","ts":"1"}])"));
    m_server->CurlDelRequest(CServer::req_zone_download_status + "/t1", answer,
                             curl_slist_append(nullptr, "x-second: 2"));

    const auto requests = m_fake->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, CServer::req_zone_download_status);
    EXPECT_EQ(requests[0].header("x-first"), "1");
    EXPECT_EQ(requests[1].body, body);
    EXPECT_EQ(requests[1].header("content-length"), std::to_string(body.size()));
    EXPECT_EQ(requests[2].method, "DELETE");
    EXPECT_EQ(requests[2].target, "/api/private/zone_download_status/t1");
    EXPECT_EQ(requests[2].header("x-second"), "2");
    EXPECT_EQ(requests[2].body, "");
    for (const recorded_request& request : requests) {
        EXPECT_EQ(request.header("content-type"), "application/json") << request.target;
        EXPECT_EQ(request.header("user-agent"), "varnokd") << request.target;
    }
}

TEST_F(ServerTransport, AddressWithoutSchemeUsesTheConfiguredProtocolAndAPortOverridesTheAddress) {
    std::stringstream answer;
    CServer noScheme("http", "127.0.0.1:" + std::to_string(m_fake->port()), 0, m_logger);
    noScheme.CurlGetRequest(path, answer, nullptr);
    CServer withPort("http", "127.0.0.1", m_fake->port(), m_logger);
    withPort.CurlGetRequest(path, answer, nullptr);
    EXPECT_EQ(m_fake->request_count(), 2u);
    EXPECT_EQ(ParseJson(answer.str().substr(0, answer.str().size() / 2))["zones"].size(), 0u);
}

TEST_F(ServerTransport, EveryStatusButOkRaisesAndKeepsTheBody) {
    for (const unsigned status : {201u, 204u, 404u, 500u}) {
        m_fake->set_fault(response_fault{status, false, 0ms});
        std::stringstream answer;
        const std::string quotedUrl = "\"" + Url() + "\"";
        EXPECT_EQ(RaisedText([&] { m_server->CurlPostRequest(path, answer, "{}", nullptr); }),
                  "CurlPostRequest: request " + quotedUrl + " returns code " + std::to_string(status));
        EXPECT_EQ(RaisedText([&] { m_server->CurlDelRequest(path, answer, nullptr); }),
                  "CurlDelRequest: request " + quotedUrl + " returns code " + std::to_string(status));
        EXPECT_EQ(RaisedText([&] { m_server->CurlGetRequest(path, answer, nullptr); }),
                  "CurlGetRequest: request " + quotedUrl + " returns code " + std::to_string(status));
        if (status != 204) {
            EXPECT_EQ(answer.str(), "{}{}{}") << status;
        }
    }
}

TEST_F(ServerTransport, RefusedConnectionNamesCurlsErrorAndTheUrl) {
    m_fake->stop_listening();
    std::stringstream answer;
    const std::string failure = std::string(": curl_easy_perform failed: ") +
                                curl_easy_strerror(CURLE_COULDNT_CONNECT) + " URL=" + Url();
    EXPECT_EQ(RaisedText([&] { m_server->CurlGetRequest(path, answer, nullptr); }),
              "CurlGetRequest" + failure);
    EXPECT_EQ(RaisedText([&] { m_server->CurlPostRequest(path, answer, "{}", nullptr); }),
              "CurlPostRequest" + failure);
    EXPECT_EQ(RaisedText([&] { m_server->CurlDelRequest(path, answer, nullptr); }),
              "CurlDelRequest" + failure);
}

TEST_F(ServerTransport, AsyncPostsKeepTheirOrderPerKeyAndBoundedThreadsWhileTheServerIsSlow) {
    m_fake->set_fault(response_fault{std::nullopt, false, 20ms});
    const std::size_t threadsBefore = ThreadCount();
    std::vector<std::string> sent;
    for (int message = 0; message < 120; ++message) {
        const std::string uid = "t" + std::to_string(message % 12);
        sent.push_back(UserMsg(uid) + std::to_string(message));
        m_server->SendAsyncPostRequest(CServer::req_user_msg, sent.back(), uid);
    }
    // The transfers run on one thread of their own.
    EXPECT_LE(ThreadCount(), threadsBefore + 1);
    m_server->WaitForAsyncOperations();

    std::map<std::string, std::vector<std::string>> expected;
    std::map<std::string, std::string> uidOf;
    for (std::size_t index = 0; index < sent.size(); ++index) {
        const std::string uid = "t" + std::to_string(index % 12);
        expected[uid].push_back(sent[index]);
        uidOf[sent[index]] = uid;
    }
    std::map<std::string, std::vector<std::string>> received;
    for (const recorded_request& request : m_fake->requests()) {
        EXPECT_EQ(request.answered_status, 200u);
        received[uidOf[request.body]].push_back(request.body);
    }
    EXPECT_EQ(received, expected);
}

TEST_F(ServerTransport, AsyncDeleteIsSentAndFailuresStayOnTheRequestThread) {
    m_server->SendAsyncDelRequest(CServer::req_zone_download_status + "/t9");
    m_server->WaitForAsyncOperations();
    const recorded_request request = OnlyRequest();
    EXPECT_EQ(request.method, "DELETE");
    EXPECT_EQ(request.target, "/api/private/zone_download_status/t9");
    EXPECT_EQ(request.answered_status, 200u);

    m_fake->stop_listening();
    m_server->SendAsyncPostRequest(CServer::req_user_msg, "{}", "t1");
    m_server->SendAsyncDelRequest(CServer::req_zone_download_status + "/t9");
    m_server->WaitForAsyncOperations();
    m_server->WaitForAsyncOperations();
    EXPECT_EQ(m_fake->request_count(), 1u);
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
    const recorded_request request = OnlyRequest();
    EXPECT_EQ(request.body, UserMsg("first"));
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
    EXPECT_TRUE(waiting.mWaiting);
    EXPECT_FALSE(waiting.mAt);
    m_server->WaitForAsyncOperations();
    const CRequestPool::Settled sent = m_server->TakeFramesSent("t1");
    EXPECT_FALSE(sent.mWaiting);
    ASSERT_TRUE(sent.mAt);
    const auto since = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    EXPECT_GE(since(*sent.mAt) - since(queued), 2 * delay) << "both frames were answered late";
    EXPECT_FALSE(m_server->TakeFramesSent("t1").mAt);
}

TEST_F(ServerTransport, AReplaceableFrameSupersedesTheOneWaitingBehindAnother) {
    response_fault slow;
    slow.delay = 1s;
    slow.once = true;
    m_fake->set_fault(slow, CServer::req_user_msg, "POST");
    m_server->SendUserMsg("t1", "A");
    ASSERT_TRUE(m_fake->wait_for_requests(1, 20s));
    for (const auto& [hex, replaceable] : std::vector<std::pair<std::string, bool>>{
             {"R1", true}, {"R2", true}, {"R3", true}, {"B", false}, {"R4", true}, {"R5", true}}) {
        m_server->SendUserMsg("t1", hex, replaceable);
    }
    m_server->WaitForAsyncOperations();
    std::vector<std::string> sent;
    for (const recorded_request& request : m_fake->requests()) {
        sent.push_back(ParseJson(request.body)["data"]["hex"].asString());
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"A", "R3", "B", "R5"}));
}

// Records how each request ended.
class RecordedRequest : public CRequestPool::Request {
public:
    using Result = std::pair<CURLcode, long>;
    RecordedRequest(std::string url, std::vector<Result>& results, long timeoutMs = 0)
        : mUrl(std::move(url)), mResults(results), mTimeoutMs(timeoutMs) {}
    void Prepare(CURL* handle) override {
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, mUrl.c_str());
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, mTimeoutMs);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &callbackFunc);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    }
    void Finish(CURLcode result, long status) override { mResults.emplace_back(result, status); }

private:
    std::string mUrl;
    std::vector<Result>& mResults;
    long mTimeoutMs;
};

TEST_F(ServerTransport, RequestsToAServerThatNeverAnswersTimeOutOrAreDroppedAtDestruction) {
    // Connections to a listening socket that never accepts complete, and no answer ever comes.
    boost::asio::io_context io_context;
    const boost::asio::ip::tcp::acceptor silent(io_context, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const std::string url = "http://127.0.0.1:" + std::to_string(silent.local_endpoint().port()) + "/";

    std::vector<RecordedRequest::Result> finished;
    {
        CRequestPool pool(4, 200ms, m_logger);
        for (int request = 0; request < 40; ++request) {
            pool.Submit("t" + std::to_string(request % 8), std::make_unique<RecordedRequest>(url, finished));
        }
    }
    EXPECT_TRUE(finished.empty());

    std::vector<RecordedRequest::Result> timedOut;
    CRequestPool pool(4, 10s, m_logger);
    for (int request = 0; request < 8; ++request) {
        pool.Submit("t" + std::to_string(request % 4), std::make_unique<RecordedRequest>(url, timedOut, 100));
    }
    pool.WaitIdle();
    EXPECT_EQ(timedOut, std::vector<RecordedRequest::Result>(8, {CURLE_OPERATION_TIMEDOUT, 0}));
}

TEST_F(ServerTransport, ParseAnswerReadsJsonAndRaisesWithTheCallersName) {
    std::stringstream valid("{\"zones\": [1, 2]}");
    Json::Value root;
    m_server->ParseAnswer("GetZones", valid, root);
    EXPECT_EQ(root["zones"].size(), 2u);

    for (const char* text : {"", "not json", "{\"zones\": [1, 2}"}) {
        std::stringstream invalid(text);
        const std::string raised = RaisedText([&] { m_server->ParseAnswer("GetZones", invalid, root); });
        EXPECT_EQ(raised.rfind("GetZones: parseFromStream ", 0), 0u) << raised;
        EXPECT_GT(raised.size(), std::string("GetZones: parseFromStream ").size()) << raised;
    }
}

}  // namespace
}  // namespace ozra::test
