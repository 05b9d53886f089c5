#pragma once

#include <boost/optional.hpp>
#include <boost/system/error_code.hpp>
#include <zmq.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/exception.h"
#include "core/line_format.h"
#include "core/scope_guard.h"
#include "core/source_location.h"
#include "core/timestamp.h"

namespace ozra::libs::core {

class logger;

// Undoes one level of indentation when destroyed.
using indent_guard = scope_guard;

// Describes the exception being handled; call only inside a catch block.
std::string exception_to_string();
std::string exception_to_string(const located_exception& e);

// Logs lines of one named component to the system log and the logger's debug socket.
class component_logger {
public:
    // One log statement: the line is emitted when the formatter is destroyed.
    class formatter {
    public:
        formatter(int log_level, std::string_view pattern, const component_logger& logger);
        ~formatter();
        formatter(const formatter&) = delete;
        formatter& operator=(const formatter&) = delete;

        template <class T>
        formatter& operator%(const T& argument) {
            if (m_format) {
                *m_format % argument;
            }
            return *this;
        }

        formatter& location(const source_location& location);
        formatter& function(const source_location& location);
        formatter& short_function(const source_location& location);
        formatter& date_time(const timestamp& time);

    private:
        std::optional<line_format> m_format;  // none for a line that would reach nobody
        int m_log_level;
        const component_logger& m_logger;
        boost::optional<source_location> m_source_location;
        std::string_view m_function;
        boost::optional<timestamp> m_timestamp;
    };

    component_logger(const logger& owner, std::string module_name, std::string_view component_name);
    virtual ~component_logger() = default;
    component_logger(const component_logger&) = delete;
    component_logger& operator=(const component_logger&) = delete;

    std::unique_ptr<component_logger> component(std::string_view name) const;

    formatter debug(std::string_view pattern) const;
    formatter info(std::string_view pattern) const;
    formatter warning(std::string_view pattern) const;
    formatter error(std::string_view pattern) const;

    indent_guard enter_function(const source_location& location) const;
    indent_guard enter_function_short(const source_location& location, std::string_view text) const;
    indent_guard enter_scope(std::string_view name) const;
    indent_guard enter_scope(const source_location& location) const;
    indent_guard enter_scope(const source_location& location, std::string_view name) const;

    void log_exception() const;
    void log_exception(const source_location& location) const;
    void log_exception(const located_exception& e) const;
    void log_error(const boost::system::error_code& ec, const source_location& location) const;

    void set_print_to_stderr(bool on) { m_print_to_stderr = on; }
    bool should_print_to_stderr() const;
    std::string make_indent() const;

private:
    indent_guard indent() const;
    void emit(int log_level, const std::string& body, const boost::optional<timestamp>& time) const;

    mutable std::atomic<std::int32_t> m_indent{0};
    const logger& m_logger;
    std::string m_module_name;
    std::string m_zmq_prefix;
    bool m_print_to_stderr = false;
};

// The process logger: owns the system log identity and the ZeroMQ PUSH debug socket.
class logger : public component_logger {
public:
    logger(std::string module_name, std::string_view component_name);
    ~logger() override;

    // Connects the debug socket to a ZeroMQ endpoint; raises zmq::error_t on failure.
    void connect(const std::string& address);

    void set_debug(bool on);
    bool is_debug() const { return m_debug; }
    // Whether a debug line can reach anyone: in debug mode, or through a debug socket that took the
    // last line or has not been tried for a while since it dropped one.
    bool takes_debug_lines() const;
    void set_writing_to_socket(bool on) { m_writing_to_socket = on; }
    bool is_writing_to_socket() const { return m_writing_to_socket; }
    bool is_logger_enabled() const { return m_enable_logger; }

private:
    friend class component_logger;
    void send_to_socket(::zmq::message_t& line) const;

    std::string m_module_name;
    std::atomic<bool> m_debug{false};
    std::atomic<bool> m_writing_to_socket{true};
    // After the debug socket dropped a line, the steady-clock time (ns) until which debug lines are not
    // made; 0 while it takes lines.
    mutable std::atomic<std::int64_t> m_socket_retry_at{0};
    bool m_enable_logger = true;
    ::zmq::context_t m_zmq_context;
    mutable std::mutex m_socket_mutex;
    mutable ::zmq::socket_t m_debug_socket;
};

}  // namespace ozra::libs::core
