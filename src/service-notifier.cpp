#include "service-notifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace ozra {

CServiceNotifier::CServiceNotifier() {
    uint64_t interval = 0;
    mWatchdog = sd_watchdog_enabled(0, &interval) > 0;
}

void CServiceNotifier::Ready(const std::string& status) const {
    Notify("READY=1\nSTATUS=" + status);
}

void CServiceNotifier::Status(const std::string& status) const {
    Notify("STATUS=" + status);
}

void CServiceNotifier::Stopping() const {
    Notify("STOPPING=1");
}

void CServiceNotifier::Watchdog() const {
    if (mWatchdog) {
        Notify("WATCHDOG=1");
    }
}

void CServiceNotifier::Notify(const std::string& assignments) const {
    // A lost notification is not worth a failure of the daemon.
    sd_notify(0, assignments.c_str());
}

}  // namespace ozra
