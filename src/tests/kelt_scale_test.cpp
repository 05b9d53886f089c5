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

TEST_F(KeltTest, SharedDescriptorsGiveEveryTagItsOwnTableAndCrc) {
    Json::Value zones(Json::arrayValue);
    for (int index = 0; index < zone_count; ++index) {
        // Zone IDs run against the uid order; every zone leaves out one tag.
        Json::Value zone =
            data::Zone("z" + std::to_string(1000 + index), zone_count - index, "alarm", 10 + index);
        zone["zone_exceptions"].append(TagUid(index % tag_count));
        zones.append(zone);
    }
    Json::Value tags(Json::arrayValue);
    Json::Value statuses(Json::arrayValue);
    for (int index = 0; index < tag_count; ++index) {
        tags.append(data::Trackable(TagUid(index)));
        statuses.append(data::Status(TagUid(index), "UPDATED"));
    }
    m_fake->set_zones(zones);
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
}

}  // namespace
}  // namespace ozra::test
