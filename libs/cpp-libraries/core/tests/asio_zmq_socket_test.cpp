#include <gtest/gtest.h>

#include <zmq.h>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/system_error.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/asio_zmq/socket.h"
#include "run_until.h"

namespace asio_zmq = ozra::libs::core::asio_zmq;
namespace zmq = ozra::libs::core::zmq;
using namespace std::string_literals;

namespace {

class AsioZmqSocketTest : public ::testing::Test {
protected:
    AsioZmqSocketTest() { m_push.connect(m_pull.bind("tcp://127.0.0.1:*")); }

    // Receives frames until `count` have arrived, failing after a generous deadline.
    std::vector<std::string> receive(std::size_t count) {
        std::vector<std::string> frames;
        std::function<void(const boost::system::error_code&, std::string)> on_frame =
            [&](const boost::system::error_code& ec, std::string frame) {
                if (ec == boost::asio::error::operation_aborted) {
                    return;
                }
                ASSERT_FALSE(ec) << ec.message();
                frames.push_back(std::move(frame));
                if (frames.size() < count) {
                    m_pull.async_receive(on_frame);
                }
            };
        m_pull.async_receive(on_frame);
        ozra::libs::core::testing::run_until(m_io_context, [&] { return frames.size() == count; });
        m_pull.cancel();
        return frames;
    }

    boost::asio::io_context m_io_context;
    std::shared_ptr<zmq::context> m_context = std::make_shared<zmq::context>();
    asio_zmq::socket m_pull{m_io_context, m_context, ZMQ_PULL};
    asio_zmq::socket m_push{m_io_context, m_context, ZMQ_PUSH};
};

TEST_F(AsioZmqSocketTest, FramesOfAnySizeArriveInOrder) {
    const std::vector<std::string> sent{"first", "",    "\0\xff\x01{"s, std::string(1 << 20, 'x'),
                                        "more",  "last"};
    for (const auto& frame : sent) {
        if (frame == "more") {
            m_push.send(frame, true);
        } else {
            EXPECT_TRUE(m_push.try_send(frame));
        }
    }
    EXPECT_EQ(receive(sent.size()), sent);
}

TEST_F(AsioZmqSocketTest, FramesQueuedBeforeTheReceiveAreDrainedWithoutNewEdges) {
    constexpr int count = 3000;
    std::vector<std::string> sent;
    for (int i = 0; i < count; ++i) {
        sent.push_back(std::to_string(i));
        m_push.send(sent.back());
    }
    EXPECT_EQ(receive(count), sent);
}

TEST_F(AsioZmqSocketTest, CancelCompletesThePendingReceiveAsAbortedAndLaterReceivesWork) {
    std::vector<boost::system::error_code> results;
    m_pull.async_receive([&](const boost::system::error_code& ec, std::string) { results.push_back(ec); });
    m_io_context.poll();
    m_pull.cancel();
    EXPECT_TRUE(results.empty());  // never inside cancel()
    m_io_context.restart();
    m_io_context.poll();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], boost::asio::error::operation_aborted);
    m_push.send("after cancel");
    EXPECT_EQ(receive(1), std::vector<std::string>{"after cancel"});
}

TEST_F(AsioZmqSocketTest, DestroyingTheSocketAbortsItsPendingReceive) {
    auto socket = std::make_unique<asio_zmq::socket>(m_io_context, m_context, ZMQ_PULL);
    socket->bind("tcp://127.0.0.1:*");
    std::vector<boost::system::error_code> results;
    socket->async_receive([&](const boost::system::error_code& ec, std::string) { results.push_back(ec); });
    m_io_context.poll();
    socket.reset();
    m_io_context.restart();
    m_io_context.poll();
    EXPECT_EQ(results, std::vector<boost::system::error_code>{boost::asio::error::operation_aborted});
}

TEST_F(AsioZmqSocketTest, TrySendReturnsFalseWhenNoPeerCanTakeTheFrame) {
    asio_zmq::socket lonely(m_io_context, m_context, ZMQ_PUSH);
    lonely.bind("tcp://127.0.0.1:*");
    EXPECT_FALSE(lonely.try_send("nobody"));
}

TEST_F(AsioZmqSocketTest, RejectedEndpointsRaiseZeroMqErrors) {
    asio_zmq::socket socket(m_io_context, m_context, ZMQ_SUB);
    for (const auto& endpoint : {"nonsense://x", "tcp://", "tcp://127.0.0.1"}) {
        try {
            socket.connect(endpoint);
            ADD_FAILURE() << endpoint << " was accepted";
        } catch (const boost::system::system_error& e) {
            EXPECT_STREQ(e.code().category().name(), "ZeroMQ") << endpoint;
        }
    }
    EXPECT_THROW(socket.bind("tcp://256.0.0.1:*"), boost::system::system_error);
}

}  // namespace
