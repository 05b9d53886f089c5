#pragma once

#include "fake_server/recorded_request.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

namespace varnok::test_tools {

// Thread-safe list of received requests with waits on its contents.
class request_log {
public:
    void add(recorded_request request);
    void clear();

    std::vector<recorded_request> all() const;
    std::vector<recorded_request> matching(const request_matcher& match) const;
    std::size_t size() const;

    bool wait_for_count(std::size_t count, std::chrono::milliseconds timeout) const;
    bool wait_for_matches(const request_matcher& match, std::size_t count,
                          std::chrono::milliseconds timeout) const;
    std::optional<recorded_request> wait_for_match(const request_matcher& match,
                                                   std::chrono::milliseconds timeout) const;

private:
    std::size_t count_matching(const request_matcher& match) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<recorded_request> m_requests;
};

}  // namespace varnok::test_tools
