#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "srv-state.h"
#include "zone-descriptor.h"

namespace ozra {

// What the device still has to do for one zone.
enum devState_t : uint8_t {
    DS_NEED_ADD = 0,
    DS_NEED_UPDATE = 1,
    DS_NEED_REMOVE = 2,
    DS_DOWNLOADED = 3,
};

// "NEED_ADD", "NEED_UPDATE", "NEED_REMOVE" or "DOWNLOADED"; empty for another value.
const char* DevStateName(devState_t state);

// One zone as a device should hold it. The descriptors are shared with every other device that holds
// the same zone; the entry keeps only what differs per device.
class CZoneForDevice {
public:
    // Failed attempts after which a zone is no longer sent.
    static constexpr uint8_t attempt_limit = 2;

    explicit CZoneForDevice(CDescriptorRef descriptor) : mDescriptor(std::move(descriptor)) {}

    const std::string& ZoneUid() const { return mDescriptor->ZoneUid(); }
    // The zone ID of the descriptor the device must hold (for DS_NEED_REMOVE and DS_DOWNLOADED: holds).
    uint16_t ZoneID() const { return mDescriptor->ZoneID(); }
    // The descriptor the device holds for this zone; null while DS_NEED_ADD.
    const CZoneDescriptor* HeldDescriptor() const;
    // The zone ID the device holds the zone under; differs from ZoneID() while an update changes it.
    uint16_t HeldZoneID() const { return mDevState == DS_NEED_UPDATE ? mOldDescriptor->ZoneID() : ZoneID(); }
    // An update that changes the zone ID: the old ID is deleted from the device before the zone is added.
    bool DeletesFirst() const { return mDevState == DS_NEED_UPDATE && HeldZoneID() != ZoneID(); }
    // The zone ID of the record the device is to report on next.
    uint16_t PendingZoneID() const { return DeletesFirst() ? HeldZoneID() : ZoneID(); }
    // The next record for the zone is a Delete zone record.
    bool DeletePending() const { return mDevState == DS_NEED_REMOVE || DeletesFirst(); }
    // The device rejected the zone too often: it is not sent again until the errors are cleared.
    bool GivenUp() const { return mDownloadErrorCounter >= attempt_limit; }
    // A Delete zone record for PendingZoneID() is still to be sent or confirmed.
    bool DeleteOutstanding() const { return DeletePending() && !GivenUp(); }
    // Makes the entry aim at the descriptor, from what the device holds: nothing held stays DS_NEED_ADD,
    // the same descriptor held becomes DS_DOWNLOADED, another one DS_NEED_UPDATE. A new descriptor
    // clears the too-large mark. True when the device has work it did not have before.
    bool Retarget(const CDescriptorRef& descriptor);
    // The zone no longer applies: false when the device holds nothing (the entry is to be dropped);
    // otherwise the held descriptor is to be removed (DS_NEED_REMOVE).
    bool StopApplying();
    // The device confirmed the record it was sent last with error code 0; false when the entry is gone
    // from the device's table (a confirmed delete).
    bool Confirmed();
    void Failed(uint8_t errorCode);
    void ClearErrors();
    // Sets the device state outright, as a verification or a lost table decides it.
    void Mark(devState_t state);

    CDescriptorRef mDescriptor;     // the descriptor the device must hold (or holds, see ZoneID)
    CDescriptorRef mOldDescriptor;  // held by the device while DS_NEED_UPDATE
    srvState mSrvState = srvState::NEW;
    devState_t mDevState = DS_NEED_ADD;
    bool mTooBig = false;
    uint8_t mDownloadErrorCounter = 0;  // saturates at 255
    uint8_t mDownloadErrorCode = 0;
};

std::ostream& operator<<(std::ostream& stream, const CZoneForDevice& zone);

}  // namespace ozra
