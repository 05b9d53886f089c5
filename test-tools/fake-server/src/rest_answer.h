#pragma once

#include <string>

namespace varnok::test_tools {

struct rest_answer {
    unsigned status = 200;
    std::string body;
};

}  // namespace varnok::test_tools
