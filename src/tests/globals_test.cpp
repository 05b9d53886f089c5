#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "core/exception.h"
#include "globals.h"

namespace ozra {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no exception";
}

uint16_t CrcOfText(const std::string& text) {
    return Crc16(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint16_t>(text.size()));
}

TEST(Crc16, CheckValues) {
    EXPECT_EQ(CrcOfText("123456789"), 0x29B1);
    EXPECT_EQ(CrcOfText("abc"), 0x514A);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
}

TEST(Crc16, TableDrivenMatchesTheBitwiseDefinition) {
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

TEST(Crc16, CoversOnlyTheGivenLength) {
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("abcdef"), 3), 0x514A);
}

TEST(ParseHex, DigitsOfBothCases) {
    EXPECT_EQ(ParseHex('0'), 0);
    EXPECT_EQ(ParseHex('9'), 9);
    EXPECT_EQ(ParseHex('A'), 10);
    EXPECT_EQ(ParseHex('f'), 15);
}

TEST(ParseHex, RejectsOtherCharacters) {
    EXPECT_EQ(ErrorOf([] { ParseHex('G'); }), "ParseHex: Invalid input string: G");
    EXPECT_EQ(ErrorOf([] { ParseHex(' '); }), "ParseHex: Invalid input string:  ");
    EXPECT_EQ(ErrorOf([] { ParseHex('g'); }), "ParseHex: Invalid input string: g");
}

TEST(ParseHexString, DecodesPairs) {
    std::array<uint8_t, 3> bytes{0xEE, 0xEE, 0xEE};
    ParseHexString("0a0B", bytes.data(), bytes.size());
    EXPECT_EQ(bytes, (std::array<uint8_t, 3>{0x0A, 0x0B, 0xEE}));
    EXPECT_EQ(ParseHexString("FF00"), (std::vector<uint8_t>{0xFF, 0x00}));
    EXPECT_TRUE(ParseHexString("").empty());
}

TEST(ParseHexString, OddLengthRaisesBeforeWriting) {
    std::array<uint8_t, 4> bytes{0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(ErrorOf([&] { ParseHexString("ABC", bytes.data(), bytes.size()); }),
              "ParseHexString: Invalid input string: ABC");
    EXPECT_EQ(bytes, (std::array<uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(ParseHexString, BadDigitRaisesAfterEarlierBytes) {
    std::array<uint8_t, 2> bytes{0xEE, 0xEE};
    EXPECT_EQ(ErrorOf([&] { ParseHexString("0G", bytes.data(), bytes.size()); }),
              "ParseHex: Invalid input string: G");
    EXPECT_EQ(ErrorOf([&] { ParseHexString("120X", bytes.data(), bytes.size()); }),
              "ParseHex: Invalid input string: X");
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0xEE);
}

TEST(ParseHexString, TooSmallBufferRaisesBeforeWriting) {
    std::array<uint8_t, 4> bytes{0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_NE(ErrorOf([&] { ParseHexString("010203", bytes.data(), 2); }), "no exception");
    EXPECT_EQ(bytes, (std::array<uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(CombMac, TwelveDigitsGetTheFiller) {
    std::string mac = "a1b2c3d4e5f6";
    EXPECT_TRUE(combMac(mac));
    EXPECT_EQ(mac, "A1B2C3FFFED4E5F6");
}

TEST(CombMac, SixteenDigitsAreUpperCased) {
    std::string mac = "a1b2c3fffed4e5f6";
    EXPECT_TRUE(combMac(mac));
    EXPECT_EQ(mac, "A1B2C3FFFED4E5F6");
}

TEST(CombMac, OtherLengthsAreLeftUntouched) {
    for (std::string mac : {"a1b2c3d4e5f6a7", "", "a1b2c3d4e5f", "a1b2c3d4e5f6a7b8c"}) {
        const std::string original = mac;
        EXPECT_FALSE(combMac(mac));
        EXPECT_EQ(mac, original);
    }
}

TEST(Quoted, EscapesQuoteAndEscape) {
    EXPECT_EQ(Quoted("a\"b", '"', '\\'), "\"a\\\"b\"");
    EXPECT_EQ(Quoted("", '"', '\\'), "\"\"");
    EXPECT_EQ(Quoted("a\\b", '"', '\\'), "\"a\\\\b\"");
    EXPECT_EQ(Quoted("it's", '\'', '!'), "'it!'s'");
}

TEST(HexNumber, PadsAndGrows) {
    EXPECT_EQ(HexNumber(0xAB, 4), "00AB");
    EXPECT_EQ(HexNumber(0, 2), "00");
    EXPECT_EQ(HexNumber(0x1F4, 2), "1F4");
    EXPECT_EQ(HexNumber(0xFFFFFFFB, 8), "FFFFFFFB");
}

TEST(DeviceFrame, SingleCommandFrames) {
    EXPECT_EQ(frame::Command(frame::CMD_DOWNLOAD_REQUEST), "000100020F00");
    EXPECT_EQ(frame::Command(frame::CMD_ERASE_ALL), "000100020500");
    EXPECT_EQ(frame::CrcCommand(frame::CMD_CRC_REQUEST, 0x29B1), "00010004030229B1");
    EXPECT_EQ(frame::CrcCommand(frame::CMD_CRC_REQUEST, 0x00AB), "00010004030200AB");
    EXPECT_EQ(frame::CrcCommand(frame::CMD_DOWNLOAD_COMPLETE, 0x1234), "0001000406021234");
    EXPECT_EQ(frame::CrcCommand(frame::CMD_CRC_ACKNOWLEDGE, 0xFFFF), "000100040702FFFF");
}

TEST(DeviceFrame, ZoneBatch) {
    const std::string records = frame::AddZoneRecord("0A0B0C") + frame::DeleteZoneRecord(5);
    EXPECT_EQ(frame::ToDevice(records), "0001000901030A0B0C08020005");
}

TEST(DeviceFrame, LargeDescriptorLengthIsNotTruncated) {
    const std::string descriptor(2 * 300, 'A');
    EXPECT_EQ(frame::AddZoneRecord(descriptor).substr(0, 5), "0112C");
}

}  // namespace
}  // namespace ozra
