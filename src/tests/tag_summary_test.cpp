#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/logger.h"
#include "tag-summary.h"

namespace ozra {
namespace {

TEST(TagSummaryTest, CountsManagedTagsByStatusAndUnassociatedOnesAsOosync) {
    libs::core::logger logger("varnok-test", "main");
    struct Case {
        std::vector<downloadStatusName_t> statuses;
        std::vector<std::pair<std::string, bool>> unassociated;  // uid, synchronised
        std::string summary;
    };
    const std::vector<Case> cases = {
        {{}, {}, "0 tags: 0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 0 OOSYNC"},
        {{DLS_UPDATED, DLS_OUTDATED, DLS_IN_PROCESS, DLS_OOSYNC, DLS_UPDATED},
         {},
         "5 tags: 2 UPDATED, 1 OUTDATED, 1 IN_PROCESS, 1 OOSYNC"},
        {{DLS_UNKNOWN, DLS_UNKNOWN, DLS_OOSYNC},
         {{"u1", false}, {"u2", true}},
         "5 tags: 0 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 3 OOSYNC, 2 UNKNOWN"},
        {std::vector<downloadStatusName_t>(1001, DLS_UPDATED),
         {{"u1", true}},
         "1,002 tags: 1,001 UPDATED, 0 OUTDATED, 0 IN_PROCESS, 1 OOSYNC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        std::map<std::string, CTrackableObject> objects;
        for (std::size_t i = 0; i < c.statuses.size(); ++i) {
            const std::string uid = "t" + std::to_string(i);
            auto& object = objects.emplace(uid, CTrackableObject(uid, logger)).first->second;
            if (c.statuses[i] != DLS_UNKNOWN) {
                object.SetDownloadStatus(CDownloadStatus(c.statuses[i], DownloadStatusReason::NoReason()));
            }
        }
        CUnassociatedTrackableObjects unassociated;
        for (const auto& [uid, synchronized] : c.unassociated) {
            unassociated.AddTO(uid, synchronized);
        }
        EXPECT_EQ(TagSummary(CountTags(objects, unassociated)), c.summary);
    }
}

TEST(TagCountsTest, CountsDisconnectedTagsAmongTheOosyncOnes) {
    libs::core::logger logger("varnok-test", "main");
    namespace reason = DownloadStatusReason;
    const std::vector<CDownloadStatus> statuses = {
        {DLS_OOSYNC, reason::SimpleReason(reason::DISCONNECTED)},
        {DLS_OOSYNC, reason::SimpleReason(reason::CRC_MISMATCH)},
        {DLS_OOSYNC, reason::SimpleReason(reason::DISCONNECTED)},
        {DLS_UPDATED, reason::NoReason()},
    };
    std::map<std::string, CTrackableObject> objects;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        const std::string uid = "t" + std::to_string(i);
        objects.emplace(uid, CTrackableObject(uid, logger)).first->second.SetDownloadStatus(statuses[i]);
    }
    CUnassociatedTrackableObjects unassociated;
    unassociated.AddTO("u1", true);
    const CTagCounts counts = CountTags(objects, unassociated);
    EXPECT_EQ(counts.mByStatus[DLS_OOSYNC], 4u);
    EXPECT_EQ(counts.mDisconnected, 2u);
}

}  // namespace
}  // namespace ozra
