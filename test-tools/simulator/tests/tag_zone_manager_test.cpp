#include "simulator/tag_zone_manager.h"

#include <gtest/gtest.h>

namespace varnok::test_tools {
namespace {

// Frames decode to their records and encode back to the same text.
TEST(device_frame, decodes_and_encodes_back) {
    struct row {
        std::string hex;
        std::uint16_t type;
        std::vector<frame_record> records;
        bool lowercase;
    };
    const std::vector<row> rows = {
        {"00010000", 1, {}, false},
        {"000100020F00", 1, {{0x0F, {}}}, false},
        {"0001000901030A0B0C08020005", 1, {{0x01, {0x0A, 0x0B, 0x0C}}, {0x08, {0x00, 0x05}}}, false},
        {"000200038f0100", 2, {{0x8F, {0x00}}}, true},
    };
    for (const auto& [hex, type, records, lowercase] : rows) {
        SCOPED_TRACE(hex);
        std::string error;
        const auto frame = decode_frame(hex, error);
        ASSERT_TRUE(frame) << error;
        EXPECT_EQ(frame->type, type);
        ASSERT_EQ(frame->records.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(frame->records[i].code, records[i].code);
            EXPECT_EQ(frame->records[i].data, records[i].data);
        }
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

}  // namespace
}  // namespace varnok::test_tools
