#include "zone-download-status.h"

namespace ozra {

CZoneDownloadStatus::CZoneDownloadStatus(std::string uid, downloadStatusName_t name, std::string ts,
                                         std::string reason)
    : mTrObjectUid(std::move(uid)),
      mDownloadStatusName(name),
      mTs(std::move(ts)),
      mReason(std::move(reason)) {}

}  // namespace ozra
