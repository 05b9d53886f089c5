#include "message_stream_zmq.h"

#include <string_view>

namespace ozra::libs::core {

namespace {

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

message_stream_zmq::message_stream_zmq(boost::asio::io_context& io_context, const component_logger& logger,
                                       const std::string& address)
    : m_stream_zmq_raw(io_context, logger, address) {}

std::unique_ptr<message_stream::subscription> message_stream_zmq::subscribe(const std::string& topic,
                                                                            callback callback) {
    const bool is_marked = !topic.empty() && is_ascii_letter(topic.front());
    return m_stream_zmq_raw.subscribe(is_marked ? "#" + topic : topic,
                                      [callback = std::move(callback)](std::string_view frame) {
                                          const auto json_start = frame.find('{');
                                          if (json_start != std::string_view::npos) {
                                              callback(frame.substr(json_start));
                                          }
                                      });
}

}  // namespace ozra::libs::core
