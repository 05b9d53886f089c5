#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/core.h"
#include "core/logger.h"
#include "core/tcp/manager.h"
#include "test_support.h"

namespace core = ozra::libs::core;
namespace tcp = ozra::libs::core::tcp;
using core::testing::run_until;

namespace {

class TcpTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_acceptor = m_loop->get_tcp().listen("127.0.0.1", 0);
        m_acceptor->set_callback(
            [this](std::unique_ptr<tcp::socket> accepted) { m_accepted = std::move(accepted); });
        m_client = m_loop->get_tcp().connect("127.0.0.1", m_acceptor->get_local_endpoint().port());
        ASSERT_TRUE(run_until(*m_loop, [this] { return m_accepted != nullptr; }));
    }

    // Collects what the accepted side receives.
    void collect_on_server() {
        m_accepted->set_receive_callback([this](std::string_view bytes) {
            EXPECT_EQ(std::this_thread::get_id(), m_test_thread);
            m_largest_chunk = std::max(m_largest_chunk, bytes.size());
            m_received.append(bytes);
        });
    }

    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
    const std::thread::id m_test_thread = std::this_thread::get_id();
    std::unique_ptr<tcp::acceptor> m_acceptor;
    std::unique_ptr<tcp::socket> m_accepted;
    std::unique_ptr<tcp::socket> m_client;
    std::string m_received;
    std::size_t m_largest_chunk = 0;
};

TEST_F(TcpTest, BytesTravelBothWays) {
    collect_on_server();
    std::string answer;
    m_client->set_receive_callback([&](std::string_view bytes) { answer.append(bytes); });
    EXPECT_EQ(m_client->send_some(std::string("hello\0world", 11)), 11u);
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_received.size() == 11; }));
    EXPECT_EQ(m_received, std::string("hello\0world", 11));
    EXPECT_EQ(m_accepted->send_some("back"), 4u);
    ASSERT_TRUE(run_until(*m_loop, [&] { return answer == "back"; }));
    EXPECT_EQ(m_client->get_remote_endpoint().port(), m_acceptor->get_local_endpoint().port());
    EXPECT_EQ(m_accepted->get_remote_endpoint().address().to_string(), "127.0.0.1");
}

TEST_F(TcpTest, PeerClosingCallsTheCloseCallbackOnce) {
    collect_on_server();
    int closes = 0;
    m_accepted->set_close_callback([&] { ++closes; });
    m_client->send_some("last words");
    m_client.reset();
    ASSERT_TRUE(run_until(*m_loop, [&] { return closes == 1; }));
    EXPECT_EQ(m_received, "last words");
    m_loop->post([] {});
    m_loop->get_io_context().restart();
    m_loop->get_io_context().poll();
    EXPECT_EQ(closes, 1);
}

TEST_F(TcpTest, LargeTransferUsesPartialSendsAndChunksOfAtMostTheBuffer) {
    collect_on_server();
    std::string payload(24 * 1024 * 1024, '\0');
    for (std::size_t index = 0; index < payload.size(); ++index) {
        payload[index] = static_cast<char>(index * 7 + index / 65536);
    }
    std::size_t offset = 0;
    int can_send_calls = 0;
    const auto send_more = [&] {
        while (offset < payload.size()) {
            const std::string_view rest(payload.data() + offset, payload.size() - offset);
            const std::size_t sent = m_client->send_some(rest);
            offset += sent;
            if (sent < rest.size()) {
                m_client->notify_that_send_is_possible();
                return;
            }
        }
    };
    m_client->set_can_send_callback([&] {
        ++can_send_calls;
        send_more();
    });
    send_more();
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_received.size() == payload.size(); }));
    EXPECT_TRUE(m_received == payload);
    EXPECT_LE(m_largest_chunk, 65536u);
    EXPECT_GT(can_send_calls, 0);
}

TEST_F(TcpTest, ReceivingGoesOnAfterACallbackThrows) {
    m_accepted->set_receive_callback([&](std::string_view bytes) {
        m_received.append(bytes);
        if (m_received == "first") {
            throw std::runtime_error("callback failed");
        }
    });
    m_client->send_some("first");
    EXPECT_THROW(run_until(*m_loop, [] { return false; }), std::runtime_error);
    m_client->send_some("second");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_received == "firstsecond"; }));
}

TEST_F(TcpTest, DestroyedSocketsAndAcceptorsIgnoreLateCompletions) {
    bool called = false;
    m_accepted->set_receive_callback([&](std::string_view) { called = true; });
    m_accepted->set_close_callback([&] { called = true; });
    m_accepted->notify_that_send_is_possible();
    m_accepted.reset();
    m_acceptor.reset();
    m_client->send_some("anyone?");
    m_client.reset();
    m_loop->get_io_context().restart();
    m_loop->run();
    EXPECT_FALSE(called);
}

TEST_F(TcpTest, SocketDestroyedByItsOwnCallback) {
    int calls = 0;
    m_accepted->set_receive_callback([&](std::string_view) {
        ++calls;
        m_accepted.reset();
    });
    m_client->send_some("one");
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_accepted == nullptr; }));
    m_client->send_some("two");
    m_client.reset();
    m_acceptor.reset();
    m_loop->get_io_context().restart();
    m_loop->run();
    EXPECT_EQ(calls, 1);
}

TEST(TcpManagerTest, ListenOnEveryAddressAndRefusedConnect) {
    core::logger logger{"varnokd", "test"};
    auto core = core::core::create(logger);
    auto loop = core->create_events_loop("main");
    auto acceptor = loop->get_tcp().listen(core::ip_protocol::v4, 0);
    const int port = acceptor->get_local_endpoint().port();
    std::unique_ptr<tcp::socket> accepted;
    acceptor->set_callback([&](std::unique_ptr<tcp::socket> socket) { accepted = std::move(socket); });
    auto client = loop->get_tcp().connect("127.0.0.1", port);
    ASSERT_TRUE(run_until(*loop, [&] { return accepted != nullptr; }));
    acceptor.reset();
    try {
        loop->get_tcp().connect("127.0.0.1", port);
        ADD_FAILURE() << "connected to a closed port";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(e.code(), boost::asio::error::connection_refused);
    }
    EXPECT_THROW(loop->get_tcp().connect("localhost", port), boost::system::system_error);
}

}  // namespace
