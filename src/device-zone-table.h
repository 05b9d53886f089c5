#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "zonefordevice.h"

namespace ozra {

// The zones one device must hold, ordered by zone uid. The table's CRCs are kept until it changes:
// every access that could change an entry counts as a change.
class CDeviceZoneTable {
public:
    using iterator = std::vector<CZoneForDevice>::iterator;
    using const_iterator = std::vector<CZoneForDevice>::const_iterator;

    std::size_t size() const { return mEntries.size(); }
    bool empty() const { return mEntries.empty(); }
    iterator begin() {
        Changed();
        return mEntries.begin();
    }
    iterator end() { return mEntries.end(); }
    const_iterator begin() const { return mEntries.begin(); }
    const_iterator end() const { return mEntries.end(); }

    iterator find(const std::string& zoneUid);
    const_iterator find(const std::string& zoneUid) const;
    std::size_t count(const std::string& zoneUid) const { return find(zoneUid) != end() ? 1 : 0; }
    // The entry whose pending record carries the zone ID; the search starts after the entry found last,
    // since a device reports the records of a batch in their order.
    iterator FindPending(uint16_t zoneId);
    // Raises std::out_of_range when the zone is not in the table.
    CZoneForDevice& at(const std::string& zoneUid);
    const CZoneForDevice& at(const std::string& zoneUid) const;

    // Inserts the entry unless its zone is there already; the stored entry and whether it is new.
    std::pair<iterator, bool> insert(CZoneForDevice entry);
    iterator erase(const_iterator position) {
        Changed();
        return mEntries.erase(position);
    }
    template <class Predicate>
    void erase_if(Predicate predicate) {
        Changed();
        mEntries.erase(std::remove_if(mEntries.begin(), mEntries.end(), predicate), mEntries.end());
    }
    void reserve(std::size_t count) { mEntries.reserve(count); }
    // Replaces the table with entries already ordered by zone uid.
    void assign_sorted(std::vector<CZoneForDevice> entries) {
        Changed();
        mEntries = std::move(entries);
    }

    // CRC16 of the descriptors the device holds, in zone ID order; withPendingAdds counts the zones still
    // to be added too. Of a total of 65536 bytes or more, only the first (total modulo 65536) count.
    uint16_t CRC(bool withPendingAdds) const;

private:
    void Changed() { mCrcKnown = false; }
    const_iterator LowerBound(const std::string& zoneUid) const;

    std::vector<CZoneForDevice> mEntries;
    std::size_t mPendingHint = 0;
    mutable bool mCrcKnown = false;
    mutable uint16_t mCrc[2] = {};  // without, with pending additions
};

}  // namespace ozra
