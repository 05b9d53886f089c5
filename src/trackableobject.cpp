#include "trackableobject.h"

namespace ozra {

CTrackableObject::CTrackableObject(libs::core::logger& logger) : m_logger(logger) {}

CTrackableObject::CTrackableObject(std::string uid, libs::core::logger& logger)
    : mUid(std::move(uid)), m_logger(logger) {}

CTrackableObject& CTrackableObject::operator=(const CTrackableObject& other) {
    mUid = other.mUid;
    mMacAddress = other.mMacAddress;
    mProjectUid = other.mProjectUid;
    mGroups = other.mGroups;
    return *this;
}

bool CTrackableObject::operator==(const CTrackableObject& other) const {
    return mMacAddress == other.mMacAddress && mProjectUid == other.mProjectUid && mGroups == other.mGroups;
}

void CTrackableObject::SetDownloadStatus(const CDownloadStatus& status) {
    timeval now{};
    gettimeofday(&now, nullptr);
    mCurDownloadStatus = status;
    RecordStatus(status);
    if (status.mName == DLS_IN_PROCESS) {
        return;
    }
    mActivityStatus = ACT_NONE;
    mRequestCounter = 0;
    mActivityTime = now;
    if (status.mName == DLS_OOSYNC) {
        mZones.MarkAll(DS_NEED_ADD, true);
    }
}

void CTrackableObject::ReportStatusAgain() {
    RecordStatus(mCurDownloadStatus);
}

void CTrackableObject::StatusesReported() {
    mDownloadStatusHistory.clear();
    mHistoryBoundWarned = false;
}

void CTrackableObject::RecordStatus(const CDownloadStatus& status) {
    if (!mDownloadStatusHistory.empty() && mDownloadStatusHistory.back() == status) {
        return;
    }
    mDownloadStatusHistory.push_back(status);
    if (mDownloadStatusHistory.size() <= history_bound) {
        return;
    }
    mDownloadStatusHistory.pop_front();
    if (!mHistoryBoundWarned) {
        mHistoryBoundWarned = true;
        m_logger.warning("Status history of %1% holds %2% unreported statuses; the oldest are dropped") %
            mUid % history_bound;
    }
}

std::ostream& operator<<(std::ostream& stream, const CTrackableObject& object) {
    const CDownloadStatus& current = object.mCurDownloadStatus;
    stream << " uid:" << object.mUid << " prj:" << object.mProjectUid << " mac:" << object.mMacAddress
           << " State:" << SrvStateName(object.mSrvState)
           << " CurDwldStat:" << DownloadStatusName(current.mName) << " Reason:" << current.mReason.String()
           << std::endl;
    stream << " Status history:";
    for (const CDownloadStatus& entry : object.mDownloadStatusHistory) {
        stream << ' ' << DownloadStatusName(entry.mName) << " Reason:" << entry.mReason.String();
    }
    stream << std::endl << " Groups:";
    for (const std::string& group : object.mGroups) {
        stream << ' ' << group;
    }
    stream << std::endl;
    for (const CZoneForDevice& zone : object.mZones) {
        stream << "  Zone:" << zone.ZoneUid() << ' ' << zone << std::endl;
    }
    return stream;
}

}  // namespace ozra
