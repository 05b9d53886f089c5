#pragma once

#include <sys/socket.h>

#include <optional>
#include <string>

namespace ozra {

// A server reached over plain HTTP at a numeric address, without libcurl.
struct CHttpTarget {
    sockaddr_storage mAddress;
    socklen_t mLength;
    // The Host header's value: the address as written, with the port unless it is 80.
    std::string mHost;
};

// The target of requests to address + path when they can go over a direct connection: plain http (the
// address's scheme, else protocol), a numeric IPv4 or IPv6 host, no user, no path in the address, and no
// proxy named in the environment. The port is port when not 0, else the address's, else 80. Otherwise none:
// such requests go through libcurl, which handles names, proxies, TLS and the rest.
std::optional<CHttpTarget> DirectHttpTarget(const std::string& protocol, const std::string& address,
                                            unsigned int port);

}  // namespace ozra
