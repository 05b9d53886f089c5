#include <zmq.h>
#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <utility>

#include "core/asio_zmq/socket.h"
#include "core/zmq/error.h"
#include "test_support.h"

namespace asio_zmq = ozra::libs::core::asio_zmq;
namespace core_zmq = ozra::libs::core::zmq;
using ozra::libs::core::testing::run_until;
using namespace std::string_literals;
using error_codes = std::vector<boost::system::error_code>;

namespace {

class AsioZmqSocketTest : public ::testing::Test {
protected:
    AsioZmqSocketTest() { m_push.connect(m_pull.bind("tcp://127.0.0.1:*")); }

    // Receives frames until `count` have arrived or a generous deadline passed.
    std::vector<std::string> receive(std::size_t count) {
        std::vector<std::string> frames;
        asio_zmq::socket::receive_handler on_frame = [&](const boost::system::error_code& ec,
                                                         core_zmq::message frame) {
            if (ec == boost::asio::error::operation_aborted) {
                return;
            }
            ASSERT_FALSE(ec) << ec.message();
            frames.push_back(std::move(frame.data));
            if (frames.size() < count) {
                m_pull.async_receive(on_frame);
            }
        };
        m_pull.async_receive(on_frame);
        run_until(m_io_context, [&] { return frames.size() == count; });
        m_pull.cancel();
        return frames;
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
    std::vector<std::string> sent{"first", "", "\0\xff\x01{"s, std::string(1 << 20, 'x')};
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
    ASSERT_TRUE(tail);
    EXPECT_TRUE(tail->data == "tail" && !tail->more);
    EXPECT_FALSE(m_pull.try_receive());
    auto& lonely = add_socket(ZMQ_PUSH);
    lonely.bind("tcp://127.0.0.1:*");
    EXPECT_FALSE(lonely.try_send("nobody"));
}

TEST_F(AsioZmqSocketTest, CancelAndDestructionCompleteThePendingReceiveAsAborted) {
    auto other = std::make_unique<asio_zmq::socket>(m_io_context, m_context, ZMQ_PULL);
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroy" : "cancel");
        error_codes results;
        (destroy ? *other : m_pull)
            .async_receive(
                [&](const boost::system::error_code& ec, core_zmq::message) { results.push_back(ec); });
        m_io_context.poll();
        destroy ? other.reset() : m_pull.cancel();
        EXPECT_TRUE(results.empty());  // never inside the call
        m_io_context.restart();
        m_io_context.poll();
        EXPECT_EQ(results, error_codes{boost::asio::error::operation_aborted});
    }
    m_push.send("after cancel");
    EXPECT_EQ(receive(1), std::vector<std::string>{"after cancel"});
}

// A failing call still processes the socket's pending commands, taking the descriptor's edge that
// announced a frame; the waiting receive must get the frame all the same.
TEST_F(AsioZmqSocketTest, AFailedCallDoesNotLeaveAWaitingReceiveAsleep) {
    const std::vector<std::pair<const char*, std::function<void(asio_zmq::socket&)>>> failing_calls{
        {"connect", [](asio_zmq::socket& socket) { socket.connect("nonsense://x"); }},
        {"bind", [](asio_zmq::socket& socket) { socket.bind("nonsense://x"); }},
        {"send", [](asio_zmq::socket& socket) { socket.try_send("a PULL socket cannot send"); }},
    };
    for (const auto& [name, fail] : failing_calls) {
        SCOPED_TRACE(name);
        boost::asio::io_context io_context;  // drops what a failed round leaves pending
        asio_zmq::socket pull(io_context, m_context, ZMQ_PULL);
        asio_zmq::socket push(io_context, m_context, ZMQ_PUSH);
        const std::string endpoint = "inproc://wake-up-"s + name;
        pull.bind(endpoint);
        push.connect(endpoint);
        std::vector<std::string> frames;
        pull.async_receive([&](const boost::system::error_code& ec, core_zmq::message frame) {
            EXPECT_FALSE(ec);
            frames.push_back(frame.data);
        });
        io_context.poll();   // the receive now waits on the descriptor
        push.send("woken");  // inproc: the edge is raised before send returns
        EXPECT_THROW(fail(pull), boost::system::system_error);
        EXPECT_TRUE(run_until(io_context, [&] { return !frames.empty(); }));
        EXPECT_EQ(frames, std::vector<std::string>{"woken"});
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
             {"tcp://127.0.0.1:*[70000-]", EINVAL},
             {"tcp://127.0.0.1:![0-10]", EINVAL},
             {"tcp://127.0.0.1:*[1-2", EINVAL},
             {"tcp://127.0.0.1:*[12]", EINVAL},
             {"tcp://127.0.0.1:![a-]", EINVAL}}) {
        SCOPED_TRACE(endpoint);
        try {
            add_socket().bind(endpoint);
            ADD_FAILURE() << "accepted";
        } catch (const boost::system::system_error& e) {
            EXPECT_STREQ(e.code().category().name(), "ZeroMQ");
            EXPECT_TRUE(error == 0 || e.code() == core_zmq::make_zmq_error_code(error)) << e.code();
        }
    }
}

}  // namespace
