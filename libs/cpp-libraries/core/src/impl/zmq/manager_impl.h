#pragma once

#include <boost/asio/io_context.hpp>

#include <memory>

#include "core/zmq/context.h"
#include "core/zmq/manager.h"

namespace ozra::libs::core::zmq {

class manager_impl final : public manager {
public:
    explicit manager_impl(boost::asio::io_context& io_context);

    std::unique_ptr<socket> connect(socket::type type, const std::string& address) override;
    std::unique_ptr<socket> bind(socket::type type, const std::string& address) override;

private:
    boost::asio::io_context& m_io_context;
    // Shared with the sockets: the context ends when the last of them is closed.
    std::shared_ptr<context> m_context = std::make_shared<context>();
};

}  // namespace ozra::libs::core::zmq
