#include "tag_fleet.h"

#include "crc16_table.h"

#include <algorithm>

namespace varnok::bench {

namespace {

namespace command = test_tools::device_command;

constexpr std::size_t descriptor_zone_id_end = 4;

std::uint16_t u16_at(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

std::vector<std::uint8_t> two_bytes(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

tag_fleet::tag_fleet(const std::vector<std::string>& uids) : m_tags(uids.size()) {
    for (std::size_t i = 0; i < uids.size(); ++i) {
        m_index.emplace(uids[i], i);
    }
}

void tag_fleet::hold(std::size_t tag, const std::vector<std::uint8_t>& descriptor) {
    std::lock_guard lock(m_mutex);
    store(m_tags.at(tag), u16_at(descriptor, 2), &descriptor);
}

void tag_fleet::empty_all() {
    std::lock_guard lock(m_mutex);
    for (auto& tag : m_tags) {
        std::fill(tag.begin(), tag.end(), 0);
    }
}

std::optional<std::string> tag_fleet::receive(const std::string& uid, const std::string& hex) {
    std::string error;
    const auto frame = test_tools::decode_frame(hex, error);
    std::lock_guard lock(m_mutex);
    const auto found = m_index.find(uid);
    if (found == m_index.end()) {
        return std::nullopt;
    }
    if (!frame || frame->type != test_tools::frame_type_to_device) {
        ++m_protocol_errors;
        return std::nullopt;
    }
    test_tools::device_frame reply{test_tools::frame_type_from_device, {}};
    for (const auto& record : frame->records) {
        if (auto answer = apply(m_tags[found->second], record)) {
            reply.records.push_back(std::move(*answer));
        }
    }
    if (reply.records.empty()) {
        return std::nullopt;
    }
    return test_tools::encode_frame(reply);
}

std::uint16_t tag_fleet::crc(std::size_t tag) const {
    std::lock_guard lock(m_mutex);
    return crc_of(m_tags.at(tag));
}

std::size_t tag_fleet::zone_count(std::size_t tag) const {
    std::lock_guard lock(m_mutex);
    const auto& slots = m_tags.at(tag);
    return static_cast<std::size_t>(
        std::count_if(slots.begin(), slots.end(), [](auto slot) { return slot; }));
}

std::size_t tag_fleet::protocol_errors() const {
    std::lock_guard lock(m_mutex);
    return m_protocol_errors;
}

std::optional<test_tools::frame_record> tag_fleet::apply(slots& tag, const test_tools::frame_record& record) {
    const auto& data = record.data;
    const auto zone_status = [](std::uint16_t zone_id) {
        auto status = two_bytes(zone_id);
        status.push_back(0);
        return test_tools::frame_record{command::zone_action_status, std::move(status)};
    };
    switch (record.code) {
        case command::download_request:
            return test_tools::frame_record{command::download_request | command::answer_bit, {0}};
        case command::erase_all:
            std::fill(tag.begin(), tag.end(), 0);
            return test_tools::frame_record{command::erase_all | command::answer_bit, {0}};
        case command::add_zone:
            if (data.size() < descriptor_zone_id_end) {
                break;
            }
            store(tag, u16_at(data, 2), &data);
            return zone_status(u16_at(data, 2));
        case command::delete_zone:
            if (data.size() != 2) {
                break;
            }
            store(tag, u16_at(data, 0), nullptr);
            return zone_status(u16_at(data, 0));
        case command::crc_request:
            return test_tools::frame_record{command::crc_response, two_bytes(crc_of(tag))};
        case command::download_complete:
            return test_tools::frame_record{command::download_complete | command::answer_bit,
                                            two_bytes(crc_of(tag))};
        case command::crc_acknowledge:
            return std::nullopt;
        default:
            break;
    }
    ++m_protocol_errors;
    return std::nullopt;
}

void tag_fleet::store(slots& tag, std::uint16_t zone_id, const std::vector<std::uint8_t>* descriptor) {
    if (tag.size() <= zone_id) {
        tag.resize(zone_id + 1u, 0);
    }
    if (!descriptor) {
        tag[zone_id] = 0;
        return;
    }
    auto [entry, added] =
        m_descriptor_index.emplace(*descriptor, static_cast<std::uint32_t>(m_descriptors.size()));
    if (added) {
        m_descriptors.push_back(*descriptor);
    }
    tag[zone_id] = entry->second + 1;
}

std::uint16_t tag_fleet::crc_of(const slots& tag) const {
    std::uint16_t crc = crc16_initial;
    for (const auto slot : tag) {
        if (slot) {
            const auto& descriptor = m_descriptors[slot - 1];
            crc = crc16_update(crc, descriptor.data(), descriptor.size());
        }
    }
    return crc;
}

}  // namespace varnok::bench
