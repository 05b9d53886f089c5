#pragma once

#include <cstddef>
#include <ios>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ozra::libs::core {

// A pattern parsed as boost::format parses it: literal text ("%%" kept as "%") cut by positional directives.
struct line_pattern {
    struct directive {
        // Where the literal text before the directive ends.
        std::size_t text_end;
        std::size_t argument;
        std::ios_base::fmtflags flags;
    };

    std::string source;
    std::string text;
    std::vector<directive> directives;
    std::size_t argument_count = 0;
};

// The parsed pattern from this thread's cache, or null when it holds any other directive.
std::shared_ptr<const line_pattern> find_line_pattern(std::string_view pattern);

}  // namespace ozra::libs::core
