#pragma once

#include "simulator/device_frame.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnok::bench {

// The zone managers of every tag of a site, answering at once. Descriptors are stored once and shared;
// a tag keeps one slot per zone ID naming the descriptor it holds. Safe to use from any thread.
class tag_fleet {
public:
    explicit tag_fleet(const std::vector<std::string>& uids);

    // Stores a descriptor in a tag as if it had been downloaded before.
    void hold(std::size_t tag, const std::vector<std::uint8_t>& descriptor);
    // Every tag forgets its zones.
    void empty_all();

    // Applies a frame sent to the tag named by uid; the reply frame, or nothing when the tag does not
    // answer or is not part of the fleet.
    std::optional<std::string> receive(const std::string& uid, const std::string& hex);
    std::uint16_t crc(std::size_t tag) const;
    std::size_t zone_count(std::size_t tag) const;
    std::size_t protocol_errors() const;

private:
    using slots = std::vector<std::uint32_t>;  // zone ID -> descriptor index + 1, 0 when not held

    std::optional<test_tools::frame_record> apply(slots& tag, const test_tools::frame_record& record);
    void store(slots& tag, std::uint16_t zone_id, const std::vector<std::uint8_t>* descriptor);
    std::uint16_t crc_of(const slots& tag) const;

    mutable std::mutex m_mutex;
    std::unordered_map<std::string, std::size_t> m_index;
    std::vector<slots> m_tags;
    std::vector<std::vector<std::uint8_t>> m_descriptors;
    std::map<std::vector<std::uint8_t>, std::uint32_t> m_descriptor_index;
    std::size_t m_protocol_errors = 0;
};

}  // namespace varnok::bench
