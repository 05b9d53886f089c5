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

CDeviceZoneTable::iterator CDeviceZoneTable::FindPending(uint16_t zoneId) {
    const auto carries = [zoneId](const CZoneForDevice& entry) { return entry.PendingZoneID() == zoneId; };
    const auto hint = mEntries.begin() + static_cast<std::ptrdiff_t>(std::min(mPendingHint, mEntries.size()));
    auto found = std::find_if(hint, mEntries.end(), carries);
    if (found == mEntries.end()) {
        found = std::find_if(mEntries.begin(), hint, carries);
        if (found == hint) {
            return mEntries.end();
        }
    }
    Changed();
    mPendingHint = static_cast<std::size_t>(found - mEntries.begin()) + 1;
    return found;
}

CDeviceZoneTable::const_iterator CDeviceZoneTable::LowerBound(const std::string& zoneUid) const {
    return std::lower_bound(
        mEntries.begin(), mEntries.end(), zoneUid,
        [](const CZoneForDevice& entry, const std::string& uid) { return entry.ZoneUid() < uid; });
}

CDeviceZoneTable::const_iterator CDeviceZoneTable::find(const std::string& zoneUid) const {
    const const_iterator found = LowerBound(zoneUid);
    return found != mEntries.end() && found->ZoneUid() == zoneUid ? found : mEntries.end();
}

CDeviceZoneTable::iterator CDeviceZoneTable::find(const std::string& zoneUid) {
    Changed();
    return mEntries.begin() + (std::as_const(*this).find(zoneUid) - mEntries.cbegin());
}

const CZoneForDevice& CDeviceZoneTable::at(const std::string& zoneUid) const {
    const const_iterator found = find(zoneUid);
    if (found == mEntries.end()) {
        throw std::out_of_range("no zone " + zoneUid + " in the device's table");
    }
    return *found;
}

CZoneForDevice& CDeviceZoneTable::at(const std::string& zoneUid) {
    Changed();
    return const_cast<CZoneForDevice&>(std::as_const(*this).at(zoneUid));
}

std::pair<CDeviceZoneTable::iterator, bool> CDeviceZoneTable::insert(CZoneForDevice entry) {
    Changed();
    if (mEntries.empty() || mEntries.back().ZoneUid() < entry.ZoneUid()) {
        mEntries.push_back(std::move(entry));
        return {std::prev(mEntries.end()), true};
    }
    const auto position = mEntries.begin() + (LowerBound(entry.ZoneUid()) - mEntries.cbegin());
    if (position != mEntries.end() && position->ZoneUid() == entry.ZoneUid()) {
        return {position, false};
    }
    return {mEntries.insert(position, std::move(entry)), true};
}

uint16_t CDeviceZoneTable::CRC(bool withPendingAdds) const {
    if (!mCrcKnown) {
        std::vector<CrcPiece> pieces;
        pieces.reserve(mEntries.size());
        for (const CZoneForDevice& entry : mEntries) {
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
            mCrc[pending ? 1 : 0] = crc;
        }
        mCrcKnown = true;
    }
    return mCrc[withPendingAdds ? 1 : 0];
}

}  // namespace ozra
