#include "core/asio_zmq/socket.h"

#include <zmq.h>
#include <boost/asio/error.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <random>
#include <utility>

#include "core/exception.h"
#include "core/zmq/error.h"
#include "dynamic_port.h"

namespace ozra::libs::core::asio_zmq {

namespace {

void* open_socket(const zmq::context& context, int type) {
    void* handle = zmq_socket(context.handle(), type);
    if (handle == nullptr) {
        zmq::throw_last_zmq_error("zmq_socket");
    }
    return handle;
}

int socket_fd(void* handle) {
    int fd = -1;
    std::size_t size = sizeof(fd);
    if (zmq_getsockopt(handle, ZMQ_FD, &fd, &size) != 0) {
        const auto error = zmq::last_zmq_error();
        zmq_close(handle);
        throw boost::system::system_error(error, "zmq_getsockopt(ZMQ_FD)");
    }
    return fd;
}

// Whether a frame can be received now; also processes the socket's pending commands.
bool can_receive(void* handle, boost::system::error_code& ec) {
    int events = 0;
    std::size_t size = sizeof(events);
    while (zmq_getsockopt(handle, ZMQ_EVENTS, &events, &size) != 0) {
        if (zmq_errno() != EINTR) {
            ec = zmq::last_zmq_error();
            return false;
        }
    }
    return (events & ZMQ_POLLIN) != 0;
}

// Receives one frame if one is queued; false with ec clear when none is.
bool receive_queued(void* handle, zmq::message& frame, boost::system::error_code& ec) {
    zmq_msg_t message;
    zmq_msg_init(&message);
    int received = 0;
    while ((received = zmq_msg_recv(&message, handle, ZMQ_DONTWAIT)) < 0 && zmq_errno() == EINTR) {
    }
    if (received < 0) {
        if (zmq_errno() != EAGAIN) {
            ec = zmq::last_zmq_error();
        }
        zmq_msg_close(&message);
        return false;
    }
    frame.data.assign(static_cast<const char*>(zmq_msg_data(&message)), zmq_msg_size(&message));
    frame.more = zmq_msg_more(&message) != 0;
    zmq_msg_close(&message);
    return true;
}

int random_offset(int count) {
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, count - 1)(generator);
}

}  // namespace

// Shared with pending completions through weak references. The descriptor only watches ZMQ_FD,
// which signals edges: a receive is retried until EAGAIN with ZMQ_POLLIN clear before waiting.
struct socket::state : std::enable_shared_from_this<state> {
    state(boost::asio::io_context& io_context, std::shared_ptr<zmq::context> context, int type)
        : m_context(std::move(context)), m_handle(open_socket(*m_context, type)), m_descriptor(io_context) {
        m_descriptor.assign(socket_fd(m_handle));
    }

    ~state() {
        m_descriptor.release();
        zmq_close(m_handle);
    }

    void post(std::function<void()> f) { boost::asio::post(m_descriptor.get_executor(), std::move(f)); }

    receive_handler take_handler() {
        auto handler = std::move(m_handler);
        m_handler = nullptr;
        return handler;
    }

    void complete(const boost::system::error_code& ec, zmq::message frame) {
        if (m_handler) {
            take_handler()(ec, std::move(frame));
        }
    }

    void post_receive_ready() {
        post([weak_state = weak_from_this()] {
            if (const auto s = weak_state.lock()) {
                s->receive_ready();
            }
        });
    }

    void receive_ready() {
        const auto keep_alive = shared_from_this();
        while (m_handler) {
            zmq::message frame;
            boost::system::error_code ec;
            if (receive_queued(m_handle, frame, ec) || ec) {
                complete(ec, std::move(frame));
                return;
            }
            if (can_receive(m_handle, ec)) {
                continue;
            }
            if (ec) {
                complete(ec, {});
                return;
            }
            wait_readable();
            return;
        }
    }

    void wait_readable() {
        if (m_waiting) {
            return;
        }
        m_waiting = true;
        m_descriptor.async_wait(boost::asio::posix::descriptor_base::wait_read,
                                [weak_state = weak_from_this()](const boost::system::error_code& ec) {
                                    const auto s = weak_state.lock();
                                    if (!s || ec == boost::asio::error::operation_aborted) {
                                        return;
                                    }
                                    s->m_waiting = false;
                                    if (ec) {
                                        s->complete(ec, {});
                                        return;
                                    }
                                    s->receive_ready();
                                });
    }

    std::shared_ptr<zmq::context> m_context;
    void* m_handle;
    boost::asio::posix::stream_descriptor m_descriptor;
    receive_handler m_handler;
    bool m_waiting = false;
};

socket::socket(boost::asio::io_context& io_context, std::shared_ptr<zmq::context> context, int type)
    : m_state(std::make_shared<state>(io_context, std::move(context), type)) {}

socket::~socket() {
    cancel();
}

void socket::connect(const std::string& endpoint) {
    if (zmq_connect(m_state->m_handle, endpoint.c_str()) != 0) {
        zmq::throw_last_zmq_error("zmq_connect");
    }
}

std::string socket::bind(const std::string& endpoint) {
    const auto dynamic = parse_dynamic_port(endpoint);
    if (!dynamic) {
        if (!try_bind(endpoint)) {
            zmq::throw_last_zmq_error("zmq_bind");
        }
        return last_endpoint();
    }
    const int count = dynamic->last - dynamic->first + 1;
    const int start = dynamic->random_start ? random_offset(count) : 0;
    for (int i = 0; i < count; ++i) {
        if (try_bind(dynamic->with_port(dynamic->first + (start + i) % count))) {
            return last_endpoint();
        }
        if (zmq_errno() != EADDRINUSE) {
            zmq::throw_last_zmq_error("zmq_bind");
        }
    }
    throw boost::system::system_error(zmq::make_zmq_error_code(EADDRINUSE), "zmq_bind");
}

bool socket::try_bind(const std::string& endpoint) {
    return zmq_bind(m_state->m_handle, endpoint.c_str()) == 0;
}

std::string socket::last_endpoint() const {
    char bound[256] = {};
    std::size_t size = sizeof(bound);
    if (zmq_getsockopt(m_state->m_handle, ZMQ_LAST_ENDPOINT, bound, &size) != 0) {
        zmq::throw_last_zmq_error("zmq_getsockopt(ZMQ_LAST_ENDPOINT)");
    }
    return bound;
}

void socket::subscribe(std::string_view prefix) {
    if (zmq_setsockopt(m_state->m_handle, ZMQ_SUBSCRIBE, prefix.empty() ? "" : prefix.data(),
                       prefix.size()) != 0) {
        zmq::throw_last_zmq_error("zmq_setsockopt(ZMQ_SUBSCRIBE)");
    }
}

void socket::set_linger(std::chrono::milliseconds linger) {
    const int milliseconds = static_cast<int>(linger.count());
    if (zmq_setsockopt(m_state->m_handle, ZMQ_LINGER, &milliseconds, sizeof(milliseconds)) != 0) {
        zmq::throw_last_zmq_error("zmq_setsockopt(ZMQ_LINGER)");
    }
}

void socket::async_receive(receive_handler handler) {
    OZRA_CHECK(!m_state->m_handler);
    m_state->m_handler = std::move(handler);
    m_state->post_receive_ready();
}

void socket::cancel() {
    if (!m_state->m_handler) {
        return;
    }
    if (m_state->m_waiting) {
        m_state->m_descriptor.cancel();
        m_state->m_waiting = false;
    }
    m_state->post(
        [handler = m_state->take_handler()] { handler(boost::asio::error::operation_aborted, {}); });
}

std::optional<zmq::message> socket::try_receive() {
    zmq::message frame;
    boost::system::error_code ec;
    const bool received = receive_queued(m_state->m_handle, frame, ec);
    if (ec) {
        throw boost::system::system_error(ec, "zmq_msg_recv");
    }
    announce_possible_frames();
    if (!received) {
        return std::nullopt;
    }
    return frame;
}

void socket::send(std::string_view frame, bool more) {
    if (!try_send_with_flags(frame, more ? ZMQ_SNDMORE : 0)) {
        zmq::throw_last_zmq_error("zmq_send");
    }
}

bool socket::try_send(std::string_view frame, bool more) {
    return try_send_with_flags(frame, ZMQ_DONTWAIT | (more ? ZMQ_SNDMORE : 0));
}

bool socket::try_send_with_flags(std::string_view frame, int flags) {
    while (zmq_send(m_state->m_handle, frame.data(), frame.size(), flags) < 0) {
        if (zmq_errno() == EAGAIN) {
            return false;
        }
        if (zmq_errno() != EINTR) {
            zmq::throw_last_zmq_error("zmq_send");
        }
    }
    announce_possible_frames();
    return true;
}

void socket::announce_possible_frames() {
    // Any operation on the socket may consume the descriptor's edge that announced an incoming frame.
    if (m_state->m_handler) {
        m_state->post_receive_ready();
    }
}

}  // namespace ozra::libs::core::asio_zmq
