#include "request_log.h"

#include <algorithm>

namespace varnok::test_tools {

void request_log::add(recorded_request request) {
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    m_changed.notify_all();
}

void request_log::clear() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

std::vector<recorded_request> request_log::all() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<recorded_request> request_log::matching(const request_matcher& match) const {
    std::lock_guard lock(m_mutex);
    std::vector<recorded_request> result;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(result), match);
    return result;
}

std::size_t request_log::size() const {
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

std::size_t request_log::count_matching(const request_matcher& match) const {
    return static_cast<std::size_t>(std::count_if(m_requests.begin(), m_requests.end(), match));
}

bool request_log::wait_for_count(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

bool request_log::wait_for_matches(const request_matcher& match, std::size_t count,
                                   std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return count_matching(match) >= count; });
}

std::optional<recorded_request> request_log::wait_for_match(const request_matcher& match,
                                                            std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    std::optional<recorded_request> found;
    m_changed.wait_for(lock, timeout, [&] {
        const auto it = std::find_if(m_requests.begin(), m_requests.end(), match);
        if (it != m_requests.end()) {
            found = *it;
        }
        return found.has_value();
    });
    return found;
}

}  // namespace varnok::test_tools
