#pragma once

#include <chrono>
#include <cstdint>

namespace ozra::libs::core {

// A wall-clock instant in whole milliseconds since the Unix epoch.
class timestamp {
public:
    using time_point = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

    explicit timestamp(time_point point) : m_time_point(point) {}
    static timestamp from_milliseconds(std::int64_t milliseconds) {
        return timestamp(time_point(std::chrono::milliseconds(milliseconds)));
    }
    static timestamp now();

    std::int64_t milliseconds_since_epoch() const { return m_time_point.time_since_epoch().count(); }
    time_point get_time_point() const { return m_time_point; }

    bool operator==(const timestamp& other) const { return m_time_point == other.m_time_point; }
    bool operator<(const timestamp& other) const { return m_time_point < other.m_time_point; }

private:
    time_point m_time_point;
};

}  // namespace ozra::libs::core
