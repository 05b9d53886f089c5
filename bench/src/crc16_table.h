#pragma once

#include <cstddef>
#include <cstdint>

namespace varnok::bench {

// CRC-16/CCITT-FALSE, one table lookup per byte; feed chunks in order, starting from crc16_initial.
inline constexpr std::uint16_t crc16_initial = 0xFFFF;
std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace varnok::bench
