#pragma once

#include <string>

namespace ozra {

// Tells the service manager about the daemon through sd_notify. Without NOTIFY_SOCKET every call does
// nothing.
class CServiceNotifier {
public:
    CServiceNotifier();

    void Ready(const std::string& status) const;
    void Status(const std::string& status) const;
    void Stopping() const;
    // Only when the service manager set a watchdog interval for this process.
    void Watchdog() const;

private:
    void Notify(const std::string& assignments) const;

    bool mWatchdog = false;
};

}  // namespace ozra
