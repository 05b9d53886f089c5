#pragma once

#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>

#include "core/logger.h"
#include "core/message_stream.h"
#include "message_stream_zmq_raw.h"

namespace ozra::libs::core {

// Frames of topic T are "#", T, then bytes without "{", then the JSON text delivered to the callbacks.
class message_stream_zmq : public message_stream {
public:
    message_stream_zmq(boost::asio::io_context& io_context, const component_logger& logger,
                       const std::string& address);

    // A topic starting with an ASCII letter is matched with the "#" marker before it.
    std::unique_ptr<subscription> subscribe(const std::string& topic, callback callback) override;

private:
    message_stream_zmq_raw m_stream_zmq_raw;
};

}  // namespace ozra::libs::core
