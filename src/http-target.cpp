#include "http-target.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>

namespace ozra {

namespace {

bool ProxyInEnvironment() {
    for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// The decimal port 1..65535, or 0.
unsigned int ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const unsigned long port = std::stoul(text);
    return port <= 65535 ? static_cast<unsigned int>(port) : 0;
}

}  // namespace

std::optional<CHttpTarget> DirectHttpTarget(const std::string& protocol, const std::string& address,
                                            unsigned int port) {
    std::string scheme = protocol;
    std::string authority = address;
    if (const auto separator = address.find("://"); separator != std::string::npos) {
        scheme = address.substr(0, separator);
        authority = address.substr(separator + 3);
    }
    if (strcasecmp(scheme.c_str(), "http") != 0 || authority.find_first_of("/?#@") != std::string::npos ||
        ProxyInEnvironment()) {
        return std::nullopt;
    }

    std::string host = authority;
    std::string portText;
    bool ipv6 = false;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos || (close + 1 < authority.size() && authority[close + 1] != ':')) {
            return std::nullopt;
        }
        ipv6 = true;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            portText = authority.substr(close + 2);
        }
    } else if (const auto colon = authority.find(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
    }
    if (port == 0) {
        port = portText.empty() ? 80 : ParsePort(portText);
    } else if (port > 65535) {
        return std::nullopt;
    }
    if (port == 0) {
        return std::nullopt;
    }

    CHttpTarget target{};
    if (ipv6) {
        auto& ip = reinterpret_cast<sockaddr_in6&>(target.mAddress);
        if (inet_pton(AF_INET6, host.c_str(), &ip.sin6_addr) != 1) {
            return std::nullopt;
        }
        ip.sin6_family = AF_INET6;
        ip.sin6_port = htons(static_cast<std::uint16_t>(port));
        target.mLength = sizeof ip;
        host = "[" + host + "]";
    } else {
        auto& ip = reinterpret_cast<sockaddr_in&>(target.mAddress);
        if (inet_pton(AF_INET, host.c_str(), &ip.sin_addr) != 1) {
            return std::nullopt;
        }
        ip.sin_family = AF_INET;
        ip.sin_port = htons(static_cast<std::uint16_t>(port));
        target.mLength = sizeof ip;
    }
    target.mHost = port == 80 ? host : host + ":" + std::to_string(port);
    return target;
}

}  // namespace ozra
