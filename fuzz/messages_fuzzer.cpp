// The controller's incoming messages, one per line: "N <json>" a server notification followed by a
// processing run, "U <json>" or any other line a device reply, "P" a processing run. Before the first line,
// t1 is asked to update, so that it waits for the answer to a download request.
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
    site.notify(controller, R"({"object":"ZONE_DOWNLOAD_REQUEST","action":"UPDATE",)"
                            R"("plist":{"zone_download_request":[{"trackable_uid":"t1"}]}})");
    site.converse(controller, std::string_view(reinterpret_cast<const char*>(data), size));
    site.process(controller);
    site.stop_controller();
    return 0;
}
