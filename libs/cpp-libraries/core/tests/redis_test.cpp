#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/exception.h"
#include "core/logger.h"
#include "core/redis/create_context.h"
#include "free_port.h"
#include "redis_server.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace redis = ozra::libs::core::redis;
using core::testing::raised_text;
using core::testing::run_until;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class RedisTest : public ::testing::Test {
protected:
    std::unique_ptr<redis::context> make_context(int db = 0) {
        return m_loop->create_redis_context("127.0.0.1", m_server.port(), db);
    }

    // Runs the command on the loop-driven connection and waits for its reply.
    redis::reply run_async(redis::command& command) {
        std::optional<redis::reply> result;
        auto handle = command.execute_async();
        handle->set_callback([&](redis::reply reply) {
            EXPECT_EQ(std::this_thread::get_id(), m_test_thread);
            result.emplace(std::move(reply));
        });
        EXPECT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
        EXPECT_TRUE(handle->is_complete());
        return std::move(*result);
    }

    core::testing::redis_server m_server;
    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    const std::thread::id m_test_thread = std::this_thread::get_id();
};

TEST_F(RedisTest, BinaryKeysAndValuesRoundTrip) {
    auto context = make_context();
    const std::string key("bin\0key\r\n", 9);
    const std::string value("\0\x01\xff zero\0\r\nend", 14);
    EXPECT_EQ(context->set(key, value)->execute().to_string(), "OK");
    EXPECT_EQ(context->get(key)->execute().to_string(), value);
    EXPECT_EQ(run_async(*context->get(key)).to_string(), value);
    EXPECT_EQ(context->del(key)->execute().to_long_long(), 1);
    EXPECT_EQ(context->get(key)->execute().get_type(), redis::reply_type::NIL);
}

TEST_F(RedisTest, ReplyAccessorsRaiseForTheWrongType) {
    auto context = make_context();
    context->set("text", "not a number")->execute();
    const auto count = context->del("absent")->execute();
    EXPECT_EQ(raised_text([&] { count.to_string(); }), "Reply is not string, actual type: integer");
    const auto text = context->get("text")->execute();
    EXPECT_EQ(raised_text([&] { text.as_array(); }), "Reply is not array, actual type: string");
    EXPECT_FALSE(count.try_string_view().has_value());
    try {
        text.to_int();
        ADD_FAILURE() << "to_int of a non-number returned";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "stoi");
    }
    EXPECT_THROW(count.to_int(), core::exception);
    const auto members = context->get_set_members("absent")->execute();
    EXPECT_EQ(members.as_array().size(), 0u);
    EXPECT_EQ(raised_text([&] { members.as_array()[0]; }), "Index out of range");
}

TEST_F(RedisTest, ErrorRepliesRaiseOnTheBlockingConnectionAndArriveAsRepliesAsynchronously) {
    auto context = make_context();
    EXPECT_THAT(raised_text([&] {
                    context->create_command({"NOSUCHCOMMAND", "x"})->execute();
                }),
                StartsWith("Command: NOSUCHCOMMAND, error: ERR unknown command"));
    context->set("text", "abc")->execute();
    EXPECT_THAT(raised_text([&] { context->increment_in_table("text", "f", 1)->execute(); }),
                StartsWith("Command: HINCRBY, error: WRONGTYPE"));
    const auto reply = run_async(*context->create_command({"NOSUCHCOMMAND"}));
    EXPECT_EQ(reply.get_type(), redis::reply_type::ERROR);
    EXPECT_THAT(reply.to_string(), HasSubstr("unknown command"));
}

TEST_F(RedisTest, SetOperations) {
    auto context = make_context();
    EXPECT_EQ(context->add_to_set("s")
                  ->add_argument("a")
                  .add_argument("b")
                  .add_argument("c")
                  .execute()
                  .to_long_long(),
              3);
    EXPECT_EQ(context->add_to_set("s", "a")->execute().to_long_long(), 0);
    EXPECT_EQ(context->remove_from_set("s", "b")->execute().to_long_long(), 1);
    std::set<std::string> members;
    const auto reply = context->get_set_members("s")->execute();
    reply.as_array().for_each_element([&](const redis::reply_element& member) {
        members.insert(member.to_string());
        return true;
    });
    EXPECT_EQ(members, (std::set<std::string>{"a", "c"}));
}

TEST_F(RedisTest, TableOperations) {
    auto context = make_context();
    context->set_to_table_multi("t")
        ->add_argument("f1")
        .add_argument("v1")
        .add_argument("n")
        .add_argument("5")
        .execute();
    EXPECT_EQ(context->set_to_table("t", "f2", "v2")->execute().to_long_long(), 1);
    EXPECT_EQ(context->get_from_table("t", "f2")->execute().to_string(), "v2");
    EXPECT_EQ(context->increment_in_table("t", "n", -7)->execute().to_long_long(), -2);
    EXPECT_EQ(context->get_from_table("t", "n")->execute().to_int(), -2);

    const auto multi =
        context->get_from_table_multi("t")->add_argument("f1").add_argument("missing").execute();
    const auto fields = multi.as_array();
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].to_string(), "v1");
    EXPECT_EQ(fields[1].get_type(), redis::reply_type::NIL);

    EXPECT_EQ(context->delete_from_table("t", "f1")->execute().to_long_long(), 1);
    const auto all = context->get_table("t")->execute();
    EXPECT_EQ(all.as_array().size(), 4u);
}

TEST_F(RedisTest, ScanVisitsEveryMatchingKeyAcrossPagesAndStopsWhenAsked) {
    auto context = make_context();
    std::set<std::string> expected;
    for (int index = 0; index < 250; ++index) {
        const std::string key = "scan:" + std::to_string(index);
        context->set(key, "v")->execute();
        expected.insert(key);
        context->set("other:" + std::to_string(index), "v")->execute();
    }
    std::set<std::string> seen;
    EXPECT_EQ(context->scan("scan:*",
                            [&](std::string_view key) {
                                seen.emplace(key);
                                return true;
                            }),
              core::iteration_result::finished);
    EXPECT_EQ(seen, expected);

    int visited = 0;
    EXPECT_EQ(context->scan("scan:*", [&](std::string_view) { return ++visited < 3; }),
              core::iteration_result::interrupted);
    EXPECT_EQ(visited, 3);
}

TEST_F(RedisTest, BothConnectionsUseTheSelectedDatabase) {
    auto first = make_context(1);
    auto zero = make_context(0);
    first->set("where", "one")->execute();
    EXPECT_EQ(zero->get("where")->execute().get_type(), redis::reply_type::NIL);
    EXPECT_EQ(run_async(*first->get("where")).to_string(), "one");
    EXPECT_EQ(run_async(*zero->get("where")).get_type(), redis::reply_type::NIL);
}

TEST_F(RedisTest, RestartRunsTheCommandAgain) {
    auto context = make_context();
    auto command = context->increment_in_table("counter", "n", 1);
    std::vector<long long> values;
    auto handle = command->execute_async();
    handle->set_callback([&](redis::reply reply) { values.push_back(reply.to_long_long()); });
    ASSERT_TRUE(run_until(*m_loop, [&] { return values.size() == 1; }));
    handle->restart();
    EXPECT_FALSE(handle->is_complete());
    ASSERT_TRUE(run_until(*m_loop, [&] { return values.size() == 2; }));
    EXPECT_EQ(values, (std::vector<long long>{1, 2}));
}

TEST_F(RedisTest, DestroyedHandleGetsNoReply) {
    auto context = make_context();
    bool dropped_delivered = false;
    auto dropped = context->set("k", "first")->execute_async();
    dropped->set_callback([&](redis::reply) { dropped_delivered = true; });
    dropped.reset();
    const auto last = run_async(*context->get("k"));
    EXPECT_EQ(last.to_string(), "first");
    EXPECT_FALSE(dropped_delivered);
}

TEST_F(RedisTest, CommandsThatMakeASubscriberAreRefusedBeforeAnythingIsSent) {
    auto context = make_context();
    auto listener = make_context();
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"SUBSCRIBE", "news"}, {"psubscribe", "n*"}, {"MONITOR"}, {"UNSUBSCRIBE"}, {"PUNSUBSCRIBE"}}) {
        auto command = context->create_command(arguments);
        const auto refusal = "Command: " + arguments[0] + ", error: subscriptions are not supported";
        EXPECT_EQ(raised_text([&] { command->execute_async(); }), refusal);
        EXPECT_EQ(raised_text([&] { command->execute(); }), refusal);
    }
    EXPECT_EQ(listener->create_command({"PUBLISH", "news", "nobody listens"})->execute().to_long_long(), 0);
    EXPECT_EQ(run_async(*context->set("k", "v")).to_string(), "OK");
    EXPECT_EQ(context->get("k")->execute().to_string(), "v");
}

TEST_F(RedisTest, CommandsAndHandlesOutlivingTheirContextRaise) {
    auto context = make_context();
    auto command = context->get("k");
    auto handle = command->execute_async();
    ASSERT_TRUE(run_until(*m_loop, [&] { return handle->is_complete(); }));
    context.reset();
    EXPECT_EQ(raised_text([&] { command->execute(); }), "Command: GET, error: the context is destroyed");
    EXPECT_EQ(raised_text([&] { command->execute_async(); }), "Command: GET, error");
    EXPECT_EQ(raised_text([&] { handle->restart(); }), "Command: GET, error");
}

TEST_F(RedisTest, ConnectDeliversAWorkingContextOnTheLoop) {
    std::optional<redis::connect_result> result;
    auto handle = redis::connect(*m_loop, m_logger, "127.0.0.1", m_server.port(), 2);
    EXPECT_FALSE(handle->is_complete());
    handle->set_callback([&](redis::connect_result connected) { result.emplace(std::move(connected)); });
    ASSERT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
    ASSERT_TRUE(result->has_value());
    auto& context = **result;
    context->set("db2", "yes")->execute();
    EXPECT_EQ(run_async(*context->get("db2")).to_string(), "yes");
    EXPECT_EQ(make_context(2)->get("db2")->execute().to_string(), "yes");
}

TEST_F(RedisTest, DestroyingTheContextCompletesPendingRepliesWithAnError) {
    auto context = make_context();
    std::optional<redis::reply> result;
    auto handle = context->get("k")->execute_async();
    handle->set_callback([&](redis::reply reply) { result.emplace(std::move(reply)); });
    context.reset();
    ASSERT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
    EXPECT_EQ(result->get_type(), redis::reply_type::ERROR);
}

TEST_F(RedisTest, ServerThatGoesAway) {
    auto context = make_context();
    EXPECT_EQ(run_async(*context->set("k", "v")).to_string(), "OK");
    m_server.kill();
    const auto lost = run_async(*context->get("k"));
    EXPECT_EQ(lost.get_type(), redis::reply_type::ERROR);
    EXPECT_THAT(raised_text([&] { context->get("k")->execute_async(); }), "Command: GET, error");
    EXPECT_THAT(raised_text([&] { context->get("k")->execute(); }), StartsWith("Command: GET, error: "));
}

TEST_F(RedisTest, ServerThatIsDown) {
    const int port = core::testing::free_tcp_port();
    EXPECT_THAT(raised_text([&] { m_loop->create_redis_context("127.0.0.1", port, 0); }),
                "Connection error: Connection refused");

    std::optional<redis::connect_result> result;
    const std::string error = raised_text([&] {
        auto handle = redis::connect(*m_loop, m_logger, "127.0.0.1", port, 0);
        handle->set_callback([&](redis::connect_result connected) { result.emplace(std::move(connected)); });
        ASSERT_TRUE(run_until(*m_loop, [&] { return result.has_value(); }));
    });
    if (result) {
        EXPECT_FALSE(result->has_value());
    } else {
        EXPECT_THAT(error, StartsWith("Cannot open connection to the redis server: "));
    }
}

}  // namespace
