#pragma once

#include <sys/time.h>

#include <cstdint>
#include <list>
#include <ostream>
#include <set>
#include <string>

#include "core/logger.h"
#include "device-zone-table.h"
#include "download-status.h"
#include "globals.h"
#include "srv-state.h"
#include "unassociated-trackable-objects.h"

namespace ozra {

class CServer;

// The request outstanding at a device.
enum activityStatus_t : uint32_t {
    ACT_NONE = 0,
    ACT_ERASE_ALL_REQUEST = 1,
    ACT_ZONE_DOWNLOAD_REQUEST = 2,
    ACT_VERIFY_REQUEST = 3,
    ACT_DOWNLOADING_ZONES = 4,
    ACT_ZONE_DOWNLOAD_COMPLETED = 5,
};

// A trackable object: its identity on the server, the zones its device must hold and its download state.
class CTrackableObject {
public:
    explicit CTrackableObject(libs::core::logger& logger);
    CTrackableObject(std::string uid, libs::core::logger& logger);
    CTrackableObject(const CTrackableObject&) = default;
    ~CTrackableObject() = default;

    // Takes over only the identity (uid, MAC address, project, groups); the download state stays.
    CTrackableObject& operator=(const CTrackableObject& other);
    // Same MAC address, project and groups.
    bool operator==(const CTrackableObject& other) const;
    bool operator!=(const CTrackableObject& other) const { return !(*this == other); }

    // Sets and records the status; any status but DLS_IN_PROCESS ends the outstanding request, and
    // DLS_OOSYNC drops the zones to remove and marks all others to be added again.
    void SetDownloadStatus(const CDownloadStatus& status);
    // Records the current status again, for a server whose stored status is stale.
    void ReportStatusAgain();
    // The server has every recorded status.
    void StatusesReported();

    // Zone download: each request is sent as a device frame through server.SendUserMsg.
    // CRC16 of the descriptors the device holds, in zone ID order; withPendingAdds counts the zones
    // still to be added too. Raises on a descriptor that is no hexadecimal text.
    uint16_t CurrentCRC(bool withPendingAdds) const;
    void Verify(CServer& server);
    // Answers the device's CRC report; the outstanding request stays as it is.
    void CRCAcknowledge(CServer& server);
    void ZoneDownloadRequest(CServer& server);
    void EraseAll(CServer& server);
    // Sends the next batch of zones to add or delete; false when there is nothing to send.
    bool DownloadingZones(CServer& server);
    void ZoneDownloadCompleted(CServer& server);
    // Periodic step at the time now: the first CRC request of an unknown device, or the resend of an
    // unanswered request after the time-out, until the send limit makes the device "disconnected".
    void Supervise(CServer& server, const timeval& now);

    std::string mUid;
    std::string mProjectUid;
    std::string mMacAddress;
    CDeviceZoneTable mZones;  // by zone uid
    std::set<std::string> mGroups;
    srvState mSrvState = srvState::NEW;
    CDownloadStatus mCurDownloadStatus{DLS_UNKNOWN, DownloadStatusReason::NoReason()};
    std::list<CDownloadStatus> mDownloadStatusHistory;  // oldest first, emptied by the status report
    activityStatus_t mActivityStatus = ACT_NONE;
    timeval mActivityTime{};  // moved on to the time the server took the frame, once supervision learns it
    uint32_t mRequestCounter = 0;
    libs::core::logger& m_logger;

    // Most statuses a history holds while the server cannot be told.
    static constexpr std::size_t history_bound = 64;

private:
    bool mHistoryBoundWarned = false;

    // Appends to the history unless it repeats the last entry; beyond the bound the oldest goes.
    void RecordStatus(const CDownloadStatus& status);
    // Sends the frame and records it as the outstanding request.
    void SendRequest(CServer& server, const std::string& frame, activityStatus_t activity);
};

std::ostream& operator<<(std::ostream& stream, const CTrackableObject& object);

}  // namespace ozra
