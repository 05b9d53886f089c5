#pragma once

#include <exception>
#include <ostream>
#include <string>

#include "core/source_location.h"

namespace ozra::libs::core {

// An exception that knows where it was raised.
class located_exception : public std::exception {
public:
    explicit located_exception(const source_location& location) : m_source_location(location) {}

    const char* what() const noexcept override;
    // Writes "<file inside the source tree>:<line>".
    virtual std::ostream& describe(std::ostream& stream) const;

    const source_location& get_source_location() const { return m_source_location; }

private:
    source_location m_source_location;
    mutable std::string m_what;
};

class exception : public located_exception {
public:
    exception(std::string message, const source_location& location)
        : located_exception(location), m_str_error(std::move(message)) {}

    std::ostream& describe(std::ostream& stream) const override;
    const std::string& get_string_error() const { return m_str_error; }

private:
    std::string m_str_error;
};

class check_failed_exception : public exception {
public:
    check_failed_exception(const std::string& text, const source_location& location)
        : exception("check failed: " + text, location) {}
};

}  // namespace ozra::libs::core

#define OZRA_THROW(message) throw ::ozra::libs::core::exception((message), OZRA_SOURCE_LOCATION)
#define OZRA_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            throw ::ozra::libs::core::check_failed_exception(#condition, OZRA_SOURCE_LOCATION); \
        }                                                                                  \
    } while (false)
