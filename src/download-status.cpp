#include "download-status.h"

#include "core/exception.h"
#include "globals.h"

namespace ozra {

const char* DownloadStatusName(downloadStatusName_t name) {
    switch (name) {
        case DLS_UNKNOWN:
            return "UNKNOWN";
        case DLS_OUTDATED:
            return "OUTDATED";
        case DLS_IN_PROCESS:
            return "IN_PROCESS";
        case DLS_UPDATED:
            return "UPDATED";
        case DLS_OOSYNC:
            return "OOSYNC";
    }
    return "";
}

namespace DownloadStatusReason {

namespace {

std::string ZonePrefix(int32_t zoneId) {
    return "zone " + std::to_string(zoneId) + "-";
}

}  // namespace

Reason NoReason() {
    return Reason(NO_REASON, "");
}

Reason SimpleReason(ReasonType type) {
    switch (type) {
        case CRC_MISMATCH:
            return Reason(type, "CRC mismatch");
        case REQUEST_REJECTED:
            return Reason(type, "download request rejected");
        case DISCONNECTED:
            return Reason(type, "disconnected");
        case CHANGE:
            return Reason(type, "zone or trackable changed");
        case NOT_ASSOCIATED:
            return Reason(type, "not associated");
        default:
            OZRA_THROW("Unknown reason");
    }
}

Reason TooLargeZone(int32_t zoneId, const std::string& name) {
    return Reason(TOO_LARGE_ZONE, ZonePrefix(zoneId) + name + " too large");
}

Reason AddFailed(int32_t zoneId, const std::string& name, int32_t code) {
    return Reason(ADD_FAILED, ZonePrefix(zoneId) + Quoted(name, '"', '\\') + " add failed with code " +
                                  std::to_string(code));
}

Reason DeleteFailed(int32_t zoneId, const std::string& name, int32_t code) {
    return Reason(DELETE_FAILED, ZonePrefix(zoneId) + Quoted(name, '"', '\\') + " delete failed with code " +
                                     std::to_string(code));
}

}  // namespace DownloadStatusReason

}  // namespace ozra
