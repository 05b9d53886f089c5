#include "core/logger.h"

#include <syslog.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "log_date.h"

namespace ozra::libs::core {

namespace {

constexpr int linger_milliseconds = 5000;
// How long debug lines are not made after the debug socket dropped one: a collector that comes back
// misses at most this much more than the socket's full queue already cost it.
constexpr std::int64_t socket_retry_nanoseconds = 100'000'000;
// Room in a line's body for the line number and the separators.
constexpr std::size_t body_extra = 24;

bool launched_by_systemd() {
    static const bool answer = [] {
        const char* value = std::getenv("OZRA_LAUNCHED_BY_SYSTEMD");
        return value != nullptr && std::string_view(value) == "1";
    }();
    return answer;
}

// Appends the decimal digits of a number.
void append_number(std::string& text, std::int64_t number) {
    char digits[24];
    const auto result = std::to_chars(std::begin(digits), std::end(digits), number);
    text.append(digits, result.ptr);
}

std::int64_t steady_nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

char* append(char* out, std::string_view text) {
    return std::copy(text.begin(), text.end(), out);
}

// Four spaces a level, then a mark.
struct indentation {
    std::size_t spaces = 0;
    std::string_view mark;
};

indentation indentation_of(std::int32_t depth) {
    return depth > 0 ? indentation{static_cast<std::size_t>(depth) * 4, "| "} : indentation{};
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

component_logger::formatter::formatter(int log_level, std::string_view pattern,
                                       const component_logger& logger)
    : m_log_level(log_level), m_logger(logger) {
    if (log_level != LOG_DEBUG || logger.m_logger.takes_debug_lines()) {
        m_format.emplace(pattern);
    }
}

component_logger::formatter::~formatter() {
    if (!m_format) {
        return;
    }
    try {
        const std::string_view file =
            m_source_location ? source_location::remove_directory_prefix(m_source_location->file()) : "";
        std::string body;
        body.reserve(file.size() + m_function.size() + m_format->capacity_hint() + body_extra);
        if (m_source_location) {
            body += file;
            body += ':';
            append_number(body, m_source_location->line());
            body += ' ';
        }
        if (!m_function.empty()) {
            body += m_function;
            body += ": ";
        }
        m_format->append_to(body);
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

component_logger::component_logger(const logger& owner, std::string module_name,
                                   std::string_view component_name)
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

indent_guard component_logger::enter_function_short(const source_location& location,
                                                    std::string_view text) const {
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
    const indentation indent = indentation_of(m_indent);
    return std::string(indent.spaces, ' ') + std::string(indent.mark);
}

void component_logger::emit(int log_level, const std::string& body,
                            const boost::optional<timestamp>& time) const {
    const log_date date((time ? *time : timestamp::now()).milliseconds_since_epoch());
    const indentation indent = indentation_of(m_indent);

    // The mark right-aligned in the indentation's width gives the indentation.
    const std::string_view system_log_date = should_print_to_stderr() ? date.text() : "";
    const bool debug = m_logger.is_debug();
    // Never a null pointer for %s: an empty mark is the empty text.
    const std::string_view system_log_mark = debug && !indent.mark.empty() ? indent.mark : "";
    // The system log's mask drops debug lines outside debug mode; they are not handed to it at all.
    if (debug || log_level != LOG_DEBUG) {
        syslog(log_level, "%.*s%*s%s", static_cast<int>(system_log_date.size()), system_log_date.data(),
               static_cast<int>(system_log_mark.empty() ? 0 : indent.spaces + system_log_mark.size()),
               system_log_mark.data(), body.c_str());
    }

    if (m_logger.is_writing_to_socket()) {
        ::zmq::message_t line(m_zmq_prefix.size() + date.text().size() + indent.spaces + indent.mark.size() +
                              body.size());
        char* out = append(static_cast<char*>(line.data()), m_zmq_prefix);
        out = append(out, date.text());
        out = std::fill_n(out, indent.spaces, ' ');
        out = append(out, indent.mark);
        append(out, body);
        m_logger.send_to_socket(line);
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
    // The lines dropped before had no collector to reach; this one may.
    m_socket_retry_at = 0;
    debug("Connected to socket");
}

void logger::set_debug(bool on) {
    setlogmask(LOG_UPTO(on ? LOG_DEBUG : LOG_INFO));
    m_debug = on;
}

bool logger::takes_debug_lines() const {
    if (m_debug) {
        return true;
    }
    if (!m_writing_to_socket) {
        return false;
    }
    const std::int64_t retry_at = m_socket_retry_at.load(std::memory_order_relaxed);
    return retry_at == 0 || steady_nanoseconds() >= retry_at;
}

void logger::send_to_socket(::zmq::message_t& line) const {
    const std::lock_guard<std::mutex> lock(m_socket_mutex);
    bool sent = false;
    try {
        // A full queue or an absent collector drops the line (EAGAIN gives no value).
        sent = m_debug_socket.send(line, ::zmq::send_flags::dontwait).has_value();
    } catch (const ::zmq::error_t&) {
    }
    m_socket_retry_at.store(sent ? 0 : steady_nanoseconds() + socket_retry_nanoseconds,
                            std::memory_order_relaxed);
}

}  // namespace ozra::libs::core
