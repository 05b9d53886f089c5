#include "tag-summary.h"

namespace ozra {

std::string GroupedCount(std::size_t count) {
    std::string digits = std::to_string(count);
    for (auto position = digits.size(); position > 3; position -= 3) {
        digits.insert(position - 3, ",");
    }
    return digits;
}

CTagCounts CountTags(const std::map<std::string, CTrackableObject>& objects,
                     const CUnassociatedTrackableObjects& unassociated) {
    CTagCounts counts;
    for (const auto& [uid, object] : objects) {
        const CDownloadStatus& status = object.mCurDownloadStatus;
        ++counts.mByStatus.at(status.mName);
        if (status.mName == DLS_OOSYNC && status.mReason.Type() == DownloadStatusReason::DISCONNECTED) {
            ++counts.mDisconnected;
        }
    }
    unassociated.ForEachTO([&counts](const std::string&) {
        ++counts.mByStatus[DLS_OOSYNC];
        return true;
    });
    return counts;
}

std::string TagSummary(const CTagCounts& counts) {
    std::size_t total = 0;
    std::string parts;
    for (const downloadStatusName_t name :
         {DLS_UPDATED, DLS_OUTDATED, DLS_IN_PROCESS, DLS_OOSYNC, DLS_UNKNOWN}) {
        const std::size_t count = counts.mByStatus[name];
        total += count;
        if (name != DLS_UNKNOWN || count != 0) {
            parts += (parts.empty() ? "" : ", ") + GroupedCount(count) + " " + DownloadStatusName(name);
        }
    }
    return GroupedCount(total) + " tags: " + parts;
}

}  // namespace ozra
