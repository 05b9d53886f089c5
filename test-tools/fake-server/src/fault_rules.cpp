#include "fault_rules.h"

namespace varnok::test_tools {

void fault_rules::set(const response_fault& fault, const std::string& path, const std::string& method) {
    std::lock_guard lock(m_mutex);
    m_rules[{path, method}] = fault;
}

void fault_rules::clear() {
    std::lock_guard lock(m_mutex);
    m_rules.clear();
}

std::optional<response_fault> fault_rules::take(const std::string& path, const std::string& method) {
    std::lock_guard lock(m_mutex);
    for (const auto& key :
         {std::make_pair(path, method), std::make_pair(path, std::string()),
          std::make_pair(std::string(), method), std::make_pair(std::string(), std::string())}) {
        if (const auto rule = m_rules.find(key); rule != m_rules.end()) {
            const response_fault fault = rule->second;
            if (fault.once) {
                m_rules.erase(rule);
            }
            return fault;
        }
    }
    return std::nullopt;
}

}  // namespace varnok::test_tools
