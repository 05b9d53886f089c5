#include "message_stream_zmq_raw.h"

#include <zmq.h>
#include <boost/asio/error.hpp>

#include <algorithm>

namespace ozra::libs::core {

namespace {

// Frames that wait while the loop is busy elsewhere: a burst of replies or notifications must not be lost.
constexpr int receive_queue_frames = 100000;

class subscription_impl : public message_stream::subscription {
public:
    explicit subscription_impl(std::shared_ptr<message_stream::callback> callback)
        : m_callback(std::move(callback)) {}

private:
    std::shared_ptr<message_stream::callback> m_callback;
};

}  // namespace

message_stream_zmq_raw::message_stream_zmq_raw(boost::asio::io_context& io_context,
                                               const component_logger& logger, const std::string& address)
    : m_socket(io_context, std::make_shared<zmq::context>(), ZMQ_SUB), m_logger(logger) {
    m_socket.set_receive_queue(receive_queue_frames);
    m_socket.connect(address);
    receive();
}

std::unique_ptr<message_stream::subscription> message_stream_zmq_raw::subscribe(const std::string& topic,
                                                                                callback callback) {
    auto entry = m_callbacks.find(topic);
    if (entry == m_callbacks.end()) {
        // Recorded only once the filter is set, so a failed subscription is tried again next time.
        m_socket.subscribe(topic);
        entry = m_callbacks.try_emplace(topic).first;
    }
    // Ended subscriptions are dropped here too, so that they do not pile up while no frame arrives.
    drop_ended(entry->second);
    auto shared_callback = std::make_shared<message_stream::callback>(std::move(callback));
    entry->second.push_back(shared_callback);
    return std::make_unique<subscription_impl>(std::move(shared_callback));
}

void message_stream_zmq_raw::receive() {
    m_socket.async_receive(m_lifetime.guard([this](const boost::system::error_code& ec, zmq::message frame) {
        if (ec == boost::asio::error::operation_aborted) {
            return;
        }
        if (ec) {
            m_logger.log_error(ec, OZRA_SOURCE_LOCATION);
            return;
        }
        receive();
        dispatch(frame.data);
    }));
}

void message_stream_zmq_raw::dispatch(std::string_view frame) {
    const auto matching = std::find_if(m_callbacks.begin(), m_callbacks.end(), [frame](const auto& entry) {
        return frame.substr(0, entry.first.size()) == entry.first;
    });
    if (matching == m_callbacks.end()) {
        return;
    }
    // A callback may destroy the stream.
    const auto alive = m_lifetime.track();
    auto& references = matching->second;
    for (std::size_t i = 0; i < references.size(); ++i) {
        if (const auto callback = references[i].lock()) {
            (*callback)(frame);
            if (alive.expired()) {
                return;
            }
        }
    }
    drop_ended(references);
}

void message_stream_zmq_raw::drop_ended(std::vector<std::weak_ptr<callback>>& references) {
    references.erase(std::remove_if(references.begin(), references.end(),
                                    [](const auto& reference) { return reference.expired(); }),
                     references.end());
}

}  // namespace ozra::libs::core
