#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <atomic>

#include "core/http/create_client.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace http = ozra::libs::core::http;
using core::testing::run_until;
using namespace std::chrono_literals;

namespace {

namespace beast_http = boost::beast::http;

// A Boost.Beast server on a free loopback port, on a thread of its own. "/missing" answers 404 with the body
// "no such thing", "/moved" redirects to "/echo", "/hang" never answers; every other path answers 200 with
// the request's method, target, content type, user agent and body.
class http_test_server {
public:
    http_test_server() {
        accept();
        m_thread = std::thread([this] { m_io_context.run(); });
    }

    ~http_test_server() {
        m_io_context.stop();
        m_thread.join();
    }

    std::string address() const {
        return "http://127.0.0.1:" + std::to_string(m_acceptor.local_endpoint().port());
    }
    int requests() const { return m_requests; }
    int hanging_requests() const { return m_hanging; }

private:
    struct session {
        boost::asio::ip::tcp::socket socket;
        boost::beast::flat_buffer buffer;
        beast_http::request<beast_http::string_body> request;
        beast_http::response<beast_http::string_body> response;
    };

    void accept() {
        m_acceptor.async_accept(
            [this](const boost::system::error_code& error, boost::asio::ip::tcp::socket socket) {
                if (!error) {
                    serve(std::make_shared<session>(session{std::move(socket), {}, {}, {}}));
                    accept();
                }
            });
    }

    void serve(const std::shared_ptr<session>& s) {
        s->request = {};
        beast_http::async_read(
            s->socket, s->buffer, s->request, [this, s](const boost::system::error_code& error, std::size_t) {
                if (error) {
                    return;
                }
                ++m_requests;
                const std::string target(s->request.target());
                if (target == "/hang") {
                    ++m_hanging;
                    m_hung.push_back(s);
                    return;
                }
                s->response = {beast_http::status::ok, s->request.version()};
                if (target == "/missing") {
                    s->response.result(beast_http::status::not_found);
                    s->response.body() = "no such thing";
                } else if (target == "/moved") {
                    s->response.result(beast_http::status::found);
                    s->response.set(beast_http::field::location, "/echo");
                } else {
                    s->response.body() =
                        std::string(s->request.method_string()) + " " + target +
                        "\ncontent-type: " + std::string(s->request[beast_http::field::content_type]) +
                        "\nuser-agent: " + std::string(s->request[beast_http::field::user_agent]) + "\n" +
                        s->request.body();
                }
                s->response.prepare_payload();
                beast_http::async_write(s->socket, s->response,
                                        [this, s](const boost::system::error_code& error, std::size_t) {
                                            if (!error) {
                                                serve(s);
                                            }
                                        });
            });
    }

    boost::asio::io_context m_io_context;
    boost::asio::ip::tcp::acceptor m_acceptor{m_io_context, core::testing::any_loopback_port};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_hanging{0};
    std::vector<std::shared_ptr<session>> m_hung;  // the server thread's
    std::thread m_thread;
};

// "<status or -> data:<data>" or "<status or -> error:<error>".
std::string render(const http::result& result) {
    const std::string status = result.status_code() ? std::to_string(*result.status_code()) : "-";
    return result.ok() ? status + " data:" + *result.data()
                       : status + " error:" + result.error().value_or("");
}

class HttpClientTest : public core::testing::loop_test {
protected:
    std::unique_ptr<http::client> make_client(std::chrono::seconds timeout = 10s,
                                              const std::set<http::method>& disabled = {}) {
        return m_loop->create_http_client(m_server.address(), timeout, disabled, 3);
    }

    http_test_server m_server;
};

// A disabled method sends nothing and succeeds empty.
TEST_F(HttpClientTest, RequestsByMethodAndTheirFailures) {
    auto client = make_client();
    auto hurried = make_client(1s);
    auto disabled = make_client(10s, {http::method::post, http::method::del});
    const std::string address = "http://127.0.0.1:" + std::to_string(core::testing::free_tcp_port());
    auto refused = http::create_client(*m_loop, *m_core, m_logger, address, 5s, {}, 1);
    const std::string echo = "200 data:GET /echo\ncontent-type: \nuser-agent: varnokd\n";
    const std::string json = "\ncontent-type: application/json\nuser-agent: varnokd\n";
    const std::string not_connected = "- error:curl_easy_perform failed:Couldn't connect to server";
    const auto get = http::method::get, post = http::method::post, put = http::method::put;
    const auto del = http::method::del;
    struct row {
        http::client* client;
        http::method method;
        std::string path, body, expected;
    };
    for (const auto& [requester, method, path, body, expected] : std::vector<row>{
             {client.get(), get, "/echo", "", echo},
             {client.get(), post, "/p", "{\"a\":1}", "200 data:POST /p" + json + "{\"a\":1}"},
             {client.get(), put, "/u?x=1", "[]", "200 data:PUT /u?x=1" + json + "[]"},
             {client.get(), del, "/d", "", "200 data:DELETE /d\ncontent-type: \nuser-agent: varnokd\n"},
             {client.get(), get, "/moved", "", echo},
             {client.get(), get, "/missing", "", "404 error:no such thing"},
             {client.get(), post, "/missing", "{}", "404 error:no such thing"},
             {client.get(), del, "/missing", "", "404 error:no such thing"},
             {refused.get(), get, "/echo", "", not_connected},
             {refused.get(), post, "/echo", "{}", not_connected},
             {refused.get(), del, "/echo", "", not_connected},
             {hurried.get(), get, "/hang", "", "- error:curl_easy_perform failed:Timeout was reached"},
             {disabled.get(), post, "/p", "{}", "200 data:"},
             {disabled.get(), del, "/d", "", "200 data:"}}) {
        SCOPED_TRACE(std::string(http::to_string(method)) + " " + path);
        EXPECT_EQ(render(requester->perform_request(method, path, body)), expected);
    }
    EXPECT_EQ(m_server.requests(), 10);
    EXPECT_EQ(render(disabled->perform_request(get, "/echo")), echo);
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
    EXPECT_EQ(m_server.requests(), 2);
    client.reset();
    EXPECT_EQ(core::testing::raised_text([&] { handle->restart(); }),
              "GET /missing: the HTTP client is destroyed");
}

// The loop's clients have ten workers; destroying one aborts its requests and delivers none of their results.
TEST_F(HttpClientTest, DestroyedClientDeliversNoResult) {
    auto client = m_loop->create_http_client(m_server.address(), 60s);
    int delivered = 0;
    std::vector<std::unique_ptr<http::result_handle>> handles;
    for (int index = 0; index < 10; ++index) {
        handles.push_back(client->perform_async_request(http::method::post, "/hang", "{}",
                                                        [&](http::result) { ++delivered; }));
    }
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_server.hanging_requests() == 10; }));
    client.reset();
    bool drained = false;
    m_loop->post([&] { drained = true; });
    ASSERT_TRUE(run_until(*m_loop, [&] { return drained; }));
    m_loop->run();
    EXPECT_EQ(delivered, 0);
}

}  // namespace
