#include "device-zone-table.h"

#include <stdexcept>

#include "globals.h"

namespace ozra {

namespace {

// One descriptor as it enters the CRC.
struct CrcPiece {
    uint16_t mZoneID;
    bool mPendingAdd;
    const std::vector<uint8_t>* mBytes;
};

}  // namespace

std::vector<CZoneForDevice>& CDeviceZoneTable::Own() {
    if (Shared()) {
        auto copy = std::make_shared<CEntries>();
        copy->mList = mShared->mList;
        mShared = std::move(copy);
    }
    mShared->mCrcKnown = false;
    mShared->mMarked.reset();
    return mShared->mList;
}

template <class Predicate>
CDeviceZoneTable::iterator CDeviceZoneTable::FindFromHint(Predicate predicate) {
    const std::vector<CZoneForDevice>& list = mShared->mList;
    const auto hint = list.begin() + static_cast<std::ptrdiff_t>(std::min(mPendingHint, list.size()));
    auto found = std::find_if(hint, list.end(), predicate);
    if (found == list.end()) {
        found = std::find_if(list.begin(), hint, predicate);
        if (found == hint) {
            return end();
        }
    }
    const auto index = found - list.begin();
    mPendingHint = static_cast<std::size_t>(index) + 1;
    return Own().begin() + index;
}

CDeviceZoneTable::iterator CDeviceZoneTable::FindPending(uint16_t zoneId) {
    const iterator deletion = FindFromHint([zoneId](const CZoneForDevice& entry) {
        return entry.DeleteOutstanding() && entry.PendingZoneID() == zoneId;
    });
    if (deletion != end()) {
        return deletion;
    }
    return FindFromHint([zoneId](const CZoneForDevice& entry) {
        return !entry.DeleteOutstanding() && entry.PendingZoneID() == zoneId;
    });
}

CDeviceZoneTable::const_iterator CDeviceZoneTable::LowerBound(const std::string& zoneUid) const {
    return std::lower_bound(begin(), end(), zoneUid, [](const CZoneForDevice& entry, const std::string& uid) {
        return entry.ZoneUid() < uid;
    });
}

CDeviceZoneTable::const_iterator CDeviceZoneTable::find(const std::string& zoneUid) const {
    const const_iterator found = LowerBound(zoneUid);
    return found != end() && found->ZoneUid() == zoneUid ? found : end();
}

CDeviceZoneTable::iterator CDeviceZoneTable::find(const std::string& zoneUid) {
    const auto index = std::as_const(*this).find(zoneUid) - mShared->mList.cbegin();
    return Own().begin() + index;
}

const CZoneForDevice& CDeviceZoneTable::at(const std::string& zoneUid) const {
    const const_iterator found = find(zoneUid);
    if (found == end()) {
        throw std::out_of_range("no zone " + zoneUid + " in the device's table");
    }
    return *found;
}

CZoneForDevice& CDeviceZoneTable::at(const std::string& zoneUid) {
    const auto index = &std::as_const(*this).at(zoneUid) - mShared->mList.data();
    return Own()[static_cast<std::size_t>(index)];
}

std::pair<CDeviceZoneTable::iterator, bool> CDeviceZoneTable::insert(CZoneForDevice entry) {
    const std::vector<CZoneForDevice>& current = mShared->mList;
    const auto position = LowerBound(entry.ZoneUid());
    const auto index = position - current.begin();
    if (position != current.end() && position->ZoneUid() == entry.ZoneUid()) {
        return {Own().begin() + index, false};
    }
    std::vector<CZoneForDevice>& list = Own();
    return {list.insert(list.begin() + index, std::move(entry)), true};
}

CDeviceZoneTable::iterator CDeviceZoneTable::erase(const_iterator position) {
    const auto index = position - mShared->mList.cbegin();
    std::vector<CZoneForDevice>& list = Own();
    return list.erase(list.begin() + index);
}

void CDeviceZoneTable::MarkAll(devState_t state, bool dropRemoved) {
    const auto marked = [state, dropRemoved](const CZoneForDevice& entry) {
        return entry.mDevState == state && !entry.mOldDescriptor && !(dropRemoved && state == DS_NEED_REMOVE);
    };
    if (std::all_of(mShared->mList.begin(), mShared->mList.end(), marked)) {
        return;
    }
    const auto mark = [state, dropRemoved](std::vector<CZoneForDevice>& list) {
        if (dropRemoved) {
            list.erase(
                std::remove_if(list.begin(), list.end(),
                               [](const CZoneForDevice& entry) { return entry.mDevState == DS_NEED_REMOVE; }),
                list.end());
        }
        for (CZoneForDevice& entry : list) {
            entry.Mark(state);
        }
    };
    if (!Shared()) {
        mark(Own());
        return;
    }
    if (!mShared->mMarked) {
        mShared->mMarked = std::make_unique<std::array<std::shared_ptr<CEntries>, 8>>();
    }
    std::shared_ptr<CEntries>& variant =
        (*mShared->mMarked)[static_cast<std::size_t>(state) * 2 + (dropRemoved ? 1 : 0)];
    if (!variant) {
        variant = std::make_shared<CEntries>();
        variant->mList = mShared->mList;
        mark(variant->mList);
    }
    mShared = variant;
    mPendingHint = 0;
}

void CDeviceZoneTable::PendingAddsHeld() {
    const auto changing = [](const CZoneForDevice& entry) {
        return entry.mDevState == DS_NEED_UPDATE || entry.mDevState == DS_NEED_REMOVE;
    };
    const std::vector<CZoneForDevice>& list = mShared->mList;
    if (std::none_of(list.begin(), list.end(), changing)) {
        MarkAll(DS_DOWNLOADED, false);
        return;
    }
    for (CZoneForDevice& entry : Own()) {
        if (entry.mDevState == DS_NEED_ADD) {
            entry.Mark(DS_DOWNLOADED);
        }
    }
}

bool CDeviceZoneTable::UpToDate() const {
    return std::all_of(begin(), end(),
                       [](const CZoneForDevice& entry) { return entry.mDevState == DS_DOWNLOADED; });
}

uint16_t CDeviceZoneTable::CRC(bool withPendingAdds) const {
    CEntries& shared = *mShared;
    if (!shared.mCrcKnown) {
        std::vector<CrcPiece> pieces;
        pieces.reserve(shared.mList.size());
        for (const CZoneForDevice& entry : shared.mList) {
            const CZoneDescriptor* held = entry.HeldDescriptor();
            if (held != nullptr) {
                pieces.push_back({held->ZoneID(), false, &held->Bytes()});
            } else {
                pieces.push_back({entry.ZoneID(), true, &entry.mDescriptor->Bytes()});
            }
        }
        std::stable_sort(pieces.begin(), pieces.end(), [](const CrcPiece& left, const CrcPiece& right) {
            return left.mZoneID < right.mZoneID;
        });
        for (const bool pending : {false, true}) {
            std::size_t total = 0;
            for (const CrcPiece& piece : pieces) {
                total += pending || !piece.mPendingAdd ? piece.mBytes->size() : 0;
            }
            std::size_t left = total % 65536;
            uint16_t crc = crc16_initial;
            for (auto piece = pieces.begin(); piece != pieces.end() && left > 0; ++piece) {
                if (pending || !piece->mPendingAdd) {
                    const std::size_t length = std::min(left, piece->mBytes->size());
                    crc = Crc16Update(crc, piece->mBytes->data(), length);
                    left -= length;
                }
            }
            shared.mCrc[pending ? 1 : 0] = crc;
        }
        shared.mCrcKnown = true;
    }
    return shared.mCrc[withPendingAdds ? 1 : 0];
}

}  // namespace ozra
