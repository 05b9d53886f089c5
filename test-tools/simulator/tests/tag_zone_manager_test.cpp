#include "simulator/tag_zone_manager.h"

#include <gtest/gtest.h>

namespace varnok::test_tools {

// Frames decode to their records and encode back to the same text.
TEST(device_frame, decodes_and_encodes_back) {
    const std::vector<std::tuple<std::string, std::string, bool>> rows = {
        {"00010000", "1", false},
        {"000100020F00", "1 0F:", false},
        {"0001000901030A0B0C08020005", "1 01:0A0B0C 08:0005", false},
        {"000200038f0100", "2 8F:00", true},
    };
    for (const auto& [hex, decoded, lowercase] : rows) {
        std::string error;
        const auto frame = decode_frame(hex, error);
        ASSERT_TRUE(frame) << hex << ": " << error;
        std::string shown = std::to_string(frame->type);
        for (const auto& record : frame->records) {
            shown += " " + hex_from_bytes({record.code}) + ":" + hex_from_bytes(record.data);
        }
        EXPECT_EQ(shown, decoded) << hex;
        EXPECT_EQ(encode_frame(*frame, lowercase), hex);
    }
}

// Bad digits or lengths, wrong frame type, unknown command, a whole frame that is not, wrong data lengths.
TEST(tag_zone_manager, frames_it_cannot_apply_are_protocol_errors_without_reply) {
    tag_zone_manager tag;
    const std::vector<std::string> frames = {"00010",          "000100020FG0",     "000100",
                                             "000100030F00",   "0001000201",       "000100010F",
                                             "00010003010500", "0002000403020000", "000100029900",
                                             "000100039900AA", "000100030F0100",   "0001000401020001"};
    for (const std::string& frame : frames) {
        EXPECT_EQ(tag.receive(frame), std::nullopt) << frame;
    }
    EXPECT_EQ(tag.counters().protocol_errors, frames.size());
    EXPECT_TRUE(tag.zone_ids().empty());
}

}  // namespace varnok::test_tools
