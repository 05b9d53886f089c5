#include "config.h"

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/ip/address_v6.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iomanip>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

#include "config_parser/config.h"
#include "core/exception.h"

namespace ozra {

namespace {

namespace reader = libs::config;

constexpr int highest_port = 65535;
constexpr int highest_connections = 256;

std::string range_error(const std::string& path, int lowest, int highest, const std::string& number) {
    return path + ": out of range " + std::to_string(lowest) + ".." + std::to_string(highest) + ": " + number;
}

// The value as a whole number of any size; nothing when it is absent, of another kind or has a fraction.
std::optional<double> whole_number(const reader::config& document, std::initializer_list<std::string> keys) {
    const reader::result<double> real = document.get_by_path<double>(keys);
    const double* number = real.try_get();
    if (number == nullptr || std::trunc(*number) != *number) {
        return std::nullopt;
    }
    return *number;
}

// An integer in lowest..highest; a whole number outside the 32-bit range is out of range too.
reader::result<int> integer_within(const reader::config& document, std::initializer_list<std::string> keys,
                                   const std::string& path, int lowest, int highest) {
    const reader::result<int> found = document.get_by_path<int>(keys);
    if (const int* number = found.try_get()) {
        if (*number >= lowest && *number <= highest) {
            return found;
        }
        return reader::error_reason{range_error(path, lowest, highest, std::to_string(*number))};
    }
    const std::optional<double> number = whole_number(document, keys);
    if (!number) {
        return found;
    }
    std::ostringstream text;
    text << std::fixed << std::setprecision(0) << *number;
    return reader::error_reason{range_error(path, lowest, highest, text.str())};
}

// server.connections: its default when absent, else an integer in 1..highest_connections.
reader::result<int> server_connections(const reader::config& document) {
    const boost::optional<const reader::value&> server = document.get_root().get_value("server");
    const boost::optional<const reader::dictionary&> group = server ? server->as_object() : boost::none;
    if (!group || !group->get_value("connections")) {
        return static_cast<int>(config::server_settings::default_connections);
    }
    return integer_within(document, {"server", "connections"}, "server.connections", 1, highest_connections);
}

// The server port may be absent or of another kind than a whole number: then it is 0.
reader::result<int> optional_server_port(const reader::config& document) {
    if (!whole_number(document, {"server", "port"})) {
        return 0;
    }
    return integer_within(document, {"server", "port"}, "server.port", 0, highest_port);
}

// A numeric IPv4 address or a bracketed IPv6 one, a colon and a port 0..65535.
bool is_listen_address(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c) != 0; }) ||
        std::stoi(port) > highest_port) {
        return false;
    }
    boost::system::error_code error;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        boost::asio::ip::make_address_v6(host.substr(1, host.size() - 2), error);
    } else {
        boost::asio::ip::make_address_v4(host, error);
    }
    return !error;
}

// Without the group metrics there is no endpoint: an empty address.
reader::result<std::string> optional_metrics_listen(const reader::config& document) {
    if (!document.get_root().get_value("metrics")) {
        return std::string();
    }
    const auto listen = document.get_by_path<std::string>({"metrics", "listen"});
    if (listen.ok() && !is_listen_address(listen.value())) {
        return reader::error_reason{"metrics.listen: not host:port with a numeric host: " + listen.value()};
    }
    return listen;
}

reader::result<reader::value_range> zone_types_array(const reader::config& document) {
    const boost::optional<const reader::value&> found = document.get_root().get_value("zone_types");
    boost::optional<reader::value_range> array = found ? found->as_array() : boost::none;
    if (!array) {
        return reader::error_reason{"Can not find field <array>: zone_types"};
    }
    return *array;
}

std::set<std::string> read_zone_types(const reader::value_range& array) {
    std::set<std::string> names;
    std::size_t index = 0;
    for (const reader::value& element : array) {
        const std::optional<std::string> name = element.as_string();
        if (!name) {
            OZRA_THROW("Config file is invalid: zone_types: not a zone type: " + std::to_string(index));
        }
        names.insert(*name);
        ++index;
    }
    return names;
}

}  // namespace

config::config(std::istream& stream) {
    const std::unique_ptr<reader::config> document = reader::config::create<reader::type::json>(stream);

    const auto pidfile = document->get_by_path<std::string>({"system", "pidfile"});
    const auto debug_port = document->get_by_path<std::string>({"system", "debug_port"});
    const auto local_debug = document->get_by_path<bool>({"system", "local_debug"});
    const auto proxy_address = document->get_by_path<std::string>({"proxy", "address"});
    const auto output_port =
        integer_within(*document, {"proxy", "output_port"}, "proxy.output_port", 1, highest_port);
    const auto protocol = document->get_by_path<std::string>({"server", "protocol"});
    const auto server_address = document->get_by_path<std::string>({"server", "address"});
    const auto server_port = optional_server_port(*document);
    const auto timeout_s = integer_within(*document, {"server", "timeout_s"}, "server.timeout_s", 0,
                                          std::numeric_limits<int>::max());
    const auto connections = server_connections(*document);
    const auto zone_types_found = zone_types_array(*document);
    const auto metrics_listen = optional_metrics_listen(*document);

    const auto all = pidfile + debug_port + local_debug + proxy_address + output_port + protocol +
                     server_address + server_port + timeout_s + connections + zone_types_found +
                     metrics_listen;
    if (!all.ok()) {
        OZRA_THROW("Config file is invalid: " + all.reason());
    }

    system.pidfile = pidfile.value();
    system.debug_port = debug_port.value();
    system.local_debug = local_debug.value();
    server.port = server_port.value();
    proxy.address = proxy_address.value();
    proxy.output_port = static_cast<std::uint32_t>(output_port.value());
    server.protocol = protocol.value();
    server.address = server_address.value();
    server.timeout_s = static_cast<std::uint32_t>(timeout_s.value());
    server.connections = static_cast<std::size_t>(connections.value());
    zone_types = read_zone_types(zone_types_found.value());
    metrics.listen = metrics_listen.value();
}

}  // namespace ozra
