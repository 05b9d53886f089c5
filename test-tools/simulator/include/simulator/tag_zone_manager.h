#pragma once

#include "simulator/device_frame.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnok::test_tools {

// How a tag misbehaves.
struct tag_faults {
    bool silent = false;                                  // never answers
    bool rejects_downloads = false;                       // answers a download request with code 1
    std::map<std::uint16_t, std::uint8_t> failing_zones;  // zone ID -> error code of every add or delete
    bool lowercase_hex = false;                           // writes its replies in lowercase digits
};

// What a tag saw, for the summary.
struct tag_counters {
    std::size_t frames_received = 0;
    std::size_t replies_sent = 0;
    std::size_t protocol_errors = 0;
    std::string last_protocol_error;
    std::size_t crc_acknowledges = 0;
    std::size_t crc_acknowledge_mismatches = 0;  // acknowledged CRC differs from the tag's own
};

// The zone manager of one tag: a table of zone descriptors keyed by zone ID, changed by the frames
// the tag receives, and the reply frame it sends back.
class tag_zone_manager {
public:
    explicit tag_zone_manager(tag_faults faults = {});

    // Applies a frame sent to the tag; the reply frame as hexadecimal text, or nothing when the tag
    // does not answer.
    std::optional<std::string> receive(const std::string& hex);
    // A CRC report the tag sends unasked; nothing from a silent tag.
    std::optional<std::string> crc_report();

    // Stores a descriptor (given as bytes) as if it had been downloaded before.
    void hold_zone(const std::vector<std::uint8_t>& descriptor);

    // CRC16 over the descriptors ordered by zone ID, concatenated.
    std::uint16_t crc() const;
    std::vector<std::uint16_t> zone_ids() const;
    // The descriptors held, by zone ID.
    const std::map<std::uint16_t, std::vector<std::uint8_t>>& zones() const { return m_zones; }
    // How the tag misbehaves from now on.
    void set_faults(tag_faults faults) { m_faults = std::move(faults); }
    const tag_counters& counters() const { return m_counters; }

private:
    std::optional<frame_record> apply(std::uint8_t code, const std::vector<std::uint8_t>& data);
    frame_record zone_action(std::uint16_t zone_id, const std::vector<std::uint8_t>* descriptor);
    std::optional<std::string> reply(const std::vector<frame_record>& records);
    void protocol_error(const std::string& text);

    tag_faults m_faults;
    std::map<std::uint16_t, std::vector<std::uint8_t>> m_zones;
    tag_counters m_counters;
};

}  // namespace varnok::test_tools
