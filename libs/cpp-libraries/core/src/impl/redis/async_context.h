#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <functional>
#include <memory>
#include <string>

#include "command_arguments.h"
#include "core/lifetime.h"
#include "core/logger.h"
#include "core/redis/reply.h"

struct redisAsyncContext;

namespace ozra::libs::core::redis {

// A non-blocking connection to the server driven by the loop's io_context.
class async_context {
public:
    // Receives the hiredis status once the database is selected (REDIS_OK) or the connection failed.
    using connect_callback = std::function<void(int status)>;
    using reply_callback = std::function<void(reply)>;

    // Raises "Cannot open connection to the redis server: ..." when connecting cannot even start.
    async_context(boost::asio::io_context& io_context, const component_logger& logger,
                  const std::string& host, int port, int db, connect_callback on_connected);
    ~async_context();
    async_context(const async_context&) = delete;
    async_context& operator=(const async_context&) = delete;

    // Queues the command; `on_reply` runs on the loop thread with the reply, or with an ERROR reply
    // naming the failure when the connection ends first. Raises "Command: <name>, error" when refused.
    void execute(command_arguments& arguments, reply_callback on_reply);

private:
    static void handle_reply(redisAsyncContext* context, void* raw_reply, void* private_data);
    static void handle_select_reply(redisAsyncContext* context, void* raw_reply, void* private_data);
    static void handle_connect(const redisAsyncContext* context, int status);
    static void handle_disconnect(const redisAsyncContext* context, int status);
    static void add_read(void* private_data);
    static void del_read(void* private_data);
    static void add_write(void* private_data);
    static void del_write(void* private_data);
    static void cleanup(void* private_data);

    // What hiredis asked for in one direction, and whether a wait for it is pending.
    struct readiness {
        bool requested = false;
        bool in_progress = false;
    };

    void attach_descriptor();
    void request(readiness& direction, boost::asio::socket_base::wait_type type,
                 void (*handle)(redisAsyncContext*));
    // Waits until the socket is ready in the direction, then lets hiredis handle it while requested.
    void wait(readiness& direction, boost::asio::socket_base::wait_type type,
              void (*handle)(redisAsyncContext*));
    void send_select();

    const component_logger& m_logger;
    redisAsyncContext* m_context;
    boost::asio::ip::tcp::socket m_socket;
    int m_db;
    readiness m_read;
    readiness m_write;
    connect_callback m_connect_callback;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::redis
