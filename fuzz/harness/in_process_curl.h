#pragma once

#include <functional>
#include <string>

namespace varnok::fuzz {

struct http_answer {
    unsigned status = 200;
    std::string body;
};

// Answers a request by method ("GET", "POST", "DELETE"), path (the URL without scheme and host) and body.
using http_handler =
    std::function<http_answer(const std::string& method, const std::string& path, const std::string& body)>;

// The libcurl interfaces of this executable perform every transfer by calling the handler, on the thread
// that performs it, without a socket. Set it while no transfer runs.
void set_http_handler(http_handler handler);

}  // namespace varnok::fuzz
