#pragma once

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ozra::libs::core::udp {

// A bound UDP socket; each datagram reports the local IPv4 address it was sent to.
class socket {
public:
    using receive_callback =
        std::function<void(const boost::asio::ip::udp::endpoint& sender,
                           const boost::asio::ip::address_v4& destination, std::string_view bytes)>;

    virtual ~socket() = default;

    // The first call starts receiving; callbacks run on the loop thread.
    virtual void set_receive_callback(receive_callback callback) = 0;
    // Raise a Boost system error on failure.
    virtual std::size_t send_to(const boost::asio::ip::udp::endpoint& endpoint, std::string_view bytes) = 0;
    virtual std::size_t send_to(const std::string& address, int port, std::string_view bytes) = 0;
    virtual boost::asio::ip::udp::endpoint make_endpoint(const std::string& address, int port) const = 0;
    virtual boost::asio::ip::udp::endpoint get_local_endpoint() const = 0;
};

}  // namespace ozra::libs::core::udp
