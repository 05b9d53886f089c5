#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test_tools {

inline constexpr std::uint16_t frame_type_to_device = 0x0001;
inline constexpr std::uint16_t frame_type_from_device = 0x0002;

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
