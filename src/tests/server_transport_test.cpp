#include <curl/curl.h>
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <sys/socket.h>

#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
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

TEST_F(ServerTransport, DestructionLetsQueuedRequestsFinish) {
    m_fake->set_fault(response_fault{std::nullopt, false, 300ms});
    m_server->SendAsyncPostRequest(CServer::req_user_msg, UserMsg("first"), "first");
    m_server->SendAsyncPostRequest(CServer::req_user_msg, UserMsg("last"), "first");
    m_server.reset();
    ASSERT_EQ(m_fake->request_count(), 2u);
    EXPECT_EQ(m_fake->requests().back().body, UserMsg("last"));
    EXPECT_EQ(m_fake->requests().back().answered_status, 200u);
}

TEST(DirectHttpTarget, OnlyPlainHttpToANumericAddressWithoutProxyGoesDirect) {
    struct Case {
        const char* protocol;
        const char* address;
        unsigned int port;
        const char* host;  // null: through libcurl
    };
    for (const Case& c : std::vector<Case>{
             {"http", "127.0.0.1:8080", 0, "127.0.0.1:8080"},
             {"HTTP", "127.0.0.1:8080", 9000, "127.0.0.1:9000"},
             {"https", "http://127.0.0.1", 0, "127.0.0.1"},
             {"http", "[::1]:81", 0, "[::1]:81"},
             {"https", "127.0.0.1", 0, nullptr},
             {"http", "https://127.0.0.1", 0, nullptr},
             {"http", "localhost:8080", 0, nullptr},
             {"http", "127.0.0.1:8080/prefix", 0, nullptr},
             {"http", "user@127.0.0.1", 0, nullptr},
             {"http", "127.0.0.1:99999", 0, nullptr},
             {"http", "[::1", 0, nullptr},
         }) {
        const std::optional<CHttpTarget> target = DirectHttpTarget(c.protocol, c.address, c.port);
        EXPECT_EQ(target ? target->mHost : "none", c.host ? c.host : "none")
            << c.protocol << " " << c.address;
    }
    setenv("http_proxy", "http://127.0.0.1:3128", 1);
    EXPECT_FALSE(DirectHttpTarget("http", "127.0.0.1:8080", 0));
    unsetenv("http_proxy");
}

TEST_F(ServerTransport, AsyncRequestsReadTheSameSentDirectlyOrThroughLibcurl) {
    const auto sendBoth = [&](const std::string& host) {
        m_fake->clear_requests();
        CServer server("http", host + ":" + std::to_string(m_fake->port()), 0, m_logger);
        server.SendAsyncPostRequest(CServer::req_user_msg, UserMsg("t1"), "t1");
        server.SendAsyncDelRequest(CServer::req_zone_download_status + "/t1");
        server.WaitForAsyncOperations();
        std::vector<std::vector<std::string>> seen;
        for (const recorded_request& request : m_fake->requests()) {
            seen.push_back({request.method, request.target, request.body, request.header("host"),
                            request.header("user-agent"), request.header("accept"),
                            request.header("content-type"), request.header("content-length"),
                            std::to_string(request.answered_status)});
        }
        return seen;
    };
    // A numeric address goes over direct connections; a host name through libcurl.
    std::vector<std::vector<std::string>> direct = sendBoth("127.0.0.1");
    std::vector<std::vector<std::string>> viaCurl = sendBoth("localhost");
    ASSERT_EQ(direct.size(), 2u);
    for (auto& request : viaCurl) {
        request[3] = "127.0.0.1:" + std::to_string(m_fake->port());
    }
    EXPECT_EQ(direct, viaCurl);
}

// Records how each request ended.
class RecordedRequest : public CRequestPool::Request {
public:
    using Result = std::pair<CURLcode, long>;
    RecordedRequest(std::string url, std::vector<Result>& results)
        : mUrl(std::move(url)), mResults(results) {}
    void Prepare(CURL* handle) override {
        curl_easy_reset(handle);
        curl_easy_setopt(handle, CURLOPT_URL, mUrl.c_str());
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &callbackFunc);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    }
    std::string Message(const std::string& host) const override {
        return "POST / HTTP/1.1\r\nHost: " + host + "\r\nContent-Length: 0\r\n\r\n";
    }
    void Finish(CURLcode result, long status) override { mResults.emplace_back(result, status); }

private:
    std::string mUrl;
    std::vector<Result>& mResults;
};

// Answers each request it reads with the next scripted answer; an answer marked to close ends its connection.
class ScriptedServer {
public:
    struct Answer {
        std::string mText;
        bool mClose = false;
    };

    explicit ScriptedServer(std::vector<Answer> answers)
        : mAnswers(std::move(answers)), mThread([this] { Serve(); }) {}
    ~ScriptedServer() {
        ::shutdown(mAcceptor.native_handle(), SHUT_RDWR);
        mThread.join();
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(mAcceptor.local_endpoint().port());
    }
    std::optional<CHttpTarget> Target() const { return DirectHttpTarget("http", Url(), 0); }
    std::size_t RequestsRead() const { return mRead; }

private:
    void Serve() {
        boost::system::error_code error;
        while (mNext < mAnswers.size()) {
            boost::asio::ip::tcp::socket socket(mIo);
            if (mAcceptor.accept(socket, error)) {
                return;
            }
            boost::asio::streambuf buffer;
            while (mNext < mAnswers.size() &&
                   boost::asio::read_until(socket, buffer, "\r\n\r\n", error) > 0) {
                std::string head(boost::asio::buffers_begin(buffer.data()),
                                 boost::asio::buffers_end(buffer.data()));
                head.resize(head.find("\r\n\r\n") + 4);
                buffer.consume(head.size());
                const auto length = head.find("Content-Length: ");
                const std::size_t body =
                    length == std::string::npos ? 0 : std::stoul(head.substr(length + 16));
                if (buffer.size() < body) {
                    boost::asio::read(socket, buffer, boost::asio::transfer_exactly(body - buffer.size()),
                                      error);
                }
                buffer.consume(body);
                ++mRead;
                const Answer& answer = mAnswers[mNext++];
                boost::asio::write(socket, boost::asio::buffer(answer.mText), error);
                if (answer.mClose) {
                    break;
                }
            }
        }
    }

    boost::asio::io_context mIo;
    boost::asio::ip::tcp::acceptor mAcceptor{mIo, {boost::asio::ip::make_address("127.0.0.1"), 0}};
    std::vector<Answer> mAnswers;
    std::size_t mNext = 0;
    std::atomic<std::size_t> mRead{0};
    std::thread mThread;
};

// Runs the requests one after the other over one direct connection; how each ended.
std::vector<RecordedRequest::Result> RunInOneLane(const ScriptedServer& server, std::size_t requests,
                                                  libs::core::logger& logger) {
    std::vector<RecordedRequest::Result> results;
    CRequestPool pool(1, 100, server.Target(), 10s, 10s, logger);
    for (std::size_t request = 0; request < requests; ++request) {
        pool.Submit("one", std::make_unique<RecordedRequest>(server.Url(), results));
    }
    pool.WaitIdle();
    return results;
}

TEST_F(ServerTransport, DirectConnectionsReadEveryFormOfAnswerAndReadTheSameFailuresAsLibcurl) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    const std::vector<ScriptedServer::Answer> answers = {
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n"},
        {"HTTP/1.1 100 Continue\r\n\r\n" + ok},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"},
        {"HTTP/1.0 200 OK\r\n\r\nthe body ends with the connection", true},
        {"HTTP/1.1 201 Created\r\nConnection: close\r\nContent-Length: 0\r\n\r\n", true},
        // A fresh connection closed without an answer fails; a kept-alive one is replaced and the request
        // resent.
        {"", true},
        {ok},
        {"", true},
        {ok},
        {"not an answer\r\n\r\n", true},
    };
    ScriptedServer server(answers);
    const std::vector<RecordedRequest::Result> expected = {
        {CURLE_OK, 200}, {CURLE_OK, 200}, {CURLE_OK, 404},
        {CURLE_OK, 200}, {CURLE_OK, 201}, {CURLE_GOT_NOTHING, 0},
        {CURLE_OK, 200}, {CURLE_OK, 200}, {CURLE_WEIRD_SERVER_REPLY, 0}};
    EXPECT_EQ(RunInOneLane(server, expected.size(), m_logger), expected);
    EXPECT_EQ(server.RequestsRead(), answers.size());
}

TEST_F(ServerTransport, ADirectRequestAnsweredWithARedirectionIsFollowedThroughLibcurl) {
    const std::string redirect = "HTTP/1.1 307 Temporary Redirect\r\nLocation: " + m_fake->url() +
                                 CServer::req_user_msg + "\r\nContent-Length: 0\r\n\r\n";
    ScriptedServer server({{redirect, true}, {redirect, true}});
    const std::vector<RecordedRequest::Result> results = RunInOneLane(server, 1, m_logger);
    EXPECT_EQ(server.RequestsRead(), 2u);
    const recorded_request followed = OnlyRequest();
    EXPECT_EQ(followed.method, "POST");
    EXPECT_EQ(results, (std::vector<RecordedRequest::Result>{{CURLE_OK, followed.answered_status}}));
}

TEST_F(ServerTransport, RequestsToAServerThatNeverAnswersTimeOutOrAreDroppedAtDestruction) {
    // Connections to a listening socket that never accepts complete, and no answer ever comes.
    boost::asio::io_context io_context;
    const boost::asio::ip::tcp::acceptor silent(io_context, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const std::string address = "127.0.0.1:" + std::to_string(silent.local_endpoint().port());
    const std::string url = "http://" + address + "/";
    const std::optional<CHttpTarget> target = DirectHttpTarget("http", address, 0);

    for (const auto& direct : {std::optional<CHttpTarget>(), target}) {
        std::vector<RecordedRequest::Result> finished;
        {
            CRequestPool pool(4, 1000, direct, 10s, 200ms, m_logger);
            for (int request = 0; request < 40; ++request) {
                pool.Submit("t" + std::to_string(request % 8),
                            std::make_unique<RecordedRequest>(url, finished));
            }
        }
        EXPECT_TRUE(finished.empty());
    }
    std::vector<RecordedRequest::Result> timedOut;
    CRequestPool pool(4, 1000, target, 100ms, 10s, m_logger);
    for (int request = 0; request < 8; ++request) {
        pool.Submit("t" + std::to_string(request % 4), std::make_unique<RecordedRequest>(url, timedOut));
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
