#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/logger.h"
#include "tag-summary.h"

namespace ozra {

namespace reason = DownloadStatusReason;

// Managed tags count by status, disconnected ones also on their own; unassociated ones count as OOSYNC.
TEST(TagSummaryTest, CountsManagedTagsByStatusAndUnassociatedOnesAsOosync) {
    libs::core::logger logger("varnok-test", "main");
    const CDownloadStatus disconnected(DLS_OOSYNC, reason::SimpleReason(reason::DISCONNECTED));
    const CDownloadStatus mismatch(DLS_OOSYNC, reason::SimpleReason(reason::CRC_MISMATCH));
    const auto status = [](downloadStatusName_t name) { return CDownloadStatus(name, reason::NoReason()); };
    // Statuses (DLS_UNKNOWN: never set), unassociated uids with their synchronised flag, the summary / the
    // disconnected count.
    for (const auto& [statuses, unassociatedUids, summary] :
         std::vector<std::tuple<std::vector<CDownloadStatus>, std::vector<std::pair<std::string, bool>>,
                                std::string>>{
             {{status(DLS_UPDATED), status(DLS_OUTDATED), status(DLS_IN_PROCESS), disconnected,
               status(DLS_UPDATED)},
              {},
              "5 tags: 2 UPDATED, 1 OUTDATED, 1 IN_PROCESS, 1 OOSYNC / 1"},
             {{status(DLS_UNKNOWN), status(DLS_UNKNOWN), mismatch, disconnected},
              {{"u1", false}, {"u2", true}},
              "6 tags: 0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 4 OOSYNC, 2 UNKNOWN / 1"},
             {std::vector<CDownloadStatus>(1001, status(DLS_UPDATED)),
              {{"u1", true}},
              "1,002 tags: 1,001 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC / 0"},
         }) {
        std::map<std::string, CTrackableObject> objects;
        for (std::size_t i = 0; i < statuses.size(); ++i) {
            const std::string uid = "t" + std::to_string(i);
            auto& object = objects.emplace(uid, CTrackableObject(uid, logger)).first->second;
            if (statuses[i].mName != DLS_UNKNOWN) {
                object.SetDownloadStatus(statuses[i]);
            }
        }
        CUnassociatedTrackableObjects unassociated;
        for (const auto& [uid, synchronized] : unassociatedUids) {
            unassociated.AddTO(uid, synchronized);
        }
        const CTagCounts counts = CountTags(objects, unassociated);
        EXPECT_EQ(TagSummary(counts) + " / " + std::to_string(counts.mDisconnected), summary);
    }
}

}  // namespace ozra
