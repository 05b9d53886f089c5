#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "core/tests/test_support.h"
#include "globals.h"

namespace ozra {

// The check value, and the table-driven CRC against the bitwise definition, whole and in two parts.
TEST(Crc16, MatchesTheBitwiseDefinition) {
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x29B1);

    const auto bitwise = [](const std::vector<uint8_t>& bytes) {
        uint16_t crc = 0xFFFF;
        for (const uint8_t byte : bytes) {
            crc ^= static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            }
        }
        return crc;
    };
    std::vector<uint8_t> bytes;
    uint32_t seed = 12345;
    for (std::size_t length = 0; length < 200; ++length) {
        EXPECT_EQ(Crc16(bytes.data(), static_cast<uint16_t>(bytes.size())), bitwise(bytes)) << length;
        const std::size_t half = bytes.size() / 2;
        EXPECT_EQ(Crc16Update(Crc16Update(crc16_initial, bytes.data(), half), bytes.data() + half,
                              bytes.size() - half),
                  bitwise(bytes));
        seed = seed * 1103515245 + 12345;
        bytes.push_back(static_cast<uint8_t>(seed >> 16));
    }
}

// Each case parses into four 0xEE bytes, of which it offers the first `size`.
TEST(ParseHexString, DecodesPairsOrRaisesKeepingTheBytesBefore) {
    using Bytes = std::array<uint8_t, 4>;
    for (const auto& [text, size, error, after] :
         std::vector<std::tuple<std::string, std::size_t, std::string, Bytes>>{
             {"0a0B", 3, "no exception", {0x0A, 0x0B, 0xEE, 0xEE}},
             {"ABC", 4, "ParseHexString: Invalid input string: ABC", {0xEE, 0xEE, 0xEE, 0xEE}},
             {"120X", 2, "ParseHex: Invalid input string: X", {0x12, 0xEE, 0xEE, 0xEE}},
             {"010203",
              2,
              "ParseHexString: Output buffer too small: 2 bytes for 3",
              {0xEE, 0xEE, 0xEE, 0xEE}},
         }) {
        Bytes bytes{0xEE, 0xEE, 0xEE, 0xEE};
        const std::string raised = libs::core::testing::raised_text(
            [&, &text = text, size = size] { ParseHexString(text, bytes.data(), size); });
        EXPECT_EQ(std::make_pair(raised, bytes), std::make_pair(error, after)) << text;
    }
    EXPECT_EQ(ParseHexString("FF00"), (std::vector<uint8_t>{0xFF, 0x00}));
}

TEST(DeviceFrame, Encoding) {
    for (const auto& [built, expected] : std::vector<std::pair<std::string, std::string>>{
             {frame::Command(frame::CMD_DOWNLOAD_REQUEST), "000100020F00"},
             {frame::Command(frame::CMD_ERASE_ALL), "000100020500"},
             {frame::CrcCommand(frame::CMD_CRC_REQUEST, 0x00AB), "00010004030200AB"},
             {frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, 0x1234), "0001000406021234"},
             {frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, 0xFFFF), "000100040702FFFF"},
             {frame::ToDevice(frame::AddZoneRecord("0A0B0C") + frame::DeleteZoneRecord(5)),
              "0001000901030A0B0C08020005"},
             // A descriptor longer than 255 bytes widens the length field.
             {frame::AddZoneRecord(std::string(2 * 300, 'A')).substr(0, 5), "0112C"},
         }) {
        EXPECT_EQ(built, expected);
    }
}

}  // namespace ozra
