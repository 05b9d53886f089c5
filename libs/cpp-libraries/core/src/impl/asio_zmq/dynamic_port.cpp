#include "dynamic_port.h"

#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

#include "core/zmq/error.h"

namespace ozra::libs::core::asio_zmq {

namespace {

constexpr std::string_view tcp_scheme = "tcp://";
constexpr int default_first_port = 49152;
constexpr int last_port = 65535;

[[noreturn]] void throw_invalid_endpoint() {
    throw boost::system::system_error(zmq::make_zmq_error_code(EINVAL), "zmq_bind");
}

int parse_bound(std::string_view digits, int absent) {
    if (digits.empty()) {
        return absent;
    }
    const bool is_number = digits.size() <= 5 && std::all_of(digits.begin(), digits.end(), [](char c) {
                               return std::isdigit(static_cast<unsigned char>(c)) != 0;
                           });
    if (!is_number) {
        throw_invalid_endpoint();
    }
    return std::stoi(std::string(digits));
}

}  // namespace

std::optional<dynamic_port_endpoint> parse_dynamic_port(const std::string& endpoint) {
    const auto colon = endpoint.rfind(':');
    if (endpoint.compare(0, tcp_scheme.size(), tcp_scheme) != 0 || colon == std::string::npos ||
        colon < tcp_scheme.size()) {
        return std::nullopt;
    }
    const std::string_view port = std::string_view(endpoint).substr(colon + 1);
    if (port.empty() || (port.front() != '*' && port.front() != '!')) {
        return std::nullopt;
    }
    dynamic_port_endpoint parsed{endpoint.substr(0, colon + 1), port.front() == '!', default_first_port,
                                 last_port};
    const std::string_view range = port.substr(1);
    if (range.empty()) {
        return parsed;
    }
    const auto dash = range.find('-');
    if (range.front() != '[' || range.back() != ']' || dash == std::string_view::npos) {
        throw_invalid_endpoint();
    }
    parsed.first = parse_bound(range.substr(1, dash - 1), default_first_port);
    parsed.last = parse_bound(range.substr(dash + 1, range.size() - dash - 2), last_port);
    if (parsed.first < 1 || parsed.first > parsed.last || parsed.last > last_port) {
        throw_invalid_endpoint();
    }
    return parsed;
}

}  // namespace ozra::libs::core::asio_zmq
