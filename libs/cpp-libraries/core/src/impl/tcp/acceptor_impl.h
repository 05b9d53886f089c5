#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <memory>

#include "core/lifetime.h"
#include "core/logger.h"
#include "core/tcp/acceptor.h"

namespace ozra::libs::core::tcp {

class acceptor_impl final : public acceptor {
public:
    acceptor_impl(boost::asio::io_context& io_context, const component_logger& logger,
                  const boost::asio::ip::tcp::endpoint& endpoint);

    void set_callback(callback callback) override;
    boost::asio::ip::tcp::endpoint get_local_endpoint() const override;

private:
    void start_accept();

    boost::asio::io_context& m_io_context;
    const component_logger& m_logger;
    boost::asio::ip::tcp::acceptor m_acceptor;
    callback m_callback;
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::tcp
