#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

namespace ozra {

// Devices whose replies are dropped for a while without asking the server: uids the server does not
// know, and every unmanaged uid while lookups are suspended after the server failed to answer one.
class CUnknownDevices {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::seconds remembered_for{60};
    static constexpr std::size_t bound = 4096;

    bool IsIgnored(const std::string& uid, Clock::time_point now) const;
    void Remember(const std::string& uid, Clock::time_point now);
    void SuspendLookups(Clock::time_point now);
    // The server's trackable objects changed: every uid may be known now.
    void Forget();

private:
    std::map<std::string, Clock::time_point> mUntil;  // uid → end of its period
    Clock::time_point mLookupsSuspendedUntil{};
};

}  // namespace ozra
