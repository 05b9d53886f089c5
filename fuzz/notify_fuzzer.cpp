// Server notifications: one "notify" payload per line, each followed by a processing run; lines
// "U <json>" and "P" interleave device replies and extra processing runs.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "harness/controller_site.h"

namespace {

// The conversation of one line of input and the processing run after it.
std::string_view next_step(std::string_view& text) {
    const std::size_t end = text.find('\n');
    const std::string_view step = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(step.size());
    return step;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("OZRA_LAUNCHED_BY_SYSTEMD", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static varnok::fuzz::controller_site site;
    const auto controller = site.start_controller();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        site.converse(*controller, next_step(text), 'N');
        site.process(*controller);
    }
    return 0;
}
