#include "fake_server/recorded_request.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/predicate.hpp>

namespace varnok::test_tools {

std::string recorded_request::header(const std::string& name) const {
    const auto found = headers.find(boost::algorithm::to_lower_copy(name));
    return found == headers.end() ? std::string() : found->second;
}

request_matcher match_request(std::string method, std::string path) {
    return [method = std::move(method), path = std::move(path)](const recorded_request& request) {
        return (method.empty() || request.method == method) && request.path == path;
    };
}

request_matcher match_request_prefix(std::string method, std::string path_prefix) {
    return [method = std::move(method), prefix = std::move(path_prefix)](const recorded_request& request) {
        return (method.empty() || request.method == method) && boost::starts_with(request.path, prefix);
    };
}

}  // namespace varnok::test_tools
