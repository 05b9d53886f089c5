#include "zonefordevice.h"

#include <limits>

namespace ozra {

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

const CZoneDescriptor* CZoneForDevice::HeldDescriptor() const {
    switch (mDevState) {
        case DS_NEED_ADD:
            return nullptr;
        case DS_NEED_UPDATE:
            return mOldDescriptor.get();
        case DS_NEED_REMOVE:
        case DS_DOWNLOADED:
            break;
    }
    return mDescriptor.get();
}

bool CZoneForDevice::Retarget(const CDescriptorRef& descriptor) {
    const devState_t before = mDevState;
    const bool newDescriptor = !SameDescriptor(*descriptor, *mDescriptor);
    if (newDescriptor) {
        mTooBig = false;
    }
    if (before == DS_NEED_REMOVE) {
        ClearErrors();
    }
    CDescriptorRef held(HeldDescriptor());
    mDescriptor = descriptor;
    if (before == DS_NEED_ADD) {
        return newDescriptor;
    }
    if (SameDescriptor(*held, *descriptor)) {
        mDescriptor = held;
        Mark(DS_DOWNLOADED);
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
            mDescriptor = std::move(mOldDescriptor);
            mOldDescriptor.reset();
            break;
        case DS_NEED_REMOVE:
        case DS_DOWNLOADED:
            break;
    }
    mDevState = DS_NEED_REMOVE;
    return true;
}

bool CZoneForDevice::Confirmed() {
    ClearErrors();
    switch (mDevState) {
        case DS_NEED_REMOVE:
            return false;
        case DS_NEED_UPDATE:
            if (DeletesFirst()) {
                Mark(DS_NEED_ADD);
                return true;
            }
            break;
        case DS_NEED_ADD:
        case DS_DOWNLOADED:
            break;
    }
    Mark(DS_DOWNLOADED);
    return true;
}

void CZoneForDevice::Failed(uint8_t errorCode) {
    mDownloadErrorCode = errorCode;
    if (mDownloadErrorCounter < std::numeric_limits<uint8_t>::max()) {
        ++mDownloadErrorCounter;
    }
}

void CZoneForDevice::Mark(devState_t state) {
    mDevState = state;
    mOldDescriptor.reset();
}

void CZoneForDevice::ClearErrors() {
    mDownloadErrorCounter = 0;
    mDownloadErrorCode = 0;
}

std::ostream& operator<<(std::ostream& stream, const CZoneForDevice& zone) {
    stream << "ID:" << zone.ZoneID() << ' ' << SrvStateName(zone.mSrvState) << ' '
           << DevStateName(zone.mDevState);
    if (zone.mTooBig) {
        stream << " Too big";
    }
    return stream << " Errors:" << static_cast<unsigned>(zone.mDownloadErrorCounter)
                  << ", last code: " << static_cast<unsigned>(zone.mDownloadErrorCode);
}

}  // namespace ozra
