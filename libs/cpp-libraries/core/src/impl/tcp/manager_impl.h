#pragma once

#include <boost/asio/io_context.hpp>

#include "core/logger.h"
#include "core/tcp/manager.h"

namespace ozra::libs::core::tcp {

class manager_impl final : public manager {
public:
    manager_impl(boost::asio::io_context& io_context, const component_logger& logger);

    std::unique_ptr<socket> connect(const std::string& host, int port) override;
    std::unique_ptr<acceptor> listen(ip_protocol protocol, int port) override;
    std::unique_ptr<acceptor> listen(const std::string& address, int port) override;

private:
    boost::asio::io_context& m_io_context;
    const component_logger& m_logger;
};

}  // namespace ozra::libs::core::tcp
