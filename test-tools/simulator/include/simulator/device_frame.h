#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test_tools {

inline constexpr std::uint16_t frame_type_to_device = 0x0001;
inline constexpr std::uint16_t frame_type_from_device = 0x0002;

// Command codes; a device's answer to a command carries the code with the answer bit.
namespace device_command {
inline constexpr std::uint8_t add_zone = 0x01;
inline constexpr std::uint8_t zone_action_status = 0x02;
inline constexpr std::uint8_t crc_request = 0x03;
inline constexpr std::uint8_t crc_response = 0x04;
inline constexpr std::uint8_t erase_all = 0x05;
inline constexpr std::uint8_t download_complete = 0x06;
inline constexpr std::uint8_t crc_acknowledge = 0x07;
inline constexpr std::uint8_t delete_zone = 0x08;
inline constexpr std::uint8_t download_request = 0x0F;
inline constexpr std::uint8_t answer_bit = 0x80;
inline constexpr std::uint8_t crc_report = 0x87;
}  // namespace device_command

struct frame_record {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
};

struct device_frame {
    std::uint16_t type = 0;
    std::vector<frame_record> records;
};

// Hexadecimal text (either case) to bytes; nothing for odd length or a non-hex digit.
std::optional<std::vector<std::uint8_t>> bytes_from_hex(const std::string& hex);
std::string hex_from_bytes(const std::vector<std::uint8_t>& bytes, bool lowercase = false);

// Decodes a frame strictly: the payload length must match the payload, and every record must be whole.
// On failure answers nothing and describes the fault in error.
std::optional<device_frame> decode_frame(const std::string& hex, std::string& error);
std::string encode_frame(const device_frame& frame, bool lowercase = false);

}  // namespace varnok::test_tools
