#include "core/asio_zmq/socket.h"

#include <zmq.h>
#include <boost/asio/error.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <memory>
#include <random>
#include <utility>

#include "core/exception.h"
#include "core/lifetime.h"
#include "core/zmq/error.h"
#include "dynamic_port.h"

namespace ozra::libs::core::asio_zmq {

namespace {

struct close_socket {
    void operator()(void* handle) const { zmq_close(handle); }
};

// Closing the socket lets the context end.
using socket_handle = std::unique_ptr<void, close_socket>;

socket_handle open_socket(const zmq::context& context, int type) {
    socket_handle handle(zmq_socket(context.handle(), type));
    if (!handle) {
        zmq::throw_last_zmq_error("zmq_socket");
    }
    return handle;
}

int socket_fd(void* handle) {
    int fd = -1;
    std::size_t size = sizeof(fd);
    if (zmq_getsockopt(handle, ZMQ_FD, &fd, &size) != 0) {
        zmq::throw_last_zmq_error("zmq_getsockopt(ZMQ_FD)");
    }
    return fd;
}

// Whether a frame can be received now; also processes the socket's pending commands. A socket that is
// not in a state to receive (a REQ not awaiting a reply, a REP owing one) is not ready.
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

// Receives one frame if one is queued; false with ec clear when none is, or when the socket is not
// in a state to receive.
bool receive_queued(void* handle, zmq::message& frame, boost::system::error_code& ec) {
    zmq_msg_t message;
    zmq_msg_init(&message);
    int received = 0;
    while ((received = zmq_msg_recv(&message, handle, ZMQ_DONTWAIT)) < 0 && zmq_errno() == EINTR) {
    }
    if (received < 0) {
        if (zmq_errno() != EAGAIN && zmq_errno() != EFSM) {
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

// The descriptor only watches ZMQ_FD, which signals edges: any libzmq call may consume the edge that
// announced a frame, so every call goes through call(), which looks at ZMQ_EVENTS again on its way out,
// however the call ends.
struct socket::state {
    state(boost::asio::io_context& io_context, std::shared_ptr<zmq::context> context, int type)
        : m_context(std::move(context)), m_handle(open_socket(*m_context, type)), m_descriptor(io_context) {
        m_descriptor.assign(call(&socket_fd));
    }

    ~state() { m_descriptor.release(); }

    // Runs f with the libzmq socket, then lets a pending receive find what the call may have announced.
    template <class F>
    auto call(F&& f) -> decltype(f(nullptr)) {
        const recheck_on_exit recheck{*this};
        return f(m_handle.get());
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
        if (m_receive_ready_posted) {
            return;
        }
        m_receive_ready_posted = true;
        post(m_lifetime.guard([this] {
            m_receive_ready_posted = false;
            receive_ready();
        }));
    }

    // Receives straight away; only when nothing is queued does ZMQ_EVENTS decide between another try and
    // a wait on the descriptor. These calls need no recheck: their outcome is handled here.
    void receive_ready() {
        while (m_handler) {
            boost::system::error_code ec;
            zmq::message frame;
            if (receive_queued(m_handle.get(), frame, ec) || ec) {
                complete(ec, std::move(frame));
                return;
            }
            const bool readable = can_receive(m_handle.get(), ec);
            if (ec) {
                complete(ec, {});
                return;
            }
            if (!readable) {
                wait_readable();
                return;
            }
        }
    }

    void wait_readable() {
        if (m_waiting) {
            return;
        }
        m_waiting = true;
        m_descriptor.async_wait(boost::asio::posix::descriptor_base::wait_read,
                                m_lifetime.guard([this](const boost::system::error_code& ec) {
                                    if (ec == boost::asio::error::operation_aborted) {
                                        return;
                                    }
                                    m_waiting = false;
                                    if (ec) {
                                        complete(ec, {});
                                        return;
                                    }
                                    receive_ready();
                                }));
    }

    // After a libzmq call: a pending receive is woken when a frame can be received now, since the
    // descriptor may no longer announce it. Keeps errno for the caller.
    struct recheck_on_exit {
        ~recheck_on_exit() {
            if (!m_state.m_handler) {
                return;
            }
            const int saved_errno = errno;
            boost::system::error_code ec;
            if (can_receive(m_state.m_handle.get(), ec) || ec) {
                m_state.post_receive_ready();
            }
            errno = saved_errno;
        }

        state& m_state;
    };

    std::shared_ptr<zmq::context> m_context;
    socket_handle m_handle;
    boost::asio::posix::stream_descriptor m_descriptor;
    receive_handler m_handler;
    bool m_waiting = false;
    bool m_receive_ready_posted = false;
    lifetime m_lifetime;
};

socket::socket(boost::asio::io_context& io_context, std::shared_ptr<zmq::context> context, int type)
    : m_state(std::make_unique<state>(io_context, std::move(context), type)) {}

socket::~socket() {
    cancel();
}

void socket::connect(const std::string& endpoint) {
    if (m_state->call([&endpoint](void* handle) { return zmq_connect(handle, endpoint.c_str()); }) != 0) {
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
    return m_state->call([&endpoint](void* handle) { return zmq_bind(handle, endpoint.c_str()); }) == 0;
}

std::string socket::last_endpoint() const {
    char bound[256] = {};
    std::size_t size = sizeof(bound);
    if (m_state->call(
            [&](void* handle) { return zmq_getsockopt(handle, ZMQ_LAST_ENDPOINT, bound, &size); }) != 0) {
        zmq::throw_last_zmq_error("zmq_getsockopt(ZMQ_LAST_ENDPOINT)");
    }
    return bound;
}

void socket::subscribe(std::string_view prefix) {
    const char* const bytes = prefix.empty() ? "" : prefix.data();
    if (m_state->call(
            [&](void* handle) { return zmq_setsockopt(handle, ZMQ_SUBSCRIBE, bytes, prefix.size()); }) != 0) {
        zmq::throw_last_zmq_error("zmq_setsockopt(ZMQ_SUBSCRIBE)");
    }
}

void socket::set_linger(std::chrono::milliseconds linger) {
    const int milliseconds = static_cast<int>(linger.count());
    if (m_state->call([&](void* handle) {
            return zmq_setsockopt(handle, ZMQ_LINGER, &milliseconds, sizeof(milliseconds));
        }) != 0) {
        zmq::throw_last_zmq_error("zmq_setsockopt(ZMQ_LINGER)");
    }
}

void socket::set_receive_queue(int frames) {
    if (m_state->call(
            [&](void* handle) { return zmq_setsockopt(handle, ZMQ_RCVHWM, &frames, sizeof(frames)); }) != 0) {
        zmq::throw_last_zmq_error("zmq_setsockopt(ZMQ_RCVHWM)");
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
    const bool received = m_state->call([&](void* handle) { return receive_queued(handle, frame, ec); });
    if (ec) {
        throw boost::system::system_error(ec, "zmq_msg_recv");
    }
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
    int sent = 0;
    while ((sent = m_state->call(
                [&](void* handle) { return zmq_send(handle, frame.data(), frame.size(), flags); })) < 0 &&
           zmq_errno() == EINTR) {
    }
    if (sent < 0 && zmq_errno() != EAGAIN) {
        zmq::throw_last_zmq_error("zmq_send");
    }
    return sent >= 0;
}

}  // namespace ozra::libs::core::asio_zmq
