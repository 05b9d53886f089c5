#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnok::test_tools {

// CRC-16/CCITT-FALSE as a tag's zone manager computes it: polynomial 0x1021, initial 0xFFFF,
// no reflection, no final xor.
std::uint16_t device_crc16(const std::uint8_t* data, std::size_t size);
std::uint16_t device_crc16(const std::vector<std::uint8_t>& data);

}  // namespace varnok::test_tools
