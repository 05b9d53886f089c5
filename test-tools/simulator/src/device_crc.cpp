#include "simulator/device_crc.h"

namespace varnok::test_tools {

std::uint16_t device_crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
        }
    }
    return crc;
}

std::uint16_t device_crc16(const std::vector<std::uint8_t>& data) {
    return device_crc16(data.data(), data.size());
}

}  // namespace varnok::test_tools
