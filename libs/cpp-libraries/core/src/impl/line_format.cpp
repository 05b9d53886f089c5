#include "core/line_format.h"

#include <charconv>
#include <iterator>
#include <locale>

#include "line_pattern.h"
#include "this_thread_instance.h"

namespace ozra::libs::core {

namespace {

// Appends what a stream writes to a string.
class string_appender : public std::streambuf {
public:
    void set_target(std::string& target) { m_target = &target; }

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            m_target->push_back(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize length) override {
        m_target->append(text, static_cast<std::size_t>(length));
        return length;
    }

private:
    std::string* m_target = nullptr;
};

// Gives a stream the state of the new stream boost::format writes one argument to.
void reset_state(std::ostream& stream, std::ios_base::fmtflags flags) {
    stream.width(0);
    stream.precision(6);
    stream.fill(' ');
    stream.flags(flags);
    stream.exceptions(std::ios_base::goodbit);
    stream.clear();
}

// A stream kept by each thread for the arguments whose output leaves no state in it.
class reused_stream {
public:
    std::ostream& prepare(std::string& target, std::ios_base::fmtflags flags) {
        m_buffer.set_target(target);
        if (m_stream.getloc() != std::locale()) {
            m_stream.imbue(std::locale());
        }
        reset_state(m_stream, flags);
        return m_stream;
    }

private:
    string_appender m_buffer;
    std::ostream m_stream{&m_buffer};
};

}  // namespace

line_format::line_format(std::string_view pattern) : m_pattern(find_line_pattern(pattern)) {
    if (!m_pattern) {
        m_fallback = std::make_unique<boost::format>();
        m_fallback->exceptions(boost::io::no_error_bits);
        m_fallback->parse(std::string(pattern));
    }
}

void line_format::append_integer(std::string& text, const integer& value, std::ios_base::fmtflags flags) {
    const bool hex = (flags & std::ios_base::basefield) == std::ios_base::hex;
    if (hex && (flags & std::ios_base::showbase) && value.bits != 0) {
        text += "0x";
    }
    if (!hex && value.negative) {
        text += '-';
    }
    char digits[24];
    const auto result = std::to_chars(std::begin(digits), std::end(digits),
                                      hex ? value.bits : value.magnitude, hex ? 16 : 10);
    text.append(digits, result.ptr);
}

void line_format::feed(const void* argument, put_function put, bool plain, const integer* value) {
    // Like boost::format, ignores the arguments beyond the pattern's.
    if (m_next_argument >= m_pattern->argument_count) {
        return;
    }
    const bool classic_integer = value != nullptr && std::locale() == std::locale::classic();
    reused_stream* reused = plain && !classic_integer ? this_thread_instance<reused_stream>() : nullptr;
    for (std::size_t i = 0; i < m_pattern->directives.size(); ++i) {
        const line_pattern::directive& directive = m_pattern->directives[i];
        if (directive.argument != m_next_argument) {
            continue;
        }
        const std::size_t offset = m_results.size();
        if (classic_integer) {
            append_integer(m_results, *value, directive.flags);
        } else if (reused != nullptr) {
            put(reused->prepare(m_results, directive.flags), argument);
        } else {
            string_appender buffer;
            buffer.set_target(m_results);
            std::ostream stream(&buffer);
            reset_state(stream, directive.flags);
            put(stream, argument);
        }
        m_slices[i] = {offset, m_results.size() - offset};
    }
    ++m_next_argument;
}

void line_format::append_to(std::string& text) const {
    if (m_fallback) {
        text += m_fallback->str();
        return;
    }
    std::size_t text_start = 0;
    for (std::size_t i = 0; i < m_pattern->directives.size(); ++i) {
        const std::size_t text_end = m_pattern->directives[i].text_end;
        text.append(m_pattern->text, text_start, text_end - text_start);
        text.append(m_results, m_slices[i].offset, m_slices[i].length);
        text_start = text_end;
    }
    text.append(m_pattern->text, text_start);
}

std::size_t line_format::capacity_hint() const {
    return m_fallback ? m_fallback->size() : m_pattern->text.size() + m_results.size();
}

}  // namespace ozra::libs::core
