#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "srv-state.h"

namespace ozra {

// What the device still has to do for one zone.
enum devState_t : uint32_t {
    DS_NEED_ADD = 0,
    DS_NEED_UPDATE = 1,
    DS_NEED_REMOVE = 2,
    DS_DOWNLOADED = 3,
};

// "NEED_ADD", "NEED_UPDATE", "NEED_REMOVE" or "DOWNLOADED"; empty for another value.
const char* DevStateName(devState_t state);

// One zone as a device should hold it.
class CZoneForDevice {
public:
    CZoneForDevice(uint16_t zoneId, std::string descriptor)
        : mZoneID(zoneId), mDescriptor(std::move(descriptor)) {}

    // The descriptor the device holds for this zone; empty while DS_NEED_ADD.
    const std::string& HeldDescriptor() const;
    // The zone ID the device holds the zone under; differs from mZoneID while an update changes it.
    uint16_t HeldZoneID() const;
    // An update that changes the zone ID: the old ID is deleted from the device before the zone is added.
    bool DeletesFirst() const;
    // The zone ID of the record the device is to report on next.
    uint16_t PendingZoneID() const;
    // Makes the entry aim at the descriptor, from what the device holds: nothing held stays DS_NEED_ADD,
    // the same descriptor held becomes DS_DOWNLOADED, another one DS_NEED_UPDATE. A new descriptor
    // clears the too-large mark. True when the device has work it did not have before.
    bool Retarget(uint16_t zoneId, std::string descriptor);
    // The zone no longer applies: false when the device holds nothing (the entry is to be dropped);
    // otherwise the held descriptor is to be removed (DS_NEED_REMOVE).
    bool StopApplying();

    srvState mSrvState = srvState::NEW;
    devState_t mDevState = DS_NEED_ADD;
    uint16_t mZoneID;
    std::string mOldDescriptor;  // held by the device while DS_NEED_UPDATE
    std::string mDescriptor;
    bool mTooBig = false;
    uint32_t mDownloadErrorCounter = 0;
    uint32_t mDownloadErrorCode = 0;
};

std::ostream& operator<<(std::ostream& stream, const CZoneForDevice& zone);

}  // namespace ozra
