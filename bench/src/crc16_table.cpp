#include "crc16_table.h"

#include <array>

namespace varnok::bench {

namespace {

std::array<std::uint16_t, 256> make_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        auto crc = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
        }
        table[byte] = crc;
    }
    return table;
}

}  // namespace

std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* data, std::size_t size) {
    static const auto table = make_table();
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    }
    return crc;
}

}  // namespace varnok::bench
