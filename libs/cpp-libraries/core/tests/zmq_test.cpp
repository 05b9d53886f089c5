#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <map>

#include "core/asio_zmq/socket.h"
#include "core/zmq/error.h"
#include "core/zmq/manager.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace asio_zmq = ozra::libs::core::asio_zmq;
namespace core_zmq = ozra::libs::core::zmq;
using core::testing::run_until;
using namespace std::string_literals;
using socket_type = core_zmq::socket::type;
using frames = std::vector<std::string>;

class AsioZmqSocketTest : public ::testing::Test {
protected:
    AsioZmqSocketTest() { m_push.connect(m_pull.bind("tcp://127.0.0.1:*")); }

    // Receives frames until `count` have arrived or a generous deadline passed.
    frames receive(std::size_t count) {
        frames received;
        asio_zmq::socket::receive_handler on_frame = [&](const boost::system::error_code& ec,
                                                         core_zmq::message frame) {
            if (ec == boost::asio::error::operation_aborted) {
                return;
            }
            ASSERT_FALSE(ec) << ec.message();
            received.push_back(std::move(frame.data));
            if (received.size() < count) {
                m_pull.async_receive(on_frame);
            }
        };
        m_pull.async_receive(on_frame);
        run_until(m_io_context, [&] { return received.size() == count; });
        m_pull.cancel();
        return received;
    }

    asio_zmq::socket& add_socket(int type = ZMQ_PULL) {
        return *m_sockets.emplace_back(std::make_unique<asio_zmq::socket>(m_io_context, m_context, type));
    }

    int bound_port(const std::string& endpoint) {
        const std::string bound = add_socket().bind(endpoint);
        return std::stoi(bound.substr(bound.rfind(':') + 1));
    }

    boost::asio::io_context m_io_context;
    std::shared_ptr<core_zmq::context> m_context = std::make_shared<core_zmq::context>();
    asio_zmq::socket m_pull{m_io_context, m_context, ZMQ_PULL};
    asio_zmq::socket m_push{m_io_context, m_context, ZMQ_PUSH};
    std::vector<std::unique_ptr<asio_zmq::socket>> m_sockets;
};

// Frames queued before the receive are drained without new edges. try_receive takes what is queued, the
// rest of a message here, and then reports nothing; try_send reports a frame that no peer can take.
TEST_F(AsioZmqSocketTest, FramesOfAnySizeQueuedBeforeTheReceiveArriveInOrder) {
    frames sent{"first", "", "\0\xff\x01{"s, std::string(1 << 20, 'x')};
    for (int i = 0; i < 3000; ++i) {
        sent.push_back(std::to_string(i));
    }
    EXPECT_TRUE(m_push.try_send(sent[0]));
    for (std::size_t i = 1; i < sent.size(); ++i) {
        m_push.send(sent[i], i + 1 == sent.size());
    }
    m_push.send("tail");
    EXPECT_EQ(receive(sent.size()), sent);
    const auto tail = m_pull.try_receive();
    EXPECT_TRUE(tail && tail->data == "tail" && !tail->more);
    EXPECT_FALSE(m_pull.try_receive());
    auto& lonely = add_socket(ZMQ_PUSH);
    lonely.bind("tcp://127.0.0.1:*");
    EXPECT_FALSE(lonely.try_send("nobody"));
}

TEST_F(AsioZmqSocketTest, CancelAndDestructionCompleteThePendingReceiveAsAborted) {
    auto other = std::make_unique<asio_zmq::socket>(m_io_context, m_context, ZMQ_PULL);
    for (const bool destroy : {false, true}) {
        std::vector<boost::system::error_code> results;
        (destroy ? *other : m_pull)
            .async_receive(
                [&](const boost::system::error_code& ec, core_zmq::message) { results.push_back(ec); });
        m_io_context.poll();
        destroy ? other.reset() : m_pull.cancel();
        results.emplace_back();  // the call has returned: the completion must come after it
        m_io_context.restart();
        m_io_context.poll();
        EXPECT_EQ(results, (decltype(results){{}, boost::asio::error::operation_aborted})) << destroy;
    }
    m_push.send("after cancel");
    EXPECT_EQ(receive(1), frames{"after cancel"});
}

// A failing call still processes the socket's pending commands, taking the descriptor's edge that
// announced a frame; the waiting receive must get the frame all the same.
TEST_F(AsioZmqSocketTest, AFailedCallDoesNotLeaveAWaitingReceiveAsleep) {
    for (const auto& [name, fail] :
         std::vector<std::pair<const char*, std::function<void(asio_zmq::socket&)>>>{
             {"connect", [](asio_zmq::socket& socket) { socket.connect("nonsense://x"); }},
             {"bind", [](asio_zmq::socket& socket) { socket.bind("nonsense://x"); }},
             {"send", [](asio_zmq::socket& socket) { socket.try_send("a PULL socket cannot send"); }}}) {
        boost::asio::io_context io_context;  // drops what a failed round leaves pending
        asio_zmq::socket pull(io_context, m_context, ZMQ_PULL);
        asio_zmq::socket push(io_context, m_context, ZMQ_PUSH);
        const std::string endpoint = "inproc://wake-up-"s + name;
        pull.bind(endpoint);
        push.connect(endpoint);
        frames received;
        pull.async_receive([&](const boost::system::error_code& ec, core_zmq::message frame) {
            EXPECT_FALSE(ec);
            received.push_back(frame.data);
        });
        io_context.poll();   // the receive now waits on the descriptor
        push.send("woken");  // inproc: the edge is raised before send returns
        EXPECT_THROW(fail(pull), boost::system::system_error) << name;
        run_until(io_context, [&] { return !received.empty(); });
        EXPECT_EQ(received, frames{"woken"}) << name;
    }
}

// A taken port is skipped, or refused when it is the whole range; rows without an error number only
// need the ZeroMQ category.
TEST_F(AsioZmqSocketTest, DynamicPortsComeFromTheirRange) {
    for (const auto& endpoint : {"tcp://127.0.0.1:*", "tcp://127.0.0.1:!", "tcp://127.0.0.1:*[-]"}) {
        const int port = bound_port(endpoint);
        EXPECT_TRUE(port >= 49152 && port <= 65535) << endpoint;
    }
    const int taken = bound_port("tcp://127.0.0.1:*[50000-60000]");
    const auto range = "[" + std::to_string(taken) + "-" + std::to_string(taken + 20) + "]";
    for (const auto& mark : {"*", "!"}) {
        const int chosen = bound_port("tcp://127.0.0.1:"s + mark + range);
        EXPECT_TRUE(chosen > taken && chosen <= taken + 20) << mark;
    }
    EXPECT_GT(bound_port("tcp://127.0.0.1:*[" + std::to_string(taken) + "-]"), taken);
    for (const auto& [endpoint, error] : std::vector<std::pair<std::string, int>>{
             {"tcp://256.0.0.1:*", 0},
             {"tcp://127.0.0.1:![" + std::to_string(taken) + "-" + std::to_string(taken) + "]", EADDRINUSE},
             {"tcp://127.0.0.1:*[9-3]", EINVAL},
             {"tcp://127.0.0.1:*[1-2", EINVAL},
             {"tcp://127.0.0.1:![a-]", EINVAL}}) {
        try {
            add_socket().bind(endpoint);
            ADD_FAILURE() << endpoint << " accepted";
        } catch (const boost::system::system_error& e) {
            EXPECT_TRUE(e.code().category().name() == "ZeroMQ"s &&
                        (error == 0 || e.code() == core_zmq::make_zmq_error_code(error)))
                << endpoint << " " << e.code();
        }
    }
}

class ZmqSocketTest : public core::testing::loop_test {
protected:
    std::unique_ptr<core_zmq::socket> m_pull = m_loop->get_zmq().bind(socket_type::pull, "tcp://127.0.0.1:!");
    std::unique_ptr<core_zmq::socket> m_push =
        m_loop->get_zmq().connect(socket_type::push, m_pull->get_bound_endpoint());
    std::vector<frames> m_messages;
};

// The callback takes the rest of "head"'s message with receive_more; the frames of "a"'s message it leaves
// reach it in turn. receive_more after a message's last frame raises and leaves the next message alone.
// Receiving goes on after the callback throws for "boom", and ends with the socket the callback destroys
// for "first" while "second" is queued.
TEST_F(ZmqSocketTest, MessagesArriveWholeAndInOrderUntilTheSocketGoes) {
    m_pull->set_receive_callback([&](const core_zmq::message& frame) {
        frames whole{frame.data};
        for (bool more = frame.more && frame.data == "head"; more;) {
            const auto next = m_pull->receive_more();
            whole.push_back(next.data);
            more = next.more;
        }
        if (whole.size() > 1 || !frame.more) {
            EXPECT_THROW(m_pull->receive_more(), core::exception);
        }
        m_messages.push_back(whole);
        if (frame.data == "boom") {
            throw std::runtime_error("callback failed");
        }
        if (frame.data == "first") {
            m_pull.reset();
        }
    });
    m_push->send("a", core_zmq::flags::sndmore);
    m_push->send("b");
    m_push->send("head", core_zmq::flags::sndmore);
    EXPECT_TRUE(m_push->try_send("body", core_zmq::flags::sndmore));
    EXPECT_TRUE(m_push->try_send("tail"));
    m_push->send("", core_zmq::flags::none);
    m_push->send("boom");
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    m_push->send("first", core_zmq::flags::sndmore);
    m_push->send("second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_pull == nullptr; }));
    poll_ready();
    EXPECT_EQ(m_messages,
              (std::vector<frames>{{"a"}, {"b"}, {"head", "body", "tail"}, {""}, {"boom"}, {"first"}}));
    EXPECT_TRUE(m_push->get_bound_endpoint().empty());
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
        EXPECT_EQ(reply.data, "re: " + std::to_string(replies.size()));
        replies.push_back(reply.data);
        if (replies.size() < turns) {
            answer(request_from_timer, [&, next = std::to_string(replies.size())] { client->send(next); });
        }
    });
    m_loop->get_io_context().poll();
    client->send("0");
    EXPECT_THROW(client->send("out of turn"), boost::system::system_error);
    EXPECT_TRUE(run_until(*m_loop, [&] { return replies.size() == turns; })) << replies.size();
}

INSTANTIATE_TEST_SUITE_P(Answers, ZmqRequestReplyTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

using ZmqLingerTest = core::testing::loop_test;

TEST_F(ZmqLingerTest, FramesForAnAbsentPeerDoNotHoldUpTheLoopsEnd) {
    // The frame lingers for a port that refuses it and that no test running beside this one can bind.
    const core::testing::held_tcp_port held;
    auto queued =
        m_loop->get_zmq().connect(socket_type::push, "tcp://127.0.0.1:" + std::to_string(held.port()));
    EXPECT_TRUE(queued->try_send("waits for a peer that never comes"));
    queued.reset();
    m_loop.reset();  // the context ends once the queued frame's linger has passed
}

// A publisher on a free loopback port; it never drops frames, so bursts reach slow subscribers.
class MessageStreamTest : public core::testing::loop_test {
protected:
    MessageStreamTest() {
        m_publisher.set(zmq::sockopt::sndhwm, 0);
        m_publisher.bind("tcp://127.0.0.1:*");
    }

    void publish(const std::string& frame) { m_publisher.send(zmq::buffer(frame), zmq::send_flags::none); }

    // Publishes probe frames until the stream takes one: then every subscription made before is active.
    void wait_until_connected(core::message_stream& stream, zmq::socket_t& publisher) {
        bool arrived = false;
        auto probe = stream.subscribe("probe", [&](std::string_view) { arrived = true; });
        ASSERT_TRUE(core::testing::publish_until(
            *m_loop, [&] { publisher.send(zmq::str_buffer("#probe {}"), zmq::send_flags::dontwait); },
            [&] { return arrived; }))
            << "the subscriber never connected";
    }

    zmq::context_t m_context;
    zmq::socket_t m_publisher{m_context, zmq::socket_type::pub};
};

// A topic starting with a letter is marked by "#", the JSON starts at the first "{", and the first
// subscribed topic that prefixes a frame takes it. Subscribers of a topic run in order; the second
// destroys the stream on "{2}": the third is not called for it, nor is anyone for "{3}".
TEST_F(MessageStreamTest, FramesReachTheSubscribersOfTheirTopicInOrderUntilTheStreamGoes) {
    auto stream = m_loop->create_zmq_message_stream(m_publisher.get(zmq::sockopt::last_endpoint));
    std::map<std::string, frames> received;
    std::vector<std::unique_ptr<core::message_stream::subscription>> subscriptions;
    for (const char* topic : {"notify", "a", "ab", "1abc", "_x", "user_msg"}) {
        subscriptions.push_back(stream->subscribe(
            topic, [&into = received[topic]](std::string_view m) { into.emplace_back(m); }));
    }
    auto second = stream->subscribe("user_msg", [&](std::string_view m) {
        received["user_msg"].push_back("2:" + std::string(m));
        if (m == "{2}") {
            stream.reset();
        }
    });
    auto third = stream->subscribe(
        "user_msg", [&](std::string_view m) { received["user_msg"].push_back("3:" + std::string(m)); });
    wait_until_connected(*stream, m_publisher);
    publish("#notify {\0\xff}"s);
    for (const auto& frame :
         {"#notify", "notify{\"x\":0}", "#notify {\"x\":1}", "#notifyx{\"x\":2}", "#notify{\"x\":3} tail",
          "#ab {1}", "#a {2}", "#1abc {0}", "1abc {1}", "#_x {2}", "_x {3}", "#user_msg {1}"}) {
        publish(frame);
    }
    ASSERT_TRUE(run_until(*m_loop, [&] { return received["user_msg"].size() == 3; }));
    subscriptions.back().reset();
    publish("#user_msg {2}");
    publish("#user_msg {3}");
    ASSERT_TRUE(run_until(*m_loop, [&] { return stream == nullptr; }));
    poll_ready();
    EXPECT_EQ(received, (std::map<std::string, frames>{
                            {"notify", {"{\0\xff}"s, "{\"x\":1}", "{\"x\":2}", "{\"x\":3} tail"}},
                            {"a", {"{1}", "{2}"}},
                            {"ab", {}},
                            {"1abc", {"{1}"}},
                            {"_x", {"{3}"}},
                            {"user_msg", {"{1}", "2:{1}", "3:{1}", "2:{2}"}}}));
}

// A proxy holds a subscriber back once its own queue of 1,000 frames is full; while the loop is busy the
// stream takes in a burst of 100,000 frames, so the proxy never has to hold it back.
TEST_F(MessageStreamTest, ABurstOfAHundredThousandFramesIsTakenInWhileTheLoopIsBusy) {
    constexpr std::size_t count = 100000;
    zmq::socket_t proxy(m_context, zmq::socket_type::xpub);
    proxy.set(zmq::sockopt::xpub_nodrop, 1);
    proxy.set(zmq::sockopt::sndtimeo, 10000);
    proxy.bind("tcp://127.0.0.1:*");
    auto stream = m_loop->create_zmq_message_stream(proxy.get(zmq::sockopt::last_endpoint));
    frames received;
    auto subscription = stream->subscribe("burst", [&](std::string_view m) { received.emplace_back(m); });
    wait_until_connected(*stream, proxy);
    const std::string padding(200, 'x');
    for (std::size_t i = 0; i < count; ++i) {
        const std::string frame = "#burst {\"n\":" + std::to_string(i) + ",\"pad\":\"" + padding + "\"}";
        ASSERT_TRUE(proxy.send(zmq::buffer(frame), zmq::send_flags::none)) << "held back at frame " << i;
    }
    run_until(*m_loop, [&] { return received.size() == count; });
    ASSERT_EQ(received.size(), count);
    EXPECT_EQ(received.back(), "{\"n\":" + std::to_string(count - 1) + ",\"pad\":\"" + padding + "\"}");
}
