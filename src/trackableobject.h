#pragma once

#include <sys/time.h>

#include <cstdint>
#include <list>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "core/logger.h"
#include "download-status.h"
#include "globals.h"
#include "srv-state.h"
#include "unassociated-trackable-objects.h"
#include "zonefordevice.h"

namespace ozra {

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

    std::string mUid;
    std::string mProjectUid;
    std::string mMacAddress;
    std::map<std::string, CZoneForDevice> mZones;  // by zone uid
    std::set<std::string> mGroups;
    srvState mSrvState = srvState::NEW;
    CDownloadStatus mCurDownloadStatus{DLS_UNKNOWN, DownloadStatusReason::NoReason()};
    std::list<CDownloadStatus> mDownloadStatusHistory;  // oldest first, emptied by the status report
    activityStatus_t mActivityStatus = ACT_NONE;
    timeval mActivityTime{};
    uint32_t mRequestCounter = 0;
    libs::core::logger& m_logger;
};

std::ostream& operator<<(std::ostream& stream, const CTrackableObject& object);

}  // namespace ozra
