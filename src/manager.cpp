#include "manager.h"

#include <algorithm>

namespace ozra {

bool manager::are_coupled(const CZone& zone, const CZone& candidate) const {
    return candidate.mZoneID == zone.mCoupled && candidate.mCoupled == zone.mZoneID &&
           candidate.mProjectUid == zone.mProjectUid;
}

bool manager::tr_object_works_with_zone(const CZone& zone, const CTrackableObject& object) const {
    if (zone.mProjectUid != object.mProjectUid) {
        return false;
    }
    const bool exception =
        zone.mExceptions.count(object.mUid) != 0 ||
        std::any_of(zone.mExceptionsGroups.begin(), zone.mExceptionsGroups.end(),
                    [&object](const std::string& group) { return object.mGroups.count(group) != 0; });
    return exception ? zone.mDefaultAllowed : !zone.mDefaultAllowed;
}

}  // namespace ozra
