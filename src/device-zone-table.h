#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "zonefordevice.h"

namespace ozra {

// The zones one device must hold, ordered by zone uid. Copies share their entries until one of them
// changes (every access that could change an entry counts as a change), so devices of one kind hold one
// table between them; the CRCs are kept with the entries until they change.
class CDeviceZoneTable {
public:
    using iterator = std::vector<CZoneForDevice>::iterator;
    using const_iterator = std::vector<CZoneForDevice>::const_iterator;

    CDeviceZoneTable() : mShared(std::make_shared<CEntries>()) {}

    std::size_t size() const { return mShared->mList.size(); }
    bool empty() const { return mShared->mList.empty(); }
    iterator begin() { return Own().begin(); }
    iterator end() { return Own().end(); }
    const_iterator begin() const { return mShared->mList.begin(); }
    const_iterator end() const { return mShared->mList.end(); }

    iterator find(const std::string& zoneUid);
    const_iterator find(const std::string& zoneUid) const;
    std::size_t count(const std::string& zoneUid) const { return find(zoneUid) != end() ? 1 : 0; }
    // The entry whose pending record carries the zone ID: an outstanding deletion of the ID first, since
    // no zone is added under the ID before it is done. The search starts after the entry found last, as a
    // device reports the records of a batch in their order.
    iterator FindPending(uint16_t zoneId);
    // Raises std::out_of_range when the zone is not in the table.
    CZoneForDevice& at(const std::string& zoneUid);
    const CZoneForDevice& at(const std::string& zoneUid) const;

    // Inserts the entry unless its zone is there already; the stored entry and whether it is new.
    std::pair<iterator, bool> insert(CZoneForDevice entry);
    iterator erase(const_iterator position);
    template <class Predicate>
    void erase_if(Predicate predicate) {
        std::vector<CZoneForDevice>& list = Own();
        list.erase(std::remove_if(list.begin(), list.end(), predicate), list.end());
    }
    void reserve(std::size_t count) { Own().reserve(count); }
    // Replaces the table with entries already ordered by zone uid.
    void assign_sorted(std::vector<CZoneForDevice> entries) { Own() = std::move(entries); }

    // Marks every entry with the state (see CZoneForDevice::Mark), after dropping the entries waiting for
    // removal when dropRemoved. Tables sharing their entries share the result too.
    void MarkAll(devState_t state, bool dropRemoved);
    // A matching CRC that counted the zones still to add proved the device to hold them: they become
    // DS_DOWNLOADED.
    void PendingAddsHeld();
    // The device holds exactly the zones it must: every entry is DS_DOWNLOADED.
    bool UpToDate() const;
    // Whether another table holds the same entries; SharedId() tells which entries.
    bool Shared() const { return mShared.use_count() > 1; }
    const void* SharedId() const { return mShared.get(); }

    // CRC16 of the descriptors the device holds, in zone ID order; withPendingAdds counts the zones still
    // to be added too. Of a total of 65536 bytes or more, only the first (total modulo 65536) count.
    uint16_t CRC(bool withPendingAdds) const;

private:
    struct CEntries {
        std::vector<CZoneForDevice> mList;
        bool mCrcKnown = false;
        uint16_t mCrc[2] = {};  // without, with pending additions
        // What MarkAll made of these entries while they were shared, by state and dropRemoved.
        std::unique_ptr<std::array<std::shared_ptr<CEntries>, 8>> mMarked;
    };

    // The entries, made this table's alone and taken as changed.
    std::vector<CZoneForDevice>& Own();
    const_iterator LowerBound(const std::string& zoneUid) const;
    template <class Predicate>
    iterator FindFromHint(Predicate predicate);

    std::shared_ptr<CEntries> mShared;
    std::size_t mPendingHint = 0;
};

}  // namespace ozra
