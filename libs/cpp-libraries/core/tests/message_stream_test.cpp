#include <map>

#include "test_support.h"

namespace core = ozra::libs::core;
using namespace std::string_literals;
using core::testing::run_until;
using frames = std::vector<std::string>;

namespace {

// A publisher on a free loopback port; it never drops frames, so bursts reach slow subscribers.
class MessageStreamTest : public core::testing::loop_test {
protected:
    MessageStreamTest() {
        m_publisher.set(zmq::sockopt::sndhwm, 0);
        m_publisher.bind("tcp://127.0.0.1:*");
        m_endpoint = m_publisher.get(zmq::sockopt::last_endpoint);
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

    static core::message_stream::callback record(frames& into) {
        return [&into](std::string_view frame) { into.emplace_back(frame); };
    }

    zmq::context_t m_context;
    zmq::socket_t m_publisher{m_context, zmq::socket_type::pub};
    std::string m_endpoint;
};

// A topic starting with a letter is marked by "#", the JSON starts at the first "{", and the first
// subscribed topic that prefixes a frame takes it.
TEST_F(MessageStreamTest, FramesReachTheFirstMatchingTopicWithTheirJson) {
    auto stream = m_loop->create_zmq_message_stream(m_endpoint);
    std::map<std::string, frames> received;
    std::vector<std::unique_ptr<core::message_stream::subscription>> subscriptions;
    for (const char* topic : {"notify", "a", "ab", "1abc", "_x"}) {
        subscriptions.push_back(stream->subscribe(topic, record(received[topic])));
    }
    wait_until_connected(*stream, m_publisher);
    publish("#notify {\0\xff}"s);
    for (const auto& frame :
         {"#notify", "notify{\"x\":0}", "#notify {\"x\":1}", "#notifyx{\"x\":2}", "#notify{\"x\":3} tail",
          "#ab {1}", "#a {2}", "#1abc {0}", "1abc {1}", "#_x {2}", "_x {3}"}) {
        publish(frame);
    }
    ASSERT_TRUE(run_until(*m_loop, [&] { return !received["_x"].empty(); }));
    EXPECT_EQ(received, (std::map<std::string, frames>{
                            {"notify", {"{\0\xff}"s, "{\"x\":1}", "{\"x\":2}", "{\"x\":3} tail"}},
                            {"a", {"{1}", "{2}"}},
                            {"ab", {}},
                            {"1abc", {"{1}"}},
                            {"_x", {"{3}"}}}));
}

// The second subscriber destroys the stream on "{2}": the third is not called for it, nor is anyone for
// "{3}".
TEST_F(MessageStreamTest, SubscribersOfATopicRunInOrderUntilTheirSubscriptionOrTheStreamGoes) {
    auto stream = m_loop->create_zmq_message_stream(m_endpoint);
    frames calls;
    const auto calling = [&](const std::string& name) {
        return [&calls, name](std::string_view m) { calls.push_back(name + ":" + std::string(m)); };
    };
    auto first = stream->subscribe("user_msg", calling("1"));
    auto second = stream->subscribe("user_msg", [&](std::string_view m) {
        calling("2")(m);
        if (m == "{2}") {
            stream.reset();
        }
    });
    auto third = stream->subscribe("user_msg", calling("3"));
    wait_until_connected(*stream, m_publisher);
    publish("#user_msg {1}");
    ASSERT_TRUE(run_until(*m_loop, [&] { return calls.size() == 3; }));
    first.reset();
    publish("#user_msg {2}");
    publish("#user_msg {3}");
    ASSERT_TRUE(run_until(*m_loop, [&] { return stream == nullptr; }));
    m_loop->get_io_context().restart();
    m_loop->get_io_context().poll();
    EXPECT_EQ(calls, (frames{"1:{1}", "2:{1}", "3:{1}", "2:{2}"}));
}

// A proxy holds a subscriber back once its own queue of 1,000 frames is full; while the loop is busy the
// stream takes in a burst of 100,000 frames, so the proxy never has to hold it back.
TEST_F(MessageStreamTest, ABurstOfAHundredThousandFramesIsTakenInWhileTheLoopIsBusy) {
    constexpr int count = 100000;
    zmq::socket_t proxy(m_context, zmq::socket_type::xpub);
    proxy.set(zmq::sockopt::xpub_nodrop, 1);
    proxy.set(zmq::sockopt::sndtimeo, 10000);
    proxy.bind("tcp://127.0.0.1:*");
    auto stream = m_loop->create_zmq_message_stream(proxy.get(zmq::sockopt::last_endpoint));
    int received = 0;
    std::string last;
    auto subscription = stream->subscribe("burst", [&](std::string_view frame) {
        ++received;
        last = frame;
    });
    wait_until_connected(*stream, proxy);
    const std::string padding(200, 'x');
    for (int i = 0; i < count; ++i) {
        const std::string frame = "#burst {\"n\":" + std::to_string(i) + ",\"pad\":\"" + padding + "\"}";
        ASSERT_TRUE(proxy.send(zmq::buffer(frame), zmq::send_flags::none)) << "held back at frame " << i;
    }
    run_until(*m_loop, [&] { return received == count; });
    EXPECT_EQ(received, count);
    EXPECT_EQ(last, "{\"n\":" + std::to_string(count - 1) + ",\"pad\":\"" + padding + "\"}");
}

}  // namespace
