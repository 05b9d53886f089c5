// Server notifications: one "notify" payload per line, each followed by a processing run; lines
// "U <json>" and "P" interleave device replies and extra processing runs.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "harness/controller_site.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("OZRA_LAUNCHED_BY_SYSTEMD", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static varnok::fuzz::controller_site site;
    ozra::kelt& controller = site.start_controller();
    site.converse(controller, std::string_view(reinterpret_cast<const char*>(data), size), 'N',
                  varnok::fuzz::controller_site::after_line::process);
    site.stop_controller();
    return 0;
}
