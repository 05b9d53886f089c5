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
