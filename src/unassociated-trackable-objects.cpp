#include "unassociated-trackable-objects.h"

#include <algorithm>

namespace ozra {

void CUnassociatedTrackableObjects::AddTO(const std::string& uid, bool synchronized) {
    (synchronized ? mSynchronizedTOs : mPendingTOs).insert(uid);
}

void CUnassociatedTrackableObjects::RemoveTO(const std::string& uid) {
    mPendingTOs.erase(uid);
    mSynchronizedTOs.erase(uid);
}

void CUnassociatedTrackableObjects::MarkAllAsSynchronized() {
    mSynchronizedTOs.insert(mPendingTOs.begin(), mPendingTOs.end());
    mPendingTOs.clear();
}

bool CUnassociatedTrackableObjects::ForEachPendingTO(const Visitor& fn) const {
    return std::all_of(mPendingTOs.begin(), mPendingTOs.end(), fn);
}

bool CUnassociatedTrackableObjects::ForEachTO(const Visitor& fn) const {
    return ForEachPendingTO(fn) && std::all_of(mSynchronizedTOs.begin(), mSynchronizedTOs.end(), fn);
}

bool CUnassociatedTrackableObjects::IsSynchronized(const std::string& uid) const {
    return mSynchronizedTOs.count(uid) != 0;
}

}  // namespace ozra
