#include <algorithm>
#include <utility>
#include <vector>

#include "core/line_format.h"
#include "device-frame.h"
#include "globals.h"
#include "metrics.h"
#include "server.h"
#include "trackableobject.h"

namespace ozra {

namespace {

constexpr long answer_timeout_seconds = 10;
constexpr uint32_t send_limit = 5;
constexpr std::size_t largest_descriptor_bytes = 250;
constexpr std::size_t batch_text_limit = 512;
constexpr std::size_t add_margin = 12;
constexpr std::size_t delete_margin = 14;

// Whole seconds from then to now.
long ElapsedSeconds(const timeval& then, const timeval& now) {
    long elapsed = static_cast<long>(now.tv_sec - then.tv_sec);
    if (now.tv_usec < then.tv_usec) {
        --elapsed;
    }
    return elapsed;
}

bool Before(const timeval& first, const timeval& second) {
    return first.tv_sec < second.tv_sec || (first.tv_sec == second.tv_sec && first.tv_usec < second.tv_usec);
}

}  // namespace

uint16_t CTrackableObject::CurrentCRC(bool withPendingAdds) const {
    return mZones.CRC(withPendingAdds);
}

void CTrackableObject::SendRequest(CServer& server, const std::string& frame, activityStatus_t activity) {
    server.SendUserMsg(mUid, frame);
    gettimeofday(&mActivityTime, nullptr);
    ++mRequestCounter;
    mActivityStatus = activity;
}

void CTrackableObject::Verify(CServer& server) {
    const uint16_t crc = CurrentCRC(true);
    const std::string frame = frame::CrcCommand(frame::CMD_CRC_REQUEST, crc);
    const auto scope =
        m_logger.enter_scope(libs::core::format_text("CRC request for %1%. My CRC: %2$#x", mUid, crc));
    SendRequest(server, frame, ACT_VERIFY_REQUEST);
}

void CTrackableObject::CRCAcknowledge(CServer& server) {
    const uint16_t crc = CurrentCRC(true);
    const std::string frame = frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, crc);
    const auto scope = m_logger.enter_scope(
        libs::core::format_text("KELT CRC Acknowledge for %1%. My CRC: %2$#x", mUid, crc));
    // A newer acknowledge carries the newer CRC: one still waiting behind another frame may go unsent.
    server.SendUserMsg(mUid, frame, true);
}

void CTrackableObject::ZoneDownloadRequest(CServer& server) {
    const std::string frame = frame::Command(frame::CMD_DOWNLOAD_REQUEST);
    const auto scope = m_logger.enter_scope(libs::core::format_text("Download request for %1%", mUid));
    SendRequest(server, frame, ACT_ZONE_DOWNLOAD_REQUEST);
}

void CTrackableObject::EraseAll(CServer& server) {
    const std::string frame = frame::Command(frame::CMD_ERASE_ALL);
    const auto scope = m_logger.enter_scope(libs::core::format_text("Erase all for %1%", mUid));
    SendRequest(server, frame, ACT_ERASE_ALL_REQUEST);
}

bool CTrackableObject::DownloadingZones(CServer& server) {
    const auto scope = m_logger.enter_scope(libs::core::format_text("Updating zones for %1%", mUid));
    // A zone is added under an ID only once the ID's deletion is done: a device replaces the zone it
    // holds under the ID on an add, and would lose it to a deletion that follows.
    std::vector<uint16_t> deleting;
    for (const CZoneForDevice& zone : std::as_const(mZones)) {
        if (zone.DeleteOutstanding()) {
            deleting.push_back(zone.PendingZoneID());
        }
    }
    std::sort(deleting.begin(), deleting.end());
    std::string records;
    for (CZoneForDevice& zone : mZones) {
        if (zone.mDevState == DS_DOWNLOADED || zone.GivenUp()) {
            continue;
        }
        if (zone.DeletePending()) {
            if (records.size() + delete_margin > batch_text_limit) {
                break;
            }
            const uint16_t zoneId = zone.PendingZoneID();
            records += frame::DeleteZoneRecord(zoneId);
            m_logger.debug("Delete zone: %1$#d/%2$#x") % zoneId % zoneId;
            continue;
        }
        if (zone.mTooBig || std::binary_search(deleting.begin(), deleting.end(), zone.ZoneID())) {
            continue;
        }
        const std::string& descriptor = zone.mDescriptor->Hex();
        if (descriptor.size() / 2 > largest_descriptor_bytes) {
            zone.mTooBig = true;
            continue;
        }
        if (records.size() + descriptor.size() + add_margin > batch_text_limit) {
            break;
        }
        records += frame::AddZoneRecord(descriptor);
        m_logger.debug("Add zone: %1$#d/%2$#x") % zone.ZoneID() % zone.ZoneID();
    }
    if (records.empty()) {
        m_logger.debug("Nothing to update");
        return false;
    }
    SendRequest(server, frame::ToDevice(records), ACT_DOWNLOADING_ZONES);
    return true;
}

void CTrackableObject::ZoneDownloadCompleted(CServer& server) {
    const uint16_t crc = CurrentCRC(false);
    const std::string frame = frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, crc);
    const auto scope =
        m_logger.enter_scope(libs::core::format_text("Download complete for %1%. My CRC: %2$#x", mUid, crc));
    SendRequest(server, frame, ACT_ZONE_DOWNLOAD_COMPLETED);
}

void CTrackableObject::Supervise(CServer& server, const timeval& now) {
    if (mCurDownloadStatus.mName == DLS_UNKNOWN && mActivityStatus != ACT_VERIFY_REQUEST) {
        mZones.MarkAll(DS_DOWNLOADED, true);
        Verify(server);
        return;
    }
    if (mActivityStatus == ACT_NONE) {
        return;
    }
    // The answer time-out counts from the moment the server took the frames: queued ones are not unanswered.
    const CRequestPool::Settled frames = server.TakeFramesSent(mUid);
    if (frames.mWaiting) {
        return;
    }
    if (frames.mAt && Before(mActivityTime, *frames.mAt)) {
        mActivityTime = *frames.mAt;
    }
    if (ElapsedSeconds(mActivityTime, now) <= answer_timeout_seconds) {
        return;
    }
    if (mRequestCounter >= send_limit) {
        if (mActivityStatus != ACT_VERIFY_REQUEST) {
            Metrics().DownloadEnded(false);
        }
        SetDownloadStatus(CDownloadStatus(
            DLS_OOSYNC, DownloadStatusReason::SimpleReason(DownloadStatusReason::DISCONNECTED)));
        return;
    }
    switch (mActivityStatus) {
        case ACT_ERASE_ALL_REQUEST:
            EraseAll(server);
            break;
        case ACT_ZONE_DOWNLOAD_REQUEST:
            ZoneDownloadRequest(server);
            break;
        case ACT_VERIFY_REQUEST:
            Verify(server);
            break;
        case ACT_DOWNLOADING_ZONES:
            if (!DownloadingZones(server)) {
                ZoneDownloadCompleted(server);
            }
            break;
        case ACT_ZONE_DOWNLOAD_COMPLETED:
            ZoneDownloadCompleted(server);
            break;
        case ACT_NONE:
            break;
    }
}

}  // namespace ozra
