#include "site.h"

#include "simulator/zone_descriptor.h"

#include <algorithm>
#include <cstdio>

namespace varnok::bench {

namespace {

constexpr const char* project = "prj-bench";
constexpr std::size_t group_count = 8;
constexpr std::uint16_t area_type_id = 3;
constexpr std::uint16_t boundary_in_type_id = 5;
constexpr std::uint16_t boundary_out_type_id = 6;
constexpr std::int32_t zone_pitch = 1000;
constexpr std::int32_t zone_size = 800;

std::string numbered(const char* prefix, std::size_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s-%06zu", prefix, number);
    return text;
}

std::string group_of(std::size_t tag) {
    return numbered("grp", tag % group_count);
}

test_tools::tag_spec make_tag(std::size_t index) {
    test_tools::tag_spec tag;
    tag.uid = numbered("tag", index);
    tag.project_uid = project;
    char mac[16];
    std::snprintf(mac, sizeof mac, "%012zX", std::size_t{0xA00000000000} + index);
    tag.mac = mac;
    tag.groups = {group_of(index)};
    tag.stored_status = "UPDATED";
    return tag;
}

// Allow rules by position: most zones concern every tag; every 10th all but one group, every 25th all but
// one tag (from the second zone on, so that a small site has one too), every 50th only three tags.
void set_allow_rule(test_tools::zone_spec& zone, std::size_t index, std::size_t tag_count) {
    zone.default_allowed = false;
    if (index % 50 == 7) {
        zone.default_allowed = true;
        for (std::size_t k = 1; k <= 3; ++k) {
            zone.exceptions.push_back(numbered("tag", (index * 7 * k) % tag_count));
        }
    } else if (index % 25 == 1) {
        zone.exceptions.push_back(numbered("tag", index % tag_count));
    } else if (index % 10 == 3) {
        zone.exception_groups.push_back(group_of(index / 10));
    }
}

test_tools::zone_spec make_zone(std::size_t index, const char* type) {
    test_tools::zone_spec zone;
    zone.uid = numbered("zone", index);
    zone.zone_id = static_cast<std::uint16_t>(index + 1);
    zone.name = "Zone " + std::to_string(index + 1);
    zone.type = type;
    zone.project_uid = project;
    zone.sublocation_id = 1;
    const auto x = static_cast<std::int32_t>(index % 100) * zone_pitch;
    const auto y = static_cast<std::int32_t>(index / 100) * zone_pitch;
    zone.points = {{x, y}, {x + zone_size, y}, {x + zone_size, y + zone_size}, {x, y + zone_size}};
    return zone;
}

bool is_boundary(const std::string& type) {
    return type == "boundary_in" || type == "boundary_out";
}

}  // namespace

site generate_site(std::size_t tag_count, std::size_t zone_count) {
    site s;
    s.zone_types = {
        {"area", area_type_id}, {"boundary_in", boundary_in_type_id}, {"boundary_out", boundary_out_type_id}};
    s.configured_zone_types = {"area", "boundary_in", "boundary_out"};
    for (std::size_t i = 0; i < tag_count; ++i) {
        s.tags.push_back(make_tag(i));
    }
    const std::size_t couples = zone_count >= 4 ? std::max<std::size_t>(1, zone_count / 100) : 0;
    const std::size_t first_boundary = zone_count - 2 * couples;
    s.coupled.resize(zone_count);
    for (std::size_t i = 0; i < zone_count; ++i) {
        const bool boundary = i >= first_boundary;
        const bool inner = boundary && (i - first_boundary) % 2 == 0;
        auto zone = make_zone(i, !boundary ? "area" : inner ? "boundary_in" : "boundary_out");
        set_allow_rule(zone, i, tag_count);
        if (boundary) {
            const std::size_t couple = inner ? i + 1 : i - 1;
            zone.coupled = static_cast<std::uint16_t>(couple + 1);
            s.coupled[i] = couple;
        }
        s.zones.push_back(std::move(zone));
    }
    return s;
}

bool zone_concerns_tag(const site& s, std::size_t zone, std::size_t tag) {
    const auto rule = [&](const test_tools::zone_spec& z) {
        const auto& t = s.tags[tag];
        const bool excepted =
            std::find(z.exceptions.begin(), z.exceptions.end(), t.uid) != z.exceptions.end() ||
            std::any_of(z.exception_groups.begin(), z.exception_groups.end(), [&](const std::string& group) {
                return std::find(t.groups.begin(), t.groups.end(), group) != t.groups.end();
            });
        return z.project_uid == t.project_uid && excepted == z.default_allowed;
    };
    if (!rule(s.zones[zone])) {
        return false;
    }
    if (!is_boundary(s.zones[zone].type)) {
        return true;
    }
    return s.coupled[zone] && rule(s.zones[*s.coupled[zone]]);
}

std::vector<std::uint8_t> descriptor_of(const site& s, const test_tools::zone_spec& zone) {
    const auto type = std::find_if(s.zone_types.begin(), s.zone_types.end(),
                                   [&](const test_tools::zone_type_spec& t) { return t.name == zone.type; });
    return test_tools::zone_descriptor(zone, type->id, is_boundary(zone.type));
}

test_tools::zone_spec moved(const test_tools::zone_spec& zone) {
    auto result = zone;
    for (auto& point : result.points) {
        ++point.first;
    }
    return result;
}

std::optional<std::pair<std::size_t, std::size_t>> zone_leaving_out_one_tag(const site& s) {
    for (std::size_t zone = 0; zone < s.zones.size(); ++zone) {
        if (s.zones[zone].exceptions.size() != 1) {
            continue;
        }
        std::vector<std::size_t> left_out;
        for (std::size_t tag = 0; tag < s.tags.size() && left_out.size() < 2; ++tag) {
            if (!zone_concerns_tag(s, zone, tag)) {
                left_out.push_back(tag);
            }
        }
        if (left_out.size() == 1) {
            return std::make_pair(zone, left_out.front());
        }
    }
    return std::nullopt;
}

}  // namespace varnok::bench
