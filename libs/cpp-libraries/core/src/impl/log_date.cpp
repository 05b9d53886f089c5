#include "log_date.h"

#include <time.h>

#include <cstring>
#include <limits>

namespace ozra::libs::core {

namespace {

struct second_text {
    std::int64_t second = std::numeric_limits<std::int64_t>::min();
    char text[25] = {};
    std::size_t length = 0;
};

thread_local second_text last_second;

}  // namespace

log_date::log_date(std::int64_t milliseconds_since_epoch) {
    // Floored, so that a time before the epoch reads as the second before it plus a positive fraction.
    const std::int64_t second =
        milliseconds_since_epoch / 1000 - (milliseconds_since_epoch % 1000 < 0 ? 1 : 0);
    if (last_second.second != second) {
        const time_t seconds = static_cast<time_t>(second);
        tm utc{};
        gmtime_r(&seconds, &utc);
        strftime(last_second.text, sizeof(last_second.text), "%Y-%m-%d %H:%M:%S", &utc);
        last_second.length = std::strlen(last_second.text);
        last_second.second = second;
    }
    std::memcpy(m_text, last_second.text, last_second.length);
    char* fraction = m_text + last_second.length;
    const int milliseconds = static_cast<int>(milliseconds_since_epoch - second * 1000);
    const char text[] = {'.', static_cast<char>('0' + milliseconds / 100),
                         static_cast<char>('0' + milliseconds / 10 % 10),
                         static_cast<char>('0' + milliseconds % 10), ' '};
    std::memcpy(fraction, text, sizeof(text));
    m_length = last_second.length + sizeof(text);
}

}  // namespace ozra::libs::core
