#include "async_context.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/exception.h"

namespace ozra::libs::core::redis {

namespace {

// Takes the reply tree away from hiredis, which frees the emptied node after the callback.
redisReply* take_reply(redisReply* source) {
    auto* const owned = static_cast<redisReply*>(std::malloc(sizeof(redisReply)));
    if (owned == nullptr) {
        throw std::bad_alloc();
    }
    *owned = *source;
    source->str = nullptr;
    source->element = nullptr;
    source->elements = 0;
    return owned;
}

redisReply* make_error_reply(const std::string& text) {
    auto* const error = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
    auto* const bytes = static_cast<char*>(std::malloc(text.size() + 1));
    if (error == nullptr || bytes == nullptr) {
        std::free(error);
        std::free(bytes);
        throw std::bad_alloc();
    }
    std::memcpy(bytes, text.c_str(), text.size() + 1);
    error->type = REDIS_REPLY_ERROR;
    error->str = bytes;
    error->len = text.size();
    return error;
}

std::string connection_error(const redisAsyncContext* context) {
    return context->err != 0 ? std::string(context->errstr) : std::string("Connection closed");
}

async_context& owner_of(const redisAsyncContext* context) {
    return *static_cast<async_context*>(context->data);
}

boost::asio::ip::tcp protocol_of(int descriptor) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        address.ss_family == AF_INET6) {
        return boost::asio::ip::tcp::v6();
    }
    return boost::asio::ip::tcp::v4();
}

}  // namespace

async_context::async_context(boost::asio::io_context& io_context, const component_logger& logger,
                             const std::string& host, int port, int db, connect_callback on_connected)
    : m_logger(logger),
      m_context(redisAsyncConnect(host.c_str(), port)),
      m_socket(io_context),
      m_db(db),
      m_connect_callback(std::move(on_connected)) {
    if (m_context == nullptr) {
        OZRA_THROW("Cannot open connection to the redis server: can't allocate redis context");
    }
    if (m_context->err != 0) {
        const std::string error = m_context->errstr;
        redisAsyncFree(m_context);
        OZRA_THROW("Cannot open connection to the redis server: " + error);
    }
    m_context->data = this;
    m_context->ev.data = this;
    m_context->ev.addRead = &async_context::add_read;
    m_context->ev.delRead = &async_context::del_read;
    m_context->ev.addWrite = &async_context::add_write;
    m_context->ev.delWrite = &async_context::del_write;
    m_context->ev.cleanup = &async_context::cleanup;
    try {
        // Setting the connect callback already waits for writability.
        attach_descriptor();
        redisAsyncSetConnectCallback(m_context, &async_context::handle_connect);
        redisAsyncSetDisconnectCallback(m_context, &async_context::handle_disconnect);
        send_select();
    } catch (...) {
        redisAsyncFree(m_context);
        throw;
    }
}

async_context::~async_context() {
    m_connect_callback = nullptr;
    if (m_context != nullptr) {
        redisAsyncFree(m_context);
    }
}

void async_context::execute(command_arguments& arguments, reply_callback on_reply) {
    auto callback = std::make_unique<reply_callback>(std::move(on_reply));
    if (m_context == nullptr ||
        redisAsyncCommandArgv(m_context, &async_context::handle_reply, callback.get(), arguments.count(),
                              arguments.argv(), arguments.argv_len()) != REDIS_OK) {
        OZRA_THROW("Command: " + arguments.name() + ", error");
    }
    callback.release();
}

void async_context::attach_descriptor() {
    const int descriptor = m_context->c.fd;
    const int duplicate = ::dup(descriptor);
    if (duplicate < 0) {
        OZRA_THROW("Cannot open connection to the redis server: " + std::string(std::strerror(errno)));
    }
    m_socket.assign(protocol_of(descriptor), duplicate);
}

void async_context::send_select() {
    command_arguments select({"SELECT", std::to_string(m_db)});
    if (redisAsyncCommandArgv(m_context, &async_context::handle_select_reply, this, select.count(),
                              select.argv(), select.argv_len()) != REDIS_OK) {
        OZRA_THROW("Cannot open connection to the redis server: " + std::string(m_context->errstr));
    }
}

void async_context::handle_reply(redisAsyncContext* context, void* raw_reply, void* private_data) {
    const std::unique_ptr<reply_callback> callback(static_cast<reply_callback*>(private_data));
    auto* const tree = static_cast<redisReply*>(raw_reply);
    (*callback)(reply(tree != nullptr ? take_reply(tree) : make_error_reply(connection_error(context))));
}

void async_context::handle_select_reply(redisAsyncContext* context, void* raw_reply, void* private_data) {
    auto& self = *static_cast<async_context*>(private_data);
    const auto* const answer = static_cast<const redisReply*>(raw_reply);
    const bool selected = answer != nullptr && answer->type == REDIS_REPLY_STATUS;
    if (answer != nullptr && !selected) {
        // Commands must never run on another database than the one asked for.
        self.m_logger.error("Cannot select redis database %1%: %2%") % self.m_db %
            std::string(answer->str, answer->len);
        redisAsyncDisconnect(context);
    }
    const connect_callback callback = self.m_connect_callback;
    if (callback) {
        callback(selected ? REDIS_OK : REDIS_ERR);
    }
}

void async_context::handle_connect(const redisAsyncContext* context, int status) {
    if (status != REDIS_OK) {
        owner_of(context).m_logger.error("Cannot connect to the redis server: %1%") % context->errstr;
    }
}

void async_context::handle_disconnect(const redisAsyncContext* context, int status) {
    if (status != REDIS_OK) {
        owner_of(context).m_logger.warning("Connection to the redis server lost: %1%") %
            connection_error(context);
    }
}

void async_context::add_read(void* private_data) {
    auto& self = *static_cast<async_context*>(private_data);
    self.request(self.m_read, boost::asio::socket_base::wait_read, &redisAsyncHandleRead);
}

void async_context::del_read(void* private_data) {
    static_cast<async_context*>(private_data)->m_read.requested = false;
}

void async_context::add_write(void* private_data) {
    auto& self = *static_cast<async_context*>(private_data);
    self.request(self.m_write, boost::asio::socket_base::wait_write, &redisAsyncHandleWrite);
}

void async_context::del_write(void* private_data) {
    static_cast<async_context*>(private_data)->m_write.requested = false;
}

void async_context::cleanup(void* private_data) {
    auto& self = *static_cast<async_context*>(private_data);
    self.m_context = nullptr;
    self.m_read.requested = false;
    self.m_write.requested = false;
    boost::system::error_code ignored;
    self.m_socket.close(ignored);
}

void async_context::wait(readiness& direction, boost::asio::socket_base::wait_type type,
                         void (*handle)(redisAsyncContext*)) {
    if (direction.in_progress || m_context == nullptr) {
        return;
    }
    direction.in_progress = true;
    m_socket.async_wait(
        type, m_lifetime.guard([this, &direction, type, handle](const boost::system::error_code& error) {
            direction.in_progress = false;
            if (error || !direction.requested || m_context == nullptr) {
                return;
            }
            handle(m_context);
            if (direction.requested) {
                wait(direction, type, handle);
            }
        }));
}

void async_context::request(readiness& direction, boost::asio::socket_base::wait_type type,
                            void (*handle)(redisAsyncContext*)) {
    direction.requested = true;
    wait(direction, type, handle);
}

}  // namespace ozra::libs::core::redis
