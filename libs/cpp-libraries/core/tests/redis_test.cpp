#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "core/redis/create_context.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace redis = ozra::libs::core::redis;
using core::testing::raised_text;
using core::testing::run_until;
using ::testing::StartsWith;

// A redis-server process on a free loopback port that writes no files.
class redis_server {
public:
    redis_server() {
        const std::string port = std::to_string(m_port);
        if ((m_pid = ::fork()) == 0) {  // other threads run: no allocation before exec
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
            ::execlp("redis-server", "redis-server", "--port", port.c_str(), "--bind", "127.0.0.1", "--save",
                     "", "--appendonly", "no", "--loglevel", "warning", nullptr);
            ::_exit(127);
        }
        // It listens once it is ready to serve.
        boost::asio::io_context io_context;
        boost::asio::ip::tcp::socket probe(io_context);
        const boost::asio::ip::tcp::endpoint endpoint(core::testing::any_loopback_port.address(), m_port);
        boost::system::error_code refused;
        for (int attempt = 0; probe.connect(endpoint, refused), refused; ++attempt, probe.close()) {
            if (attempt == 500) {
                throw std::runtime_error("redis-server does not answer");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ~redis_server() { kill(SIGTERM); }

    int port() const { return m_port; }

    // Ends the server; SIGKILL ends it at once, as a crash would.
    void kill(int signal = SIGKILL) {
        if (m_pid > 0) {
            ::kill(m_pid, signal);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    int m_port = core::testing::free_tcp_port();
    pid_t m_pid = -1;
};

// Integers in decimal, nil as "nil", arrays as "[element,...]", text as it is.
std::string render(const redis::reply_element& reply) {
    const auto type = reply.get_type();
    if (type != redis::reply_type::ARRAY) {
        return type == redis::reply_type::INTEGER ? std::to_string(reply.to_long_long())
               : type == redis::reply_type::NIL   ? "nil"
                                                  : reply.to_string();
    }
    std::string text = "[";
    reply.as_array().for_each_element([&text](const redis::reply_element& element) {
        text += render(element) + ",";
        return true;
    });
    return text + "]";
}

class RedisTest : public core::testing::loop_test {
protected:
    std::unique_ptr<redis::context> make_context(int db = 0) {
        return m_loop->create_redis_context("127.0.0.1", m_server.port(), db);
    }

    // Runs the command on the loop-driven connection and waits for its reply.
    redis::reply run_async(redis::command& command) {
        std::optional<redis::reply> result;
        auto handle = command.execute_async();
        handle->set_callback([&](redis::reply reply) { result.emplace(std::move(reply)); });
        EXPECT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
        EXPECT_TRUE(handle->is_complete());
        return std::move(*result);
    }

    // Connects through a handle and waits for its result.
    std::optional<redis::connect_result> connect(int db) {
        std::optional<redis::connect_result> result;
        auto handle = redis::connect(*m_loop, m_logger, "127.0.0.1", m_server.port(), db);
        handle->set_callback([&](redis::connect_result connected) { result.emplace(std::move(connected)); });
        EXPECT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
        return result;
    }

    redis_server m_server;
};

// The context comes through a connect handle, on database 2: neither of its connections uses database 0.
TEST_F(RedisTest, ContextCommandsReachTheServer) {
    const auto connected = connect(2);
    ASSERT_TRUE(connected && connected->has_value());
    const auto& c = **connected;
    auto zero = make_context(0);
    const std::string key("bin\0key\r\n", 9);
    const std::string value("\0\x01\xff zero\0\r\nend", 14);
    for (const auto& [step, expected] : std::vector<std::pair<std::function<redis::reply()>, std::string>>{
             {[&] { return c->set(key, value)->execute(); }, "OK"},
             {[&] { return c->get(key)->execute(); }, value},
             {[&] { return run_async(*c->get(key)); }, value},
             {[&] { return zero->get(key)->execute(); }, "nil"},
             {[&] { return run_async(*zero->get(key)); }, "nil"},
             {[&] { return c->del(key)->execute(); }, "1"},
             {[&] { return c->get(key)->execute(); }, "nil"},
             {[&] { return c->add_to_set("s")->add_argument("a").add_argument("b").execute(); }, "2"},
             {[&] { return c->add_to_set("s", "a")->execute(); }, "0"},
             {[&] { return c->remove_from_set("s", "b")->execute(); }, "1"},
             {[&] { return c->get_set_members("s")->execute(); }, "[a,]"},
             {[&] { return c->set_to_table_multi("t")->add_argument("f1").add_argument("v1").execute(); },
              "OK"},
             {[&] { return c->set_to_table("t", "n", "5")->execute(); }, "1"},
             {[&] { return c->increment_in_table("t", "n", -7)->execute(); }, "-2"},
             {[&] { return c->get_from_table("t", "n")->execute(); }, "-2"},
             {[&] { return c->get_from_table_multi("t")->add_argument("f1").add_argument("x").execute(); },
              "[v1,nil,]"},
             {[&] { return c->delete_from_table("t", "f1")->execute(); }, "1"},
             {[&] { return c->get_table("t")->execute(); }, "[n,-2,]"}}) {
        EXPECT_EQ(render(step()), expected);
    }
}

// Commands that make a subscriber are refused before anything is sent.
TEST_F(RedisTest, ErrorRepliesRaiseOnTheBlockingConnectionArriveAsRepliesAsynchronously) {
    auto context = make_context();
    const std::vector<std::string> unknown{"NOSUCHCOMMAND", "x"};
    EXPECT_THAT(raised_text([&] { context->create_command(unknown)->execute(); }),
                StartsWith("Command: NOSUCHCOMMAND, error: ERR unknown command"));
    const auto reply = run_async(*context->create_command(unknown));
    EXPECT_EQ(reply.get_type(), redis::reply_type::ERROR);
    EXPECT_THAT(reply.to_string(), StartsWith("ERR unknown command"));
    const auto count = context->del("absent")->execute();
    EXPECT_EQ(raised_text([&] { count.to_string(); }), "Reply is not string, actual type: integer");
    EXPECT_FALSE(count.try_string_view().has_value());
    EXPECT_THROW(count.to_int(), core::exception);
    EXPECT_EQ(raised_text([&] { reply.as_array(); }), "Reply is not array, actual type: error");
    EXPECT_EQ(raised_text([&] { context->get_set_members("absent")->execute().as_array()[0]; }),
              "Index out of range");
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"SUBSCRIBE", "news"}, {"psubscribe", "n*"}, {"MONITOR"}}) {
        auto command = context->create_command(arguments);
        const auto refusal = "Command: " + arguments[0] + ", error: subscriptions are not supported";
        EXPECT_EQ(raised_text([&] { command->execute_async(); }), refusal);
        EXPECT_EQ(raised_text([&] { command->execute(); }), refusal);
    }
    EXPECT_EQ(run_async(*context->set("k", "v")).to_string(), "OK");
}

TEST_F(RedisTest, ScanVisitsEveryMatchingKeyAcrossPagesAndStopsWhenAsked) {
    auto context = make_context();
    std::set<std::string> expected, seen;
    for (int index = 0; index < 250; ++index) {
        context->set("other:" + std::to_string(index), "v")->execute();
        context->set(*expected.insert("scan:" + std::to_string(index)).first, "v")->execute();
    }
    EXPECT_EQ(context->scan("scan:*", [&](std::string_view key) { return seen.emplace(key).second; }),
              core::iteration_result::finished);
    EXPECT_EQ(seen, expected);
    int visited = 0;
    EXPECT_EQ(context->scan("scan:*", [&](std::string_view) { return ++visited < 3; }),
              core::iteration_result::interrupted);
    EXPECT_EQ(visited, 3);
}

// A handle restarts its command; a destroyed handle gets no reply; destroying the context completes a
// pending reply with an error, and its commands and handles raise after it.
TEST_F(RedisTest, HandlesRestartDropAndOutliveTheirContext) {
    auto context = make_context();
    bool dropped_delivered = false;
    auto dropped = context->set("k", "first")->execute_async();
    dropped->set_callback([&](redis::reply) { dropped_delivered = true; });
    dropped.reset();
    auto command = context->increment_in_table("counter", "n", 1);
    std::vector<redis::reply> replies;
    auto handle = command->execute_async();
    handle->set_callback([&](redis::reply reply) { replies.push_back(std::move(reply)); });
    ASSERT_TRUE(run_until(*m_loop, [&] { return replies.size() == 1; }));
    handle->restart();
    EXPECT_FALSE(handle->is_complete());
    ASSERT_TRUE(run_until(*m_loop, [&] { return replies.size() == 2; }));
    auto pending = context->get("k")->execute_async();
    pending->set_callback([&](redis::reply reply) { replies.push_back(std::move(reply)); });
    context.reset();
    ASSERT_TRUE(run_until(*m_loop, [&] { return replies.size() == 3; }));
    EXPECT_EQ(render(replies[0]) + " " + render(replies[1]), "1 2");
    EXPECT_EQ(replies[2].get_type(), redis::reply_type::ERROR);
    EXPECT_FALSE(dropped_delivered);
    EXPECT_EQ(raised_text([&] { command->execute(); }), "Command: HINCRBY, error: the context is destroyed");
    EXPECT_EQ(raised_text([&] { command->execute_async(); }), "Command: HINCRBY, error");
    EXPECT_EQ(raised_text([&] { handle->restart(); }), "Command: HINCRBY, error");
}

// Connecting to the killed server fails at once or through the handle, as the connection attempt goes.
TEST_F(RedisTest, ServerThatGoesAwayOrIsDown) {
    auto context = make_context();
    EXPECT_EQ(run_async(*context->set("k", "v")).to_string(), "OK");
    m_server.kill();
    EXPECT_EQ(run_async(*context->get("k")).get_type(), redis::reply_type::ERROR);
    EXPECT_EQ(raised_text([&] { context->get("k")->execute_async(); }), "Command: GET, error");
    EXPECT_THAT(raised_text([&] { context->get("k")->execute(); }), StartsWith("Command: GET, error: "));
    EXPECT_EQ(raised_text([&] { make_context(); }), "Connection error: Connection refused");
    std::optional<redis::connect_result> result;
    const std::string error = raised_text([&] { result = connect(0); });
    EXPECT_TRUE(result ? !result->has_value()
                       : error.rfind("Cannot open connection to the redis server: ", 0) == 0)
        << error;
}
