#pragma once

#include <optional>
#include <string>

namespace varnok::bench {

// Seconds jsoncpp takes to parse the text as the daemon reads a response; the best of a few tries.
double parse_seconds(const std::string& body);

// Requests per second that wrk reaches with keep-alive connections posting the body to the URL; nothing
// when wrk fails or prints no rate.
std::optional<double> wrk_requests_per_second(const std::string& url, const std::string& body,
                                              const std::string& workdir, int connections, int seconds);

}  // namespace varnok::bench
