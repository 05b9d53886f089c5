#pragma once

#include <functional>
#include <map>
#include <string>

namespace varnok::test_tools {

// One HTTP request as the fake server received it.
struct recorded_request {
    std::string method;
    std::string target;                          // as sent, query included
    std::string path;                            // target without the query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    unsigned answered_status = 0;

    // Header value by case-insensitive name; empty when absent.
    std::string header(const std::string& name) const;
};

using request_matcher = std::function<bool(const recorded_request&)>;

// Matches requests by method and exact path; an empty method matches any.
request_matcher match_request(std::string method, std::string path);

// Matches requests by method and a path that starts with the prefix.
request_matcher match_request_prefix(std::string method, std::string path_prefix);

}  // namespace varnok::test_tools
