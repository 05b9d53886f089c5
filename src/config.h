#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <set>
#include <string>

namespace ozra {

// The daemon's settings, read once from a JSON document; the constructor raises on any invalid content.
struct config {
    struct system_settings {
        std::string pidfile;
        std::string debug_port;
        bool local_debug = false;
    };

    struct proxy_settings {
        std::string address;
        std::uint32_t output_port = 0;
    };

    struct server_settings {
        std::string protocol;
        std::string address;
        std::int32_t port = 0;
        std::uint32_t timeout_s = 0;
        std::size_t connections = default_connections;  // for the background requests

        static constexpr std::size_t default_connections = 16;
    };

    struct metrics_settings {
        // "host:port" of the metrics endpoint, with a numeric IPv4 host or a bracketed IPv6 one; empty: none.
        std::string listen;
    };

    explicit config(std::istream& stream);

    system_settings system;
    proxy_settings proxy;
    server_settings server;
    std::set<std::string> zone_types;
    metrics_settings metrics;
};

}  // namespace ozra
