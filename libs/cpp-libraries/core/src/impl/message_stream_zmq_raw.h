#pragma once

#include <boost/asio/io_context.hpp>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/asio_zmq/socket.h"
#include "core/lifetime.h"
#include "core/logger.h"
#include "core/message_stream.h"

namespace ozra::libs::core {

// A SUB socket delivering whole frames to the callbacks of the first subscribed topic (in byte order)
// that is a prefix of the frame.
class message_stream_zmq_raw : public message_stream {
public:
    // Raises boost::system::system_error of the "ZeroMQ" category when the endpoint is rejected.
    message_stream_zmq_raw(boost::asio::io_context& io_context, const component_logger& logger,
                           const std::string& address);

    std::unique_ptr<subscription> subscribe(const std::string& topic, callback callback) override;

private:
    using callbacks = std::map<std::string, std::vector<std::weak_ptr<callback>>>;

    void receive();
    void dispatch(std::string_view frame);
    static void drop_ended(std::vector<std::weak_ptr<callback>>& references);

    callbacks m_callbacks;
    asio_zmq::socket m_socket;
    const component_logger& m_logger;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core
