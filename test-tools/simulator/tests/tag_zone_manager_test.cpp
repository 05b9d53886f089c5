#include "simulator/tag_zone_manager.h"
#include "simulator/device_crc.h"
#include "simulator/device_frame.h"
#include "simulator/zone_descriptor.h"

#include <gtest/gtest.h>

namespace varnok::test_tools {
namespace {

// Descriptor of a 3-point zone (sublocation 1, type 3) as hexadecimal text.
std::string descriptor_hex(std::uint16_t zone_id) {
    zone_spec zone;
    zone.zone_id = zone_id;
    zone.sublocation_id = 1;
    zone.points = {{0, 0}, {100, 0}, {0, -5}};
    return hex_from_bytes(zone_descriptor(zone, 3, false));
}

std::string two_digits(std::size_t value) {
    return hex_from_bytes({static_cast<std::uint8_t>(value)});
}

std::string add_record(std::uint16_t zone_id) {
    const auto descriptor = descriptor_hex(zone_id);
    return "01" + two_digits(descriptor.size() / 2) + descriptor;
}

std::string batch(const std::string& records) {
    const auto length = records.size() / 2;
    return "0001" + two_digits(length >> 8) + two_digits(length & 0xFF) + records;
}

std::string crc_hex(std::uint16_t crc) {
    return hex_from_bytes({static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc & 0xFF)});
}

std::uint16_t crc_of(const std::vector<std::string>& descriptors_in_zone_order) {
    std::vector<std::uint8_t> bytes;
    for (const auto& hex : descriptors_in_zone_order) {
        const auto part = bytes_from_hex(hex);
        bytes.insert(bytes.end(), part->begin(), part->end());
    }
    return device_crc16(bytes);
}

// The descriptor bytes and the CRC are pinned in the daemon's suites; the end-to-end run shows that the
// simulator's agree with them.
TEST(device_frame, decoding_rejects_wrong_lengths_and_bad_digits) {
    std::string error;
    EXPECT_TRUE(decode_frame("0001000901030a0b0c08020005", error));
    EXPECT_FALSE(decode_frame("000100030F00", error));
    EXPECT_FALSE(decode_frame("0001000201", error));
    EXPECT_FALSE(decode_frame("000100020FG0", error));
    EXPECT_FALSE(decode_frame("00010003010500", error));
}

TEST(tag_zone_manager, download_sequence_builds_the_table_and_reports_its_crc) {
    tag_zone_manager tag;
    EXPECT_EQ(tag.receive("000100020F00"), "000200038F0100");
    EXPECT_EQ(tag.receive("000100020500"), "00020003850100");
    EXPECT_EQ(tag.receive(batch(add_record(9) + add_record(3))),
              "0002000A020300090002030003"
              "00");
    EXPECT_EQ(tag.zone_ids(), (std::vector<std::uint16_t>{3, 9}));
    const auto crc = crc_of({descriptor_hex(3), descriptor_hex(9)});
    EXPECT_EQ(tag.crc(), crc);
    EXPECT_EQ(tag.receive("0001000406020000"),
              "00020004"
              "8602" +
                  crc_hex(crc));
    EXPECT_EQ(tag.receive("0001000403020000"),
              "00020004"
              "0402" +
                  crc_hex(crc));
    EXPECT_EQ(tag.receive(batch("08020009")),
              "0002000502030009"
              "00");
    EXPECT_EQ(tag.crc(), crc_of({descriptor_hex(3)}));
    EXPECT_EQ(tag.counters().protocol_errors, 0u);
    EXPECT_EQ(tag.counters().replies_sent, 6u);
}

TEST(tag_zone_manager, crc_acknowledge_gets_no_reply_and_is_checked) {
    tag_zone_manager tag;
    EXPECT_EQ(tag.receive("0001000407020000"), std::nullopt);
    EXPECT_EQ(tag.receive("000100040702FFFF"), std::nullopt);
    EXPECT_EQ(tag.counters().crc_acknowledges, 2u);
    EXPECT_EQ(tag.counters().crc_acknowledge_mismatches, 1u);
    EXPECT_EQ(tag.crc_report(), "000200048702FFFF");
}

TEST(tag_zone_manager, faults_change_the_answers) {
    tag_zone_manager silent({true, false, {}, false});
    EXPECT_EQ(silent.receive("000100020F00"), std::nullopt);
    EXPECT_EQ(silent.crc_report(), std::nullopt);
    EXPECT_EQ(silent.counters().frames_received, 1u);

    tag_zone_manager rejecting({false, true, {}, false});
    EXPECT_EQ(rejecting.receive("000100020F00"), "000200038F0101");

    tag_zone_manager failing({false, false, {{3, 7}}, true});
    failing.hold_zone(*bytes_from_hex(descriptor_hex(3)));
    EXPECT_EQ(failing.receive(batch(add_record(3) + add_record(4))),
              "0002000a0203000307020300040"
              "0");
    EXPECT_EQ(failing.receive(batch("08020003")), "000200050203000307");
    EXPECT_EQ(failing.zone_ids(), (std::vector<std::uint16_t>{3, 4}));
}

TEST(tag_zone_manager, malformed_frames_are_protocol_errors_without_reply) {
    tag_zone_manager tag;
    for (const std::string frame :
         {"0002000403020000", "00010002990", "000100039900AA", "000100030F0100", "0001000401020001"}) {
        EXPECT_EQ(tag.receive(frame), std::nullopt) << frame;
    }
    EXPECT_EQ(tag.counters().protocol_errors, 5u);
    EXPECT_FALSE(tag.counters().last_protocol_error.empty());
    EXPECT_TRUE(tag.zone_ids().empty());
}

}  // namespace
}  // namespace varnok::test_tools
