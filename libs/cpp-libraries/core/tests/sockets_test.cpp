#include <algorithm>

#include "core/tcp/manager.h"
#include "core/udp/socket.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace tcp = ozra::libs::core::tcp;
using core::testing::run_until;

class TcpTest : public core::testing::loop_test {
protected:
    void SetUp() override {
        m_acceptor = m_loop->get_tcp().listen("127.0.0.1", 0);
        m_acceptor->set_callback(
            [this](std::unique_ptr<tcp::socket> accepted) { m_accepted = std::move(accepted); });
        m_client = m_loop->get_tcp().connect("127.0.0.1", m_acceptor->get_local_endpoint().port());
        ASSERT_TRUE(run_until(*m_loop, [this] { return m_accepted != nullptr; }));
        m_accepted->set_receive_callback([this](std::string_view bytes) {
            m_largest_chunk = std::max(m_largest_chunk, bytes.size());
            m_received.append(bytes);
        });
    }

    std::unique_ptr<tcp::acceptor> m_acceptor;
    std::unique_ptr<tcp::socket> m_accepted;
    std::unique_ptr<tcp::socket> m_client;
    std::string m_received;
    std::size_t m_largest_chunk = 0;
};

TEST_F(TcpTest, BytesTravelBothWaysUntilThePeerCloses) {
    std::string answer;
    m_client->set_receive_callback([&](std::string_view bytes) { answer.append(bytes); });
    int closes = 0;
    m_accepted->set_close_callback([&] { ++closes; });
    EXPECT_EQ(m_client->send_some(std::string("hello\0world", 11)), 11u);
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_received.size() == 11; }));
    EXPECT_EQ(m_accepted->send_some("back"), 4u);
    ASSERT_TRUE(run_until(*m_loop, [&] { return answer == "back"; }));
    EXPECT_EQ(m_client->get_remote_endpoint().port(), m_acceptor->get_local_endpoint().port());
    m_client->send_some(" last words");
    m_client.reset();
    ASSERT_TRUE(run_until(*m_loop, [&] { return closes == 1; }));
    EXPECT_EQ(m_received, std::string("hello\0world last words", 22));
    poll_ready();
    EXPECT_EQ(closes, 1);
}

TEST_F(TcpTest, LargeTransferUsesPartialSendsAndChunksOfAtMostTheBuffer) {
    std::string payload(24 * 1024 * 1024, '\0');
    for (std::size_t index = 0; index < payload.size(); ++index) {
        payload[index] = static_cast<char>(index * 7 + index / 65536);
    }
    std::size_t offset = 0;
    int send_calls = 0;
    const auto send_more = [&] {
        ++send_calls;
        offset += m_client->send_some(std::string_view(payload).substr(offset));
        if (offset < payload.size()) {
            m_client->notify_that_send_is_possible();
        }
    };
    m_client->set_can_send_callback(send_more);
    send_more();
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_received.size() == payload.size(); }));
    EXPECT_TRUE(m_received == payload);
    EXPECT_LE(m_largest_chunk, 65536u);
    EXPECT_GT(send_calls, 1);  // the can-send callback resumed it
}

// A callback that throws leaves receiving on; a socket destroyed by its own callback, with a wait for
// sending pending, and an acceptor destroyed with its accept pending call nothing more.
TEST_F(TcpTest, ReceivingGoesOnAfterACallbackThrowsAndEndsWithTheSocket) {
    int calls = 0;
    m_accepted->set_receive_callback([&](std::string_view bytes) {
        m_received.append(bytes);
        if (++calls == 1) {
            throw std::runtime_error("callback failed");
        }
        m_accepted.reset();
    });
    m_accepted->set_close_callback([&] { ++calls; });
    m_accepted->notify_that_send_is_possible();
    m_client->send_some("first");
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    m_client->send_some("second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_accepted == nullptr; }));
    m_client->send_some("third");
    m_client.reset();
    m_acceptor.reset();
    poll_ready();
    EXPECT_EQ(m_received, "firstsecond");
    EXPECT_EQ(calls, 2);
}

using UdpTest = core::testing::loop_test;

// The receiver listens on every address; a callback that throws leaves receiving on, one that destroys its
// socket ends it.
TEST_F(UdpTest, DatagramsArriveWholeWithTheirSenderAndTheAddressTheyWereSentTo) {
    auto receiver = m_loop->create_udp_socket(core::ip_protocol::v4, 0);
    const int port = receiver->get_local_endpoint().port();
    auto sender = m_loop->create_udp_socket("127.0.0.1", 0);
    const auto sent_from = sender->get_local_endpoint();
    const auto describe = [](const boost::asio::ip::udp::endpoint& from, const std::string& to,
                             std::string_view bytes) {
        return from.address().to_string() + ":" + std::to_string(from.port()) + " > " + to + " " +
               std::string(bytes);
    };
    std::vector<std::string> datagrams;
    receiver->set_receive_callback([&](const boost::asio::ip::udp::endpoint& from,
                                       const boost::asio::ip::address_v4& destination,
                                       std::string_view bytes) {
        datagrams.push_back(describe(from, destination.to_string(), bytes));
        if (datagrams.size() == 1) {
            throw std::runtime_error("callback failed");
        }
        receiver.reset();
    });
    const std::string large = '\0' + std::string(59998, 'x') + '\xff';
    EXPECT_EQ(sender->send_to("127.0.0.1", port, large), large.size());
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    EXPECT_EQ(sender->send_to(sender->make_endpoint("127.0.0.2", port), std::string("\0\0", 2)), 2u);
    sender->send_to("127.0.0.1", port, "after the end");
    ASSERT_TRUE(run_until(*m_loop, [&] { return receiver == nullptr; }));
    sender.reset();
    poll_ready();
    EXPECT_TRUE(datagrams ==
                (std::vector<std::string>{describe(sent_from, "127.0.0.1", large),
                                          describe(sent_from, "127.0.0.2", std::string("\0\0", 2))}));
}
