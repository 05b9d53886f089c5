#include "line_pattern.h"

#include <algorithm>
#include <unordered_map>

#include "core/line_format.h"
#include "this_thread_instance.h"

namespace ozra::libs::core {

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t max_argument_digits = 2;
// Patterns built at run time fill the cache: it starts again when full.
constexpr std::size_t cache_capacity = 512;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads "N%", "N$d", "N$#d", "N$x" or "N$#x" after the '%' at position; returns the position after it,
// or npos for any other directive.
std::size_t read_directive(std::string_view pattern, std::size_t position,
                           line_pattern::directive& directive) {
    if (position >= pattern.size() || pattern[position] == '0' || !is_digit(pattern[position])) {
        return npos;
    }
    std::size_t number = 0;
    std::size_t end = position;
    for (; end < pattern.size() && is_digit(pattern[end]); ++end) {
        if (end - position == max_argument_digits) {
            return npos;
        }
        number = number * 10 + static_cast<std::size_t>(pattern[end] - '0');
    }
    directive.argument = number - 1;
    directive.flags = std::ios_base::dec | std::ios_base::skipws;
    if (end < pattern.size() && pattern[end] == '%') {
        return end + 1;
    }
    if (end >= pattern.size() || pattern[end] != '$') {
        return npos;
    }
    ++end;
    if (end < pattern.size() && pattern[end] == '#') {
        directive.flags |= std::ios_base::showpoint | std::ios_base::showbase;
        ++end;
    }
    if (end < pattern.size() && pattern[end] == 'x') {
        directive.flags = (directive.flags & ~std::ios_base::basefield) | std::ios_base::hex;
    } else if (end >= pattern.size() || pattern[end] != 'd') {
        return npos;
    }
    return end + 1;
}

std::shared_ptr<const line_pattern> parse(std::string_view pattern) {
    auto parsed = std::make_shared<line_pattern>();
    parsed->source = pattern;
    std::size_t position = 0;
    for (;;) {
        const std::size_t mark = pattern.find('%', position);
        parsed->text.append(pattern.substr(position, mark == npos ? npos : mark - position));
        if (mark == npos) {
            return parsed;
        }
        if (mark + 1 < pattern.size() && pattern[mark + 1] == '%') {
            parsed->text += '%';
            position = mark + 2;
            continue;
        }
        line_pattern::directive directive{parsed->text.size(), 0, {}};
        position = read_directive(pattern, mark + 1, directive);
        if (position == npos || parsed->directives.size() == line_format::max_directives) {
            return nullptr;
        }
        parsed->directives.push_back(directive);
        parsed->argument_count = std::max(parsed->argument_count, directive.argument + 1);
    }
}

class pattern_cache {
public:
    std::shared_ptr<const line_pattern> find(std::string_view pattern) {
        const auto found = m_patterns.find(pattern);
        if (found != m_patterns.end()) {
            return found->second;
        }
        auto parsed = parse(pattern);
        if (parsed) {
            if (m_patterns.size() == cache_capacity) {
                m_patterns.clear();
            }
            m_patterns.emplace(parsed->source, parsed);
        }
        return parsed;
    }

private:
    // The keys view the sources of their patterns.
    std::unordered_map<std::string_view, std::shared_ptr<const line_pattern>> m_patterns;
};

}  // namespace

std::shared_ptr<const line_pattern> find_line_pattern(std::string_view pattern) {
    pattern_cache* cache = this_thread_instance<pattern_cache>();
    return cache != nullptr ? cache->find(pattern) : parse(pattern);
}

}  // namespace ozra::libs::core
