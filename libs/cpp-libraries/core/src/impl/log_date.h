#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ozra::libs::core {

// The "YYYY-MM-DD HH:MM:SS.mmm " prefix of a log line; each thread keeps the text of its last second.
class log_date {
public:
    explicit log_date(std::int64_t milliseconds_since_epoch);

    std::string_view text() const { return {m_text, m_length}; }

private:
    char m_text[32];
    std::size_t m_length;
};

}  // namespace ozra::libs::core
