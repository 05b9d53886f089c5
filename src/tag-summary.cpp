#include "tag-summary.h"

#include <array>

namespace ozra {

std::string GroupedCount(std::size_t count) {
    std::string digits = std::to_string(count);
    for (auto position = digits.size(); position > 3; position -= 3) {
        digits.insert(position - 3, ",");
    }
    return digits;
}

std::string TagSummary(const std::map<std::string, CTrackableObject>& objects,
                       const CUnassociatedTrackableObjects& unassociated) {
    std::array<std::size_t, DLS_OOSYNC + 1> counts{};
    for (const auto& [uid, object] : objects) {
        ++counts.at(object.mCurDownloadStatus.mName);
    }
    unassociated.ForEachTO([&counts](const std::string&) {
        ++counts[DLS_OOSYNC];
        return true;
    });
    std::size_t total = 0;
    std::string parts;
    for (const downloadStatusName_t name :
         {DLS_UPDATED, DLS_OUTDATED, DLS_IN_PROCESS, DLS_OOSYNC, DLS_UNKNOWN}) {
        total += counts[name];
        if (name != DLS_UNKNOWN || counts[name] != 0) {
            parts +=
                (parts.empty() ? "" : ", ") + GroupedCount(counts[name]) + " " + DownloadStatusName(name);
        }
    }
    return GroupedCount(total) + " tags: " + parts;
}

}  // namespace ozra
