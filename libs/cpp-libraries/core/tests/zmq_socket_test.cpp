#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/exception.h"
#include "core/logger.h"
#include "core/zmq/manager.h"
#include "free_port.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace core_zmq = ozra::libs::core::zmq;
using core::testing::run_until;
using socket_type = core_zmq::socket::type;

namespace {

class ZmqSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pull = m_loop->get_zmq().bind(socket_type::pull, "tcp://127.0.0.1:!");
        m_push = m_loop->get_zmq().connect(socket_type::push, m_pull->get_bound_endpoint());
    }

    // Collects what the pull side receives, the rest of each message read with receive_more.
    void collect_whole_messages() {
        m_pull->set_receive_callback([this](const core_zmq::message& frame) {
            EXPECT_EQ(std::this_thread::get_id(), m_test_thread);
            std::vector<std::string> message{frame.data};
            for (bool more = frame.more; more;) {
                const auto next = m_pull->receive_more();
                message.push_back(next.data);
                more = next.more;
            }
            m_messages.push_back(message);
        });
    }

    bool wait_for_messages(std::size_t count) {
        return run_until(*m_loop, [&] { return m_messages.size() >= count; });
    }

    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    const std::thread::id m_test_thread = std::this_thread::get_id();
    std::unique_ptr<core_zmq::socket> m_pull;
    std::unique_ptr<core_zmq::socket> m_push;
    std::vector<std::vector<std::string>> m_messages;
};

using message = std::vector<std::string>;

TEST_F(ZmqSocketTest, MessagesArriveWholeAndInOrderOnTheLoopThread) {
    collect_whole_messages();
    m_push->send("single");
    m_push->send("head", core_zmq::flags::sndmore);
    EXPECT_TRUE(m_push->try_send(std::string("\0body", 5), core_zmq::flags::sndmore));
    EXPECT_TRUE(m_push->try_send("tail"));
    m_push->send("", core_zmq::flags::none);
    ASSERT_TRUE(wait_for_messages(3));
    EXPECT_EQ(m_messages,
              (std::vector<message>{{"single"}, {"head", std::string("\0body", 5), "tail"}, {""}}));
    EXPECT_TRUE(m_push->get_bound_endpoint().empty());
}

TEST_F(ZmqSocketTest, FramesNotTakenWithReceiveMoreReachTheCallbackInTurn) {
    std::vector<core_zmq::message> frames;
    m_pull->set_receive_callback([&](const core_zmq::message& frame) { frames.push_back(frame); });
    m_push->send("a", core_zmq::flags::sndmore);
    m_push->send("b");
    ASSERT_TRUE(run_until(*m_loop, [&] { return frames.size() == 2; }));
    EXPECT_EQ(frames[0].data, "a");
    EXPECT_TRUE(frames[0].more);
    EXPECT_EQ(frames[1].data, "b");
    EXPECT_FALSE(frames[1].more);
    EXPECT_THROW(m_pull->receive_more(), core::exception);
}

TEST_F(ZmqSocketTest, ReceiveMoreAfterTheLastFrameRaisesAndLeavesTheNextMessageAlone) {
    std::vector<std::string> firsts;
    m_pull->set_receive_callback([&](const core_zmq::message& frame) {
        firsts.push_back(frame.data);
        EXPECT_THROW(m_pull->receive_more(), core::exception);
    });
    m_push->send("one");
    m_push->send("two");
    ASSERT_TRUE(run_until(*m_loop, [&] { return firsts.size() == 2; }));
    EXPECT_EQ(firsts, (std::vector<std::string>{"one", "two"}));
}

TEST_F(ZmqSocketTest, ACallbackLeavingByAnExceptionDoesNotEndReceiving) {
    m_pull->set_receive_callback([this](const core_zmq::message& frame) {
        if (frame.data == "boom") {
            throw std::runtime_error("callback failed");
        }
        m_messages.push_back({frame.data});
    });
    m_push->send("boom");
    m_push->send("after");
    EXPECT_THROW(wait_for_messages(1), std::runtime_error);
    ASSERT_TRUE(wait_for_messages(1));
    EXPECT_EQ(m_messages, std::vector<message>{{"after"}});
}

TEST_F(ZmqSocketTest, DestroyingTheSocketInItsCallbackStopsDeliveryOfQueuedFrames) {
    int calls = 0;
    m_pull->set_receive_callback([&](const core_zmq::message&) {
        ++calls;
        m_pull.reset();
    });
    m_push->send("first", core_zmq::flags::sndmore);  // a message arrives whole: "second" is queued too
    m_push->send("second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_pull == nullptr; }));
    m_loop->get_io_context().restart();
    m_loop->get_io_context().poll();
    EXPECT_EQ(calls, 1);
}

// Whether each side of a request/reply pair answers inside its receive callback or from a timer.
struct turn_taking {
    const char* name;
    bool reply_from_timer;
    bool request_from_timer;
};

class ZmqRequestReplyTest : public ZmqSocketTest, public ::testing::WithParamInterface<turn_taking> {
protected:
    // Runs `act` now, or from a timer due at once when `later`.
    void answer(bool later, std::function<void()> act) {
        if (!later) {
            act();
            return;
        }
        m_timers.push_back(m_loop->create_timer(
            std::chrono::steady_clock::now(), "answer", [act](auto) { act(); }, OZRA_SOURCE_LOCATION));
    }

    std::vector<std::unique_ptr<core::timer>> m_timers;
};

TEST_P(ZmqRequestReplyTest, AHundredTurnsStartingAfterALoopIteration) {
    constexpr int turns = 100;
    auto server = m_loop->get_zmq().bind(socket_type::rep, "tcp://127.0.0.1:*");
    auto client = m_loop->get_zmq().connect(socket_type::req, server->get_bound_endpoint());
    server->set_receive_callback([&](const core_zmq::message& request) {
        answer(GetParam().reply_from_timer, [&, text = request.data] { server->send("re: " + text); });
    });
    std::vector<std::string> replies;
    client->set_receive_callback([&](const core_zmq::message& reply) {
        replies.push_back(reply.data);
        if (replies.size() < turns) {
            answer(GetParam().request_from_timer,
                   [&, next = std::to_string(replies.size())] { client->send(next); });
        }
    });
    m_loop->get_io_context().poll();
    client->send("0");
    EXPECT_THROW(client->send("out of turn"), boost::system::system_error);
    ASSERT_TRUE(run_until(*m_loop, [&] { return replies.size() == turns; })) << replies.size();
    for (int i = 0; i < turns; ++i) {
        EXPECT_EQ(replies[i], "re: " + std::to_string(i));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ZmqRequestReplyTest,
                         ::testing::Values(turn_taking{"InCallbacks", false, false},
                                           turn_taking{"ReplyFromTimer", true, false},
                                           turn_taking{"RequestFromTimer", false, true},
                                           turn_taking{"BothFromTimers", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ZmqSocketTest, APublisherReachesAMessageStream) {
    auto publisher = m_loop->get_zmq().bind(socket_type::pub, "tcp://127.0.0.1:*");
    auto stream = m_loop->create_zmq_raw_message_stream(publisher->get_bound_endpoint());
    std::vector<std::string> received;
    const auto subscription =
        stream->subscribe("#news", [&](std::string_view frame) { received.emplace_back(frame); });
    ASSERT_TRUE(core::testing::publish_until(
        *m_loop, [&] { publisher->send("#news today"); }, [&] { return !received.empty(); }));
    EXPECT_EQ(received.front(), "#news today");
}

TEST_F(ZmqSocketTest, FramesForAnAbsentPeerDoNotHoldUpTheLoopsEnd) {
    auto lonely = m_loop->get_zmq().bind(socket_type::push, "tcp://127.0.0.1:*");
    EXPECT_FALSE(lonely->try_send("nobody takes this"));
    lonely.reset();
    // The frame lingers for a port that refuses it and that no test running beside this one can bind.
    const ozra::libs::core::testing::held_tcp_port held;
    auto queued =
        m_loop->get_zmq().connect(socket_type::push, "tcp://127.0.0.1:" + std::to_string(held.port()));
    EXPECT_TRUE(queued->try_send("waits for a peer that never comes"));
    queued.reset();
    m_pull.reset();
    m_push.reset();
    m_loop.reset();  // the context ends once the queued frame's linger has passed
}

TEST_F(ZmqSocketTest, RejectedAddressesRaiseZeroMqErrors) {
    for (const auto type :
         {socket_type::push, socket_type::pull, socket_type::pub, socket_type::req, socket_type::rep}) {
        EXPECT_THROW(m_loop->get_zmq().connect(type, "nonsense://x"), boost::system::system_error);
        EXPECT_THROW(m_loop->get_zmq().bind(type, "tcp://127.0.0.1:*[2-1]"), boost::system::system_error);
    }
}

}  // namespace
