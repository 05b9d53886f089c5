#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "globals.h"
#include "kelt_fixture.h"

namespace ozra::test {
namespace {

constexpr int tag_count = 300;
constexpr int zone_count = 200;

std::string TagUid(int index) {
    return "t" + std::to_string(index);
}

// The CRC16 of the descriptors the tag holds, straight from the zone texts in zone ID order.
uint16_t ExpectedCrc(const kelt& controller, const std::string& uid) {
    std::vector<std::pair<uint16_t, std::string>> held;
    for (const auto& [zoneUid, zone] : controller.Zones()) {
        if (zone.mExceptions.count(uid) == 0) {
            held.emplace_back(zone.mZoneID, zone.GetZoneDescriptor(2, 3));
        }
    }
    std::stable_sort(held.begin(), held.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<uint8_t> bytes;
    for (const auto& [zoneId, descriptor] : held) {
        const std::vector<uint8_t> zoneBytes = ParseHexString(descriptor);
        bytes.insert(bytes.end(), zoneBytes.begin(), zoneBytes.end());
    }
    return Crc16(bytes.data(), static_cast<uint16_t>(bytes.size()));
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
        EXPECT_EQ(Object(uid).mZones.size(),
                  static_cast<std::size_t>(index < zone_count ? zone_count - 1 : zone_count));
        EXPECT_EQ(NextFrameTo(uid), frame::CrcCommand(frame::CMD_CRC_REQUEST, crc)) << uid;
        m_kelt->user_msg_handler(Reply(uid, CrcRecord(0x04, crc)));
    }
    m_kelt->processing();
    for (int index = 0; index < tag_count; index += 37) {
        EXPECT_EQ(StoredStatus(TagUid(index)), "UPDATED");
    }

    // A changed zone reaches every tag that holds it; one tag's download leaves the others' tables be.
    const int changed = 7;
    const std::string changedUid = "z" + std::to_string(1000 + changed);
    m_fake->set_zones(Zones(changed, 5));
    m_kelt->notify_handler(R"({"object":"ZONE"})");
    m_kelt->processing();
    for (int index = 0; index < tag_count; ++index) {
        const CTrackableObject& object = Object(TagUid(index));
        EXPECT_EQ(object.mZones.count(changedUid), index == changed ? 0U : 1U) << object.mUid;
        if (index != changed) {
            EXPECT_EQ(object.mZones.at(changedUid).mDevState, DS_NEED_UPDATE) << object.mUid;
        }
    }
    // Tags of one kind share their tables.
    const std::string downloading = TagUid(tag_count - 3);
    const std::string other = TagUid(tag_count - 2);
    ASSERT_EQ(Object(downloading).mZones.SharedId(), Object(other).mZones.SharedId());
    RequestUpdate(downloading);
    m_kelt->user_msg_handler(Reply(downloading, CodeRecord(0x8F, 0)));
    EXPECT_EQ(NextFrameTo(downloading),
              frame::ToDevice(AddRecord(Object(downloading).mZones.at(changedUid))));
    m_kelt->user_msg_handler(Reply(downloading, ZoneReport(zone_count - changed, 0)));
    EXPECT_EQ(Object(downloading).mZones.at(changedUid).mDevState, DS_DOWNLOADED);
    EXPECT_EQ(Object(other).mZones.at(changedUid).mDevState, DS_NEED_UPDATE);
    EXPECT_NE(Object(downloading).CurrentCRC(false), Object(other).CurrentCRC(false));
    m_kelt->processing();
    EXPECT_EQ(StoredStatus(other), "OUTDATED");
}

}  // namespace
}  // namespace ozra::test
