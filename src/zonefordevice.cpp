#include "zonefordevice.h"

namespace ozra {

namespace {

const std::string no_descriptor;

// The zone ID that a descriptor carries in its second field.
uint16_t DescriptorZoneID(const std::string& descriptor) {
    return static_cast<uint16_t>(std::stoul(descriptor.substr(4, 4), nullptr, 16));
}

}  // namespace

const std::string& CZoneForDevice::HeldDescriptor() const {
    switch (mDevState) {
        case DS_NEED_ADD:
            return no_descriptor;
        case DS_NEED_UPDATE:
            return mOldDescriptor;
        case DS_NEED_REMOVE:
        case DS_DOWNLOADED:
            break;
    }
    return mDescriptor;
}

uint16_t CZoneForDevice::HeldZoneID() const {
    return mDevState == DS_NEED_UPDATE ? DescriptorZoneID(mOldDescriptor) : mZoneID;
}

bool CZoneForDevice::DeletesFirst() const {
    return mDevState == DS_NEED_UPDATE && HeldZoneID() != mZoneID;
}

uint16_t CZoneForDevice::PendingZoneID() const {
    return DeletesFirst() ? HeldZoneID() : mZoneID;
}

bool CZoneForDevice::Retarget(uint16_t zoneId, std::string descriptor) {
    const devState_t before = mDevState;
    const bool newDescriptor = descriptor != mDescriptor;
    if (newDescriptor) {
        mTooBig = false;
    }
    if (before == DS_NEED_REMOVE) {
        mDownloadErrorCounter = 0;
        mDownloadErrorCode = 0;
    }
    std::string held = HeldDescriptor();
    mZoneID = zoneId;
    mDescriptor = std::move(descriptor);
    if (before == DS_NEED_ADD) {
        return newDescriptor;
    }
    if (held == mDescriptor) {
        mDevState = DS_DOWNLOADED;
        mOldDescriptor.clear();
        return false;
    }
    mDevState = DS_NEED_UPDATE;
    mOldDescriptor = std::move(held);
    return newDescriptor || before == DS_NEED_REMOVE;
}

bool CZoneForDevice::StopApplying() {
    switch (mDevState) {
        case DS_NEED_ADD:
            return false;
        case DS_NEED_UPDATE:
            mZoneID = HeldZoneID();
            mDescriptor = std::move(mOldDescriptor);
            mOldDescriptor.clear();
            break;
        case DS_NEED_REMOVE:
        case DS_DOWNLOADED:
            break;
    }
    mDevState = DS_NEED_REMOVE;
    return true;
}

const char* DevStateName(devState_t state) {
    switch (state) {
        case DS_NEED_ADD:
            return "NEED_ADD";
        case DS_NEED_UPDATE:
            return "NEED_UPDATE";
        case DS_NEED_REMOVE:
            return "NEED_REMOVE";
        case DS_DOWNLOADED:
            return "DOWNLOADED";
    }
    return "";
}

std::ostream& operator<<(std::ostream& stream, const CZoneForDevice& zone) {
    stream << "ID:" << zone.mZoneID << ' ' << SrvStateName(zone.mSrvState) << ' '
           << DevStateName(zone.mDevState);
    if (zone.mTooBig) {
        stream << " Too big";
    }
    return stream << " Errors:" << zone.mDownloadErrorCounter << ", last code: " << zone.mDownloadErrorCode;
}

}  // namespace ozra
