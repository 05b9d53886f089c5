#include "core/logger.h"

#include <syslog.h>
#include <time.h>

#include <cstdlib>
#include <sstream>

namespace ozra::libs::core {

namespace {

constexpr int linger_milliseconds = 5000;

bool launched_by_systemd() {
    static const bool answer = [] {
        const char* value = std::getenv("OZRA_LAUNCHED_BY_SYSTEMD");
        return value != nullptr && std::string_view(value) == "1";
    }();
    return answer;
}

std::string date_text(std::int64_t milliseconds) {
    const time_t seconds = static_cast<time_t>(milliseconds / 1000);
    tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[25];
    strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &utc);
    char fraction[8];
    snprintf(fraction, sizeof(fraction), ".%03d ", static_cast<int>(milliseconds % 1000));
    return std::string(buffer) + fraction;
}

}  // namespace

std::string exception_to_string() {
    try {
        throw;
    } catch (const located_exception& e) {
        return exception_to_string(e);
    } catch (const std::exception& e) {
        return std::string("std::exception::what(): ") + e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

std::string exception_to_string(const located_exception& e) {
    std::ostringstream stream;
    e.describe(stream);
    return stream.str();
}

component_logger::formatter::formatter(int log_level, std::string_view pattern, const component_logger& logger)
    : m_log_level(log_level), m_logger(logger) {
    m_format.exceptions(boost::io::no_error_bits);
    m_format.parse(std::string(pattern));
}

component_logger::formatter::~formatter() {
    try {
        std::string body;
        if (m_source_location) {
            body += std::string(source_location::remove_directory_prefix(m_source_location->file()));
            body += ":" + std::to_string(m_source_location->line()) + " ";
        }
        if (!m_function.empty()) {
            body += std::string(m_function) + ": ";
        }
        body += m_format.str();
        m_logger.emit(m_log_level, body, m_timestamp);
    } catch (...) {
    }
}

component_logger::formatter& component_logger::formatter::location(const source_location& location) {
    m_source_location = location;
    return *this;
}

component_logger::formatter& component_logger::formatter::function(const source_location& location) {
    m_function = location.function();
    return *this;
}

component_logger::formatter& component_logger::formatter::short_function(const source_location& location) {
    m_function = location.short_function();
    return *this;
}

component_logger::formatter& component_logger::formatter::date_time(const timestamp& time) {
    m_timestamp = time;
    return *this;
}

component_logger::component_logger(const logger& owner, std::string module_name, std::string_view component_name)
    : m_logger(owner),
      m_module_name(std::move(module_name)),
      m_zmq_prefix("&" + m_module_name + ":" + std::string(component_name) + " ") {}

std::unique_ptr<component_logger> component_logger::component(std::string_view name) const {
    return std::make_unique<component_logger>(m_logger, m_module_name, name);
}

component_logger::formatter component_logger::debug(std::string_view pattern) const {
    return formatter(LOG_DEBUG, pattern, *this);
}

component_logger::formatter component_logger::info(std::string_view pattern) const {
    return formatter(LOG_INFO, pattern, *this);
}

component_logger::formatter component_logger::warning(std::string_view pattern) const {
    return formatter(LOG_WARNING, pattern, *this);
}

component_logger::formatter component_logger::error(std::string_view pattern) const {
    return formatter(LOG_ERR, pattern, *this);
}

indent_guard component_logger::indent() const {
    ++m_indent;
    return execute_on_scope_exit([this] { --m_indent; });
}

indent_guard component_logger::enter_function(const source_location& location) const {
    debug("%1%") % location.function();
    return indent();
}

indent_guard component_logger::enter_function_short(const source_location& location, std::string_view text) const {
    debug("%1%: %2%") % location.short_function() % text;
    return indent();
}

indent_guard component_logger::enter_scope(std::string_view name) const {
    debug("%1%") % name;
    return indent();
}

indent_guard component_logger::enter_scope(const source_location& location) const {
    debug("%1%:%2%") % location.short_file() % location.line();
    return indent();
}

indent_guard component_logger::enter_scope(const source_location& location, std::string_view name) const {
    debug("%1%:%2% (%3%)") % location.short_file() % location.line() % name;
    return indent();
}

void component_logger::log_exception() const {
    if (m_logger.is_logger_enabled()) {
        error("%1%") % exception_to_string();
    }
}

void component_logger::log_exception(const source_location& location) const {
    error("Caught exeption").location(location);
    log_exception();
}

void component_logger::log_exception(const located_exception& e) const {
    if (m_logger.is_logger_enabled()) {
        error("%1%") % exception_to_string(e);
    }
}

void component_logger::log_error(const boost::system::error_code& ec, const source_location& location) const {
    if (m_logger.is_logger_enabled()) {
        error("%1%:%2%: %3%") % location.short_file() % location.line() % ec.message();
    }
}

bool component_logger::should_print_to_stderr() const {
    return launched_by_systemd() ? m_print_to_stderr : true;
}

std::string component_logger::make_indent() const {
    const std::int32_t depth = m_indent;
    if (depth <= 0) {
        return {};
    }
    return std::string(static_cast<std::size_t>(depth) * 4, ' ') + "| ";
}

void component_logger::emit(int log_level, const std::string& body, const boost::optional<timestamp>& time) const {
    const std::string date = date_text((time ? *time : timestamp::now()).milliseconds_since_epoch());
    const std::string indentation = make_indent();

    std::string system_log_text;
    if (should_print_to_stderr()) {
        system_log_text += date;
    }
    if (m_logger.is_debug()) {
        system_log_text += indentation;
    }
    system_log_text += body;
    syslog(log_level, "%s", system_log_text.c_str());

    if (m_logger.is_writing_to_socket()) {
        m_logger.send_to_socket(m_zmq_prefix + date + indentation + body);
    }
}

logger::logger(std::string module_name, std::string_view component_name)
    : component_logger(*this, module_name, component_name),
      m_module_name(std::move(module_name)),
      m_zmq_context(),
      m_debug_socket(m_zmq_context, ::zmq::socket_type::push) {
    m_debug_socket.set(::zmq::sockopt::linger, linger_milliseconds);
    openlog(m_module_name.c_str(), should_print_to_stderr() ? LOG_PERROR : 0, LOG_USER);
    set_debug(false);
    info("Starting %1%") % m_module_name;
}

logger::~logger() {
    closelog();
    m_debug_socket.close();
    m_zmq_context.close();
}

void logger::connect(const std::string& address) {
    {
        const std::lock_guard<std::mutex> lock(m_socket_mutex);
        m_debug_socket.connect(address);
    }
    debug("Connected to socket");
}

void logger::set_debug(bool on) {
    setlogmask(LOG_UPTO(on ? LOG_DEBUG : LOG_INFO));
    m_debug = on;
}

void logger::send_to_socket(const std::string& text) const {
    const std::lock_guard<std::mutex> lock(m_socket_mutex);
    try {
        // A full queue or an absent collector drops the line (EAGAIN gives no value).
        (void)m_debug_socket.send(::zmq::buffer(text), ::zmq::send_flags::dontwait);
    } catch (const ::zmq::error_t&) {
    }
}

}  // namespace ozra::libs::core
