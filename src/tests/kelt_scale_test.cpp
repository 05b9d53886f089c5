#include <gtest/gtest.h>

#include "kelt_fixture.h"

namespace ozra::test {
namespace {

constexpr int tag_count = 300;
constexpr int zone_count = 200;

std::string TagUid(int index) {
    return "t" + std::to_string(index);
}

// Zone IDs run against the uid order; every zone leaves out one tag, so tags from zone_count on are
// of one kind. The zone at changed gets size 10 + changed + grown.
Json::Value Zones(int changed = 0, int grown = 0) {
    Json::Value zones(Json::arrayValue);
    for (int index = 0; index < zone_count; ++index) {
        Json::Value zone = data::Zone("z" + std::to_string(1000 + index), zone_count - index, "alarm",
                                      10 + index + (index == changed ? grown : 0));
        zone["zone_exceptions"].append(TagUid(index % tag_count));
        zones.append(zone);
    }
    return zones;
}

TEST_F(KeltTest, SharedDescriptorsGiveEveryTagItsOwnTableAndCrc) {
    Json::Value tags(Json::arrayValue);
    Json::Value statuses(Json::arrayValue);
    for (int index = 0; index < tag_count; ++index) {
        tags.append(data::Trackable(TagUid(index)));
        statuses.append(data::Status(TagUid(index), "UPDATED"));
    }
    m_fake->set_zones(Zones());
    m_fake->set_trackable_objects(tags);
    m_fake->set_download_statuses(statuses);
    Start();
    m_kelt->processing();
    for (int index = 0; index < tag_count; ++index) {
        const std::string uid = TagUid(index);
        const uint16_t crc = ExpectedCrc(*m_kelt, uid);
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, crc)) << uid;
        Answer(uid, CrcRecord(0x04, crc));
    }
    m_kelt->processing();
    EXPECT_EQ(Stored(TagUid(tag_count - 1)), "UPDATED");

    // A changed zone reaches every tag that holds it.
    const int changed = 7;
    const std::string changedUid = "z" + std::to_string(1000 + changed);
    ChangeZones(Zones(changed, 5));
    for (int index = 0; index < tag_count; ++index) {
        const CTrackableObject& object = Object(TagUid(index));
        EXPECT_TRUE(index == changed || object.mZones.at(changedUid).mDevState == DS_NEED_UPDATE)
            << object.mUid;
        EXPECT_EQ(object.mZones.size(),
                  static_cast<std::size_t>(index < zone_count ? zone_count - 1 : zone_count));
    }
    EXPECT_EQ(Object(TagUid(changed)).mZones.count(changedUid), 0U);
    // Tags of one kind share their tables; that a shared table changes alone is tested with the table.
    EXPECT_EQ(Object(TagUid(tag_count - 3)).mZones.SharedId(),
              Object(TagUid(tag_count - 2)).mZones.SharedId());
}

}  // namespace
}  // namespace ozra::test
