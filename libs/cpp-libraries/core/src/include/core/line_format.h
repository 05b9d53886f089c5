#pragma once

#include <boost/format.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace ozra::libs::core {

struct line_pattern;

// The text boost::format makes of a pattern and its arguments, made cheaply for the usual log patterns:
// text, "%%", "%N%" and "%N$d", "%N$x" with an optional '#' are parsed once per thread and each argument
// is written as boost::format writes it; any other pattern goes to boost::format itself.
class line_format {
public:
    static constexpr std::size_t max_directives = 8;

    explicit line_format(std::string_view pattern);
    line_format(const line_format&) = delete;
    line_format& operator=(const line_format&) = delete;

    template <class T>
    line_format& operator%(const T& argument) {
        static_assert(!is_group<T>::value, "format the group's value before logging it");
        if (m_fallback) {
            *m_fallback % argument;
        } else if constexpr (is_integer<T>) {
            const integer value = integer_of(argument);
            feed(&argument, &put<T>, true, &value);
        } else {
            feed(&argument, &put<T>, is_plain<T>, nullptr);
        }
        return *this;
    }

    void append_to(std::string& text) const;
    // At least the length of the text.
    std::size_t capacity_hint() const;

private:
    using put_function = void (*)(std::ostream& stream, const void* argument);

    template <class T>
    static void put(std::ostream& stream, const void* argument) {
        stream << *static_cast<const T*>(argument);
    }

    template <class T>
    struct is_group : std::false_type {};
    template <class T>
    struct is_group<boost::io::detail::group1<T>> : std::true_type {};

    // Types whose output operators leave no state in the stream, so one stream can serve them all.
    template <class T>
    static constexpr bool is_plain =
        std::is_arithmetic_v<T> || std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view> ||
        std::is_same_v<std::decay_t<T>, const char*> || std::is_same_v<std::decay_t<T>, char*>;

    template <class T>
    static constexpr bool is_integer = std::is_integral_v<T> && sizeof(T) <= sizeof(std::uint64_t) &&
                                       !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
                                       !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char> &&
                                       !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char16_t> &&
                                       !std::is_same_v<T, char32_t>;

    // What a stream writes of an integer: sign and magnitude in decimal, the bits of its type in hexadecimal.
    struct integer {
        std::uint64_t bits;
        std::uint64_t magnitude;
        bool negative;
    };

    template <class T>
    static integer integer_of(T value) {
        using unsigned_type = std::make_unsigned_t<T>;
        const auto bits = static_cast<unsigned_type>(value);
        if constexpr (std::is_signed_v<T>) {
            if (value < 0) {
                return {bits, static_cast<unsigned_type>(unsigned_type{0} - bits), true};
            }
        }
        return {bits, bits, false};
    }

    // What a stream with these flags writes for the integer in the classic locale.
    static void append_integer(std::string& text, const integer& value, std::ios_base::fmtflags flags);

    // Writes the argument for each of its directives; an integer is written without a stream when the
    // global locale is the classic one, whose output for integers to_chars gives.
    void feed(const void* argument, put_function put, bool plain, const integer* value);

    struct slice {
        std::size_t offset = 0;
        std::size_t length = 0;
    };

    std::shared_ptr<const line_pattern> m_pattern;
    std::unique_ptr<boost::format> m_fallback;
    std::size_t m_next_argument = 0;
    // The text of each directive, in the order the arguments came.
    std::string m_results;
    std::array<slice, max_directives> m_slices{};
};

// The text of the pattern with the arguments, as boost::format makes it.
template <class... Arguments>
std::string format_text(std::string_view pattern, const Arguments&... arguments) {
    line_format format(pattern);
    (format % ... % arguments);
    std::string text;
    format.append_to(text);
    return text;
}

}  // namespace ozra::libs::core
