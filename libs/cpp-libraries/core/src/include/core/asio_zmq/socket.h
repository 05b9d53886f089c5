#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/zmq/context.h"
#include "core/zmq/message.h"

namespace ozra::libs::core::asio_zmq {

// A libzmq socket whose receives complete on an io_context. Errors are of the "ZeroMQ" category
// and are raised as boost::system::system_error.
class socket {
public:
    using receive_handler = std::function<void(const boost::system::error_code& ec, zmq::message frame)>;

    // type is a libzmq socket type such as ZMQ_SUB.
    socket(boost::asio::io_context& io_context, std::shared_ptr<zmq::context> context, int type);
    // Cancels a pending receive.
    ~socket();
    socket(const socket&) = delete;
    socket& operator=(const socket&) = delete;

    void connect(const std::string& endpoint);
    // Returns the endpoint actually bound. A TCP port of "*" or "!", optionally followed by
    // "[first-last]", is the first free port of that range (49152-65535 by default), tried in
    // ascending order from the first port or from a random one.
    std::string bind(const std::string& endpoint);
    void subscribe(std::string_view prefix);
    // How long closing waits for queued frames to leave before the context can end.
    void set_linger(std::chrono::milliseconds linger);
    // How many received frames may wait to be taken before the peers are held back; set before connecting.
    void set_receive_queue(int frames);

    // Receives one frame; one receive may be pending at a time. The handler never runs inside this call.
    void async_receive(receive_handler handler);
    // Completes a pending receive with boost::asio::error::operation_aborted.
    void cancel();
    // Receives a frame that is already queued, without waiting.
    std::optional<zmq::message> try_receive();

    // Blocks until the frame is queued; more marks further frames of the same message.
    void send(std::string_view frame, bool more = false);
    // Returns false when the frame cannot be queued at once.
    bool try_send(std::string_view frame, bool more = false);

private:
    struct state;
    bool try_send_with_flags(std::string_view frame, int flags);
    bool try_bind(const std::string& endpoint);
    std::string last_endpoint() const;

    std::unique_ptr<state> m_state;
};

}  // namespace ozra::libs::core::asio_zmq
