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

    // A changed zone reaches every tag that holds it; one tag's download leaves the others' tables be.
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
    // Tags of one kind share their tables.
    const std::string downloading = TagUid(tag_count - 3);
    const std::string other = TagUid(tag_count - 2);
    ASSERT_EQ(Object(downloading).mZones.SharedId(), Object(other).mZones.SharedId());
    Download(downloading);
    EXPECT_EQ(NextFrameTo(downloading),
              frame::ToDevice(AddRecord(Object(downloading).mZones.at(changedUid))));
    Answer(downloading, ZoneReport(zone_count - changed, 0));
    EXPECT_EQ(Object(downloading).mZones.at(changedUid).mDevState, DS_DOWNLOADED);
    EXPECT_EQ(Object(other).mZones.at(changedUid).mDevState, DS_NEED_UPDATE);
    EXPECT_NE(Object(downloading).CurrentCRC(false), Object(other).CurrentCRC(false));
    m_kelt->processing();
    EXPECT_EQ(Stored(other), "OUTDATED: zone or trackable changed");
}

}  // namespace
}  // namespace ozra::test
