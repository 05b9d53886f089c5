#include "simulator/zone_descriptor.h"

namespace varnok::test_tools {

namespace {

constexpr std::uint8_t coupling_flag = 0x02;
constexpr std::uint8_t polygon_shape = 0x01;

void append_big_endian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace

std::vector<std::uint8_t> zone_descriptor(const zone_spec& zone, std::uint16_t type_id, bool boundary) {
    std::vector<std::uint8_t> bytes;
    append_big_endian(bytes, zone.sublocation_id, 2);
    append_big_endian(bytes, zone.zone_id, 2);
    append_big_endian(bytes, 0, 2);
    bytes.push_back(static_cast<std::uint8_t>(type_id));
    if (boundary) {
        bytes.push_back(coupling_flag);
        append_big_endian(bytes, zone.coupled, 2);
    } else {
        bytes.push_back(0);
    }
    bytes.push_back(polygon_shape);
    bytes.push_back(static_cast<std::uint8_t>(zone.points.size()));
    for (const auto& [x, y] : zone.points) {
        append_big_endian(bytes, static_cast<std::uint32_t>(x), 4);
        append_big_endian(bytes, static_cast<std::uint32_t>(y), 4);
    }
    return bytes;
}

}  // namespace varnok::test_tools
