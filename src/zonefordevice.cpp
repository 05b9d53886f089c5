#include "zonefordevice.h"

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

std::ostream& operator<<(std::ostream& stream, const CZoneForDevice& zone) {
    stream << "ID:" << zone.mZoneID << ' ' << SrvStateName(zone.mSrvState) << ' '
           << DevStateName(zone.mDevState);
    if (zone.mTooBig) {
        stream << " Too big";
    }
    return stream << " Errors:" << zone.mDownloadErrorCounter << ", last code: " << zone.mDownloadErrorCode;
}

}  // namespace ozra
