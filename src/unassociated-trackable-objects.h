#pragma once

#include <functional>
#include <set>
#include <string>

namespace ozra {

// Uids of trackable objects that the server lists without a device node.
class CUnassociatedTrackableObjects {
public:
    using Visitor = std::function<bool(const std::string& uid)>;

    // Adds to the synchronised or to the pending uids; an existing entry stays.
    void AddTO(const std::string& uid, bool synchronized);
    void RemoveTO(const std::string& uid);
    void MarkAllAsSynchronized();
    // Visits the pending uids in order; false when a visit answers false (the walk stops there).
    bool ForEachPendingTO(const Visitor& fn) const;
    // The same over the pending, then the synchronised uids.
    bool ForEachTO(const Visitor& fn) const;
    bool IsSynchronized(const std::string& uid) const;

    std::set<std::string> mPendingTOs;
    std::set<std::string> mSynchronizedTOs;
};

}  // namespace ozra
