#include "kelt.h"
#include "metrics.h"

namespace ozra {

namespace reason = DownloadStatusReason;

namespace {

void SetStatus(CTrackableObject& object, downloadStatusName_t name, const reason::Reason& why) {
    object.SetDownloadStatus(CDownloadStatus(name, why));
}

void SetStatus(CTrackableObject& object, downloadStatusName_t name, reason::ReasonType type) {
    SetStatus(object, name, reason::SimpleReason(type));
}

}  // namespace

bool kelt::IsRequested(const CTrackableObject& object, activityStatus_t activity, const char* message) const {
    if (object.mActivityStatus == activity) {
        return true;
    }
    m_logger.debug(message);
    return false;
}

void kelt::SetUpdatedUnlessPending(CTrackableObject& object) {
    if (object.mZones.UpToDate()) {
        SetStatus(object, DLS_UPDATED, reason::NoReason());
    } else {
        SetStatus(object, DLS_OUTDATED, reason::CHANGE);
    }
}

bool kelt::ZoneActionStatusReport(const std::string& uid, uint32_t zoneId, uint32_t errorCode) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    m_logger.debug("Zone action status report: zoneID: %1$#d/%2$#x errorCode: %3$#d") % zoneId % zoneId %
        errorCode;
    if (!IsRequested(object, ACT_DOWNLOADING_ZONES, "Zone changes were not requested")) {
        return false;
    }
    const auto found =
        zoneId <= UINT16_MAX ? object.mZones.FindPending(static_cast<uint16_t>(zoneId)) : object.mZones.end();
    if (found == object.mZones.end()) {
        m_logger.debug("Zone %1$#x not found") % zoneId;
        return false;
    }
    if (found->mDevState == DS_DOWNLOADED) {
        m_logger.debug("Zone %1$#x download confirmation already received") % zoneId;
        return false;
    }
    object.mRequestCounter = 0;
    if (errorCode != 0) {
        found->Failed(static_cast<uint8_t>(errorCode));
    } else if (!found->Confirmed()) {
        object.mZones.erase(found);
    }
    return true;
}

void kelt::CrcResponse(const std::string& uid, uint32_t crc) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    object.mRequestCounter = 0;
    const uint16_t mine = object.CurrentCRC(false);
    m_logger.debug("CRC response: %1$#x (my CRC: %2$#x)") % crc % mine;
    if (object.mActivityStatus == ACT_VERIFY_REQUEST) {
        object.mActivityStatus = ACT_NONE;
    }
    if (crc != mine) {
        SetStatus(object, DLS_OOSYNC, reason::CRC_MISMATCH);
    } else if (object.mCurDownloadStatus.mName == DLS_UNKNOWN) {
        SetUpdatedUnlessPending(object);
    }
}

void kelt::CrcReport(const std::string& uid, uint32_t crc) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    object.mRequestCounter = 0;
    const uint16_t mine = object.CurrentCRC(true);
    m_logger.debug("VESK CRC Report: %1$#x (my CRC: %2$#x)") % crc % mine;
    const CDownloadStatus& status = object.mCurDownloadStatus;
    if (crc != mine) {
        SetStatus(object, DLS_OOSYNC, reason::CRC_MISMATCH);
    } else if (status.mName == DLS_UNKNOWN ||
               (status.mName == DLS_OOSYNC && status.mReason.Type() == reason::DISCONNECTED)) {
        object.mZones.PendingAddsHeld();
        SetUpdatedUnlessPending(object);
    }
    object.CRCAcknowledge(*m_server);
}

bool kelt::EraseAllConfirm(const std::string& uid, uint32_t errorCode) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    m_logger.debug("Erase all confirm. Error code: %1$#d") % errorCode;
    if (!IsRequested(object, ACT_ERASE_ALL_REQUEST, "Erase all was not requested")) {
        return false;
    }
    if (errorCode != 0) {
        Metrics().DownloadEnded(false);
        SetStatus(object, DLS_OOSYNC, reason::REQUEST_REJECTED);
        return true;
    }
    object.mRequestCounter = 0;
    ContinueDownload(object);
    return true;
}

bool kelt::ResponseDownloadRequest(const std::string& uid, uint32_t code) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    m_logger.debug("Response to download request. Response code: %1$#d") % code;
    if (!IsRequested(object, ACT_ZONE_DOWNLOAD_REQUEST, "Download request was not requested")) {
        return false;
    }
    object.mRequestCounter = 0;
    if (code == 1) {
        Metrics().DownloadEnded(false);
        SetStatus(object, DLS_OOSYNC, reason::REQUEST_REJECTED);
        return true;
    }
    const bool outOfSync = object.mCurDownloadStatus.mName == DLS_OOSYNC;
    SetStatus(object, DLS_IN_PROCESS, reason::NoReason());
    if (outOfSync) {
        object.EraseAll(*m_server);
    } else {
        ContinueDownload(object);
    }
    return true;
}

bool kelt::DownloadCompleteConfirm(const std::string& uid, uint32_t crc) {
    CTrackableObject& object = EnsureTrackableExists(uid);
    const uint16_t mine = object.CurrentCRC(false);
    m_logger.debug("Download complete confirmation CRC: %1$#x (my CRC: %2$#x)") % crc % mine;
    if (!IsRequested(object, ACT_ZONE_DOWNLOAD_COMPLETED, "Download complete was not requested")) {
        return false;
    }
    object.mActivityStatus = ACT_NONE;
    object.mRequestCounter = 0;
    Metrics().DownloadEnded(crc == mine);
    if (crc != mine) {
        SetStatus(object, DLS_OOSYNC, reason::CRC_MISMATCH);
        return true;
    }
    ReportFirstFailedZone(object);
    return true;
}

void kelt::ReportFirstFailedZone(CTrackableObject& object) {
    for (const CZoneForDevice& zone : std::as_const(object.mZones)) {
        if (!zone.mTooBig && zone.mDownloadErrorCounter == 0) {
            continue;
        }
        // A zone deleted on the server meanwhile is no longer in the zone map; it is reported without a name.
        const auto named = mZones.find(zone.ZoneUid());
        const std::string name = named != mZones.end() ? named->second.mName : std::string();
        const int zoneId = zone.PendingZoneID();
        const int code = static_cast<int>(zone.mDownloadErrorCode);
        if (zone.mTooBig) {
            SetStatus(object, DLS_OUTDATED, reason::TooLargeZone(zoneId, name));
        } else if (zone.mDevState == DS_NEED_REMOVE || zone.DeletesFirst()) {
            SetStatus(object, DLS_OUTDATED, reason::DeleteFailed(zoneId, name, code));
        } else if (zone.mDevState == DS_NEED_ADD || zone.mDevState == DS_NEED_UPDATE) {
            SetStatus(object, DLS_OUTDATED, reason::AddFailed(zoneId, name, code));
        }
        return;
    }
    SetUpdatedUnlessPending(object);
}

}  // namespace ozra
