#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/logger.h"
#include "core/udp/socket.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace udp = ozra::libs::core::udp;
using core::testing::run_until;

namespace {

struct datagram {
    boost::asio::ip::udp::endpoint sender;
    std::string destination;
    std::string bytes;
};

class UdpTest : public ::testing::Test {
protected:
    void collect() {
        m_receiver->set_receive_callback([this](const boost::asio::ip::udp::endpoint& sender,
                                                const boost::asio::ip::address_v4& destination,
                                                std::string_view bytes) {
            EXPECT_EQ(std::this_thread::get_id(), m_test_thread);
            m_datagrams.push_back({sender, destination.to_string(), std::string(bytes)});
        });
    }

    int receiver_port() const { return m_receiver->get_local_endpoint().port(); }

    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    const std::thread::id m_test_thread = std::this_thread::get_id();
    std::unique_ptr<udp::socket> m_receiver = m_loop->create_udp_socket(core::ip_protocol::v4, 0);
    std::unique_ptr<udp::socket> m_sender = m_loop->create_udp_socket("127.0.0.1", 0);
    std::vector<datagram> m_datagrams;
};

TEST_F(UdpTest, DatagramsReportTheSenderAndTheAddressTheyWereSentTo) {
    collect();
    EXPECT_EQ(m_sender->send_to("127.0.0.1", receiver_port(), "to one"), 6u);
    EXPECT_EQ(m_sender->send_to(m_sender->make_endpoint("127.0.0.2", receiver_port()), "to two"), 6u);
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_datagrams.size() == 2; }));
    EXPECT_EQ(m_datagrams[0].bytes, "to one");
    EXPECT_EQ(m_datagrams[0].destination, "127.0.0.1");
    EXPECT_EQ(m_datagrams[1].bytes, "to two");
    EXPECT_EQ(m_datagrams[1].destination, "127.0.0.2");
    EXPECT_EQ(m_datagrams[0].sender, m_sender->get_local_endpoint());
}

TEST_F(UdpTest, LargeAndBinaryDatagramsArriveWhole) {
    collect();
    std::string large(60000, 'x');
    large[0] = '\0';
    large[59999] = '\xff';
    m_sender->send_to("127.0.0.1", receiver_port(), large);
    m_sender->send_to("127.0.0.1", receiver_port(), std::string("\0\0", 2));
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_datagrams.size() == 2; }));
    EXPECT_TRUE(m_datagrams[0].bytes == large);
    EXPECT_EQ(m_datagrams[1].bytes, std::string("\0\0", 2));
}

TEST_F(UdpTest, ReceivingGoesOnAfterACallbackThrows) {
    std::vector<std::string> seen;
    m_receiver->set_receive_callback([&](const boost::asio::ip::udp::endpoint&,
                                         const boost::asio::ip::address_v4&, std::string_view bytes) {
        seen.emplace_back(bytes);
        if (seen.size() == 1) {
            throw std::runtime_error("callback failed");
        }
    });
    m_sender->send_to("127.0.0.1", receiver_port(), "first");
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    m_sender->send_to("127.0.0.1", receiver_port(), "second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
}

TEST_F(UdpTest, DestroyedSocketIgnoresLateCompletions) {
    int calls = 0;
    m_receiver->set_receive_callback(
        [&](const boost::asio::ip::udp::endpoint&, const boost::asio::ip::address_v4&, std::string_view) {
            ++calls;
            m_receiver.reset();
        });
    const int port = receiver_port();
    m_sender->send_to("127.0.0.1", port, "one");
    m_sender->send_to("127.0.0.1", port, "two");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_receiver == nullptr; }));
    m_sender.reset();
    m_loop->get_io_context().restart();
    m_loop->run();
    EXPECT_EQ(calls, 1);
}

TEST_F(UdpTest, BadAddressesRaise) {
    EXPECT_THROW(m_sender->make_endpoint("not an address", 1), boost::system::system_error);
    EXPECT_THROW(m_loop->create_udp_socket("127.0.0.1", m_sender->get_local_endpoint().port()),
                 boost::system::system_error);
}

}  // namespace
