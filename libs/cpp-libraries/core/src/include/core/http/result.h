#pragma once

#include <optional>
#include <string>

namespace ozra::libs::core::http {

// The outcome of one request: a status with the body as data (2xx) or as error, or an error alone.
class result {
public:
    result(std::string body, int code);
    explicit result(std::string error);

    // A body of a successful status and no error.
    bool ok() const { return m_data.has_value() && !m_error.has_value(); }
    const std::optional<int>& status_code() const { return m_code; }
    const std::optional<std::string>& data() const { return m_data; }
    const std::optional<std::string>& error() const { return m_error; }

private:
    std::optional<int> m_code;
    std::optional<std::string> m_data;
    std::optional<std::string> m_error;
};

}  // namespace ozra::libs::core::http
