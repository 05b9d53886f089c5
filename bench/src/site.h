#pragma once

#include "simulator/scenario.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnok::bench {

// A generated site: one project, rectangular zones that concern the tags through allow rules (most
// zones every tag, some all but a group or a tag, a few only some tags), and a few boundary couples.
struct site {
    std::vector<test_tools::zone_type_spec> zone_types;
    std::vector<std::string> configured_zone_types;
    std::vector<test_tools::zone_spec> zones;
    std::vector<std::optional<std::size_t>> coupled;  // per zone: the index of its coupled zone
    std::vector<test_tools::tag_spec> tags;
};

site generate_site(std::size_t tag_count, std::size_t zone_count);

// Whether the tag must hold the zone: the zone's rule and, for a boundary zone, its couple's rule too.
bool zone_concerns_tag(const site& s, std::size_t zone, std::size_t tag);
// A zone that concerns every tag but one, and that tag; none when the site has no such zone.
std::optional<std::pair<std::size_t, std::size_t>> zone_leaving_out_one_tag(const site& s);
// The bytes a tag holds for the zone.
std::vector<std::uint8_t> descriptor_of(const site& s, const test_tools::zone_spec& zone);
// The zone moved by one unit: a new descriptor for every tag that holds it.
test_tools::zone_spec moved(const test_tools::zone_spec& zone);

}  // namespace varnok::bench
