#pragma once

#include "fake_server/fake_location_server.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace varnok::test_tools {

// Faults by path and method; the most specific rule applies.
class fault_rules {
public:
    void set(const response_fault& fault, const std::string& path, const std::string& method);
    void clear();
    // The rule for a request; a rule for one request only is removed.
    std::optional<response_fault> take(const std::string& path, const std::string& method);

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, response_fault> m_rules;  // (path, method)
};

}  // namespace varnok::test_tools
