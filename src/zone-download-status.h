#pragma once

#include <string>

#include "trackableobject.h"

namespace ozra {

// One download status of a trackable object as stored on the server.
class CZoneDownloadStatus {
public:
    CZoneDownloadStatus(std::string uid, downloadStatusName_t name, std::string ts, std::string reason);

    const std::string& TrObjectUid() const { return mTrObjectUid; }

    std::string mTrObjectUid;
    downloadStatusName_t mDownloadStatusName;
    std::string mTs;
    std::string mReason;
};

}  // namespace ozra
