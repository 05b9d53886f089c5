#pragma once

#include "simulator/scenario.h"

#include <cstdint>
#include <vector>

namespace varnok::test_tools {

// Type IDs and point counts fit one byte (the scenario reader ensures it).
// The bytes a tag stores for a zone: sublocation, zone ID, 0000, type, coupling flag (and the coupled
// zone ID for a boundary zone), shape 1 (polygon), point count, then x and y of each point, big-endian.
std::vector<std::uint8_t> zone_descriptor(const zone_spec& zone, std::uint16_t type_id, bool boundary);

}  // namespace varnok::test_tools
