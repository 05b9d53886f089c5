#include <boost/system/system_error.hpp>

#include "core/zmq/manager.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace core_zmq = ozra::libs::core::zmq;
using core::testing::run_until;
using socket_type = core_zmq::socket::type;
using message = std::vector<std::string>;

namespace {

class ZmqSocketTest : public core::testing::loop_test {
protected:
    void SetUp() override {
        m_pull = m_loop->get_zmq().bind(socket_type::pull, "tcp://127.0.0.1:!");
        m_push = m_loop->get_zmq().connect(socket_type::push, m_pull->get_bound_endpoint());
    }

    std::unique_ptr<core_zmq::socket> m_pull;
    std::unique_ptr<core_zmq::socket> m_push;
    std::vector<message> m_messages;
};

// The callback takes the rest of "head"'s message with receive_more; the frames of "a"'s message it leaves
// reach it in turn. receive_more after a message's last frame raises and leaves the next message alone.
TEST_F(ZmqSocketTest, MessagesArriveWholeAndInOrder) {
    m_pull->set_receive_callback([&](const core_zmq::message& frame) {
        message whole{frame.data};
        for (bool more = frame.more && frame.data == "head"; more;) {
            const auto next = m_pull->receive_more();
            whole.push_back(next.data);
            more = next.more;
        }
        if (whole.size() > 1 || !frame.more) {
            EXPECT_THROW(m_pull->receive_more(), core::exception);
        }
        m_messages.push_back(whole);
    });
    m_push->send("a", core_zmq::flags::sndmore);
    m_push->send("b");
    m_push->send("head", core_zmq::flags::sndmore);
    EXPECT_TRUE(m_push->try_send("body", core_zmq::flags::sndmore));
    EXPECT_TRUE(m_push->try_send("tail"));
    m_push->send("", core_zmq::flags::none);
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_messages.size() == 4; }));
    EXPECT_EQ(m_messages, (std::vector<message>{{"a"}, {"b"}, {"head", "body", "tail"}, {""}}));
    EXPECT_TRUE(m_push->get_bound_endpoint().empty());
}

// A message arrives whole: "second" is queued when the callback destroys the socket for "first".
TEST_F(ZmqSocketTest, ReceivingGoesOnAfterACallbackThrowsAndEndsWithTheSocket) {
    m_pull->set_receive_callback([this](const core_zmq::message& frame) {
        m_messages.push_back({frame.data});
        if (frame.data == "boom") {
            throw std::runtime_error("callback failed");
        }
        m_pull.reset();
    });
    m_push->send("boom");
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    m_push->send("first", core_zmq::flags::sndmore);
    m_push->send("second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_pull == nullptr; }));
    m_loop->get_io_context().restart();
    m_loop->get_io_context().poll();
    EXPECT_EQ(m_messages, (std::vector<message>{{"boom"}, {"first"}}));
}

// Whether the reply and the next request are sent from a timer rather than inside the receive callback.
class ZmqRequestReplyTest : public ZmqSocketTest,
                            public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(ZmqRequestReplyTest, AHundredTurnsStartingAfterALoopIteration) {
    constexpr int turns = 100;
    const bool reply_from_timer = std::get<0>(GetParam()), request_from_timer = std::get<1>(GetParam());
    std::vector<std::unique_ptr<core::timer>> timers;
    const auto answer = [&](bool later, std::function<void()> act) {  // now, or from a timer due at once
        later ? timers.push_back(
                    m_loop->create_timer(std::chrono::steady_clock::now(), "answer", [act](auto) { act(); }))
              : act();
    };
    auto server = m_loop->get_zmq().bind(socket_type::rep, "tcp://127.0.0.1:*");
    auto client = m_loop->get_zmq().connect(socket_type::req, server->get_bound_endpoint());
    server->set_receive_callback([&](const core_zmq::message& request) {
        answer(reply_from_timer, [&, text = request.data] { server->send("re: " + text); });
    });
    std::vector<std::string> replies;
    client->set_receive_callback([&](const core_zmq::message& reply) {
        replies.push_back(reply.data);
        if (replies.size() < turns) {
            answer(request_from_timer, [&, next = std::to_string(replies.size())] { client->send(next); });
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
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_F(ZmqSocketTest, FramesForAnAbsentPeerDoNotHoldUpTheLoopsEnd) {
    // The frame lingers for a port that refuses it and that no test running beside this one can bind.
    const core::testing::held_tcp_port held;
    auto queued =
        m_loop->get_zmq().connect(socket_type::push, "tcp://127.0.0.1:" + std::to_string(held.port()));
    EXPECT_TRUE(queued->try_send("waits for a peer that never comes"));
    queued.reset();
    m_pull.reset();
    m_push.reset();
    m_loop.reset();  // the context ends once the queued frame's linger has passed
}

}  // namespace
