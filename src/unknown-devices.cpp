#include "unknown-devices.h"

#include <algorithm>

namespace ozra {

bool CUnknownDevices::IsIgnored(const std::string& uid, Clock::time_point now) const {
    if (now < mLookupsSuspendedUntil) {
        return true;
    }
    const auto found = mUntil.find(uid);
    return found != mUntil.end() && now < found->second;
}

void CUnknownDevices::Remember(const std::string& uid, Clock::time_point now) {
    if (mUntil.size() >= bound) {
        for (auto it = mUntil.begin(); it != mUntil.end();) {
            it = it->second <= now ? mUntil.erase(it) : std::next(it);
        }
    }
    if (mUntil.size() >= bound) {
        mUntil.erase(std::min_element(mUntil.begin(), mUntil.end(), [](const auto& left, const auto& right) {
            return left.second < right.second;
        }));
    }
    mUntil[uid] = now + remembered_for;
}

void CUnknownDevices::SuspendLookups(Clock::time_point now) {
    mLookupsSuspendedUntil = now + remembered_for;
}

void CUnknownDevices::Forget() {
    mUntil.clear();
    mLookupsSuspendedUntil = {};
}

}  // namespace ozra
