#include "simulator/tag_zone_manager.h"

#include "simulator/device_crc.h"

namespace varnok::test_tools {

namespace {

namespace command = device_command;

constexpr std::uint8_t download_rejected = 1;
constexpr std::size_t descriptor_zone_id_end = 4;

std::uint16_t read_u16(const std::vector<std::uint8_t>& data, std::size_t offset) {
    return static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
}

std::vector<std::uint8_t> u16_bytes(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

std::string code_text(std::uint8_t code) {
    return hex_from_bytes({code});
}

}  // namespace

tag_zone_manager::tag_zone_manager(tag_faults faults) : m_faults(std::move(faults)) {}

std::optional<std::string> tag_zone_manager::receive(const std::string& hex) {
    ++m_counters.frames_received;
    std::string error;
    const auto frame = decode_frame(hex, error);
    if (!frame) {
        protocol_error("malformed frame " + hex + ": " + error);
        return std::nullopt;
    }
    if (frame->type != frame_type_to_device) {
        protocol_error("frame type " + hex.substr(0, 4) + " in " + hex);
        return std::nullopt;
    }
    std::vector<frame_record> replies;
    for (const auto& record : frame->records) {
        if (auto answer = apply(record.code, record.data)) {
            replies.push_back(std::move(*answer));
        }
    }
    return reply(replies);
}

std::optional<std::string> tag_zone_manager::crc_report() {
    return reply({{command::crc_report, u16_bytes(crc())}});
}

void tag_zone_manager::hold_zone(const std::vector<std::uint8_t>& descriptor) {
    if (descriptor.size() >= descriptor_zone_id_end) {
        m_zones[read_u16(descriptor, 2)] = descriptor;
    }
}

std::uint16_t tag_zone_manager::crc() const {
    std::vector<std::uint8_t> table;
    for (const auto& [zone_id, descriptor] : m_zones) {
        table.insert(table.end(), descriptor.begin(), descriptor.end());
    }
    return device_crc16(table);
}

std::vector<std::uint16_t> tag_zone_manager::zone_ids() const {
    std::vector<std::uint16_t> ids;
    for (const auto& entry : m_zones) {
        ids.push_back(entry.first);
    }
    return ids;
}

std::optional<frame_record> tag_zone_manager::apply(std::uint8_t code,
                                                    const std::vector<std::uint8_t>& data) {
    const auto expect_size = [&](std::size_t size) {
        if (data.size() == size) {
            return true;
        }
        protocol_error("command " + code_text(code) + " with " + std::to_string(data.size()) +
                       " data bytes, expected " + std::to_string(size));
        return false;
    };
    switch (code) {
        case command::download_request:
            if (!expect_size(0)) {
                return std::nullopt;
            }
            return frame_record{command::download_request | command::answer_bit,
                                {m_faults.rejects_downloads ? download_rejected : std::uint8_t{0}}};
        case command::erase_all:
            if (!expect_size(0)) {
                return std::nullopt;
            }
            m_zones.clear();
            return frame_record{command::erase_all | command::answer_bit, {0}};
        case command::add_zone:
            if (data.size() < descriptor_zone_id_end) {
                protocol_error("add zone with a descriptor of " + std::to_string(data.size()) + " bytes");
                return std::nullopt;
            }
            return zone_action(read_u16(data, 2), &data);
        case command::delete_zone:
            if (!expect_size(2)) {
                return std::nullopt;
            }
            return zone_action(read_u16(data, 0), nullptr);
        case command::crc_request:
            if (!expect_size(2)) {
                return std::nullopt;
            }
            return frame_record{command::crc_response, u16_bytes(crc())};
        case command::download_complete:
            if (!expect_size(2)) {
                return std::nullopt;
            }
            return frame_record{command::download_complete | command::answer_bit, u16_bytes(crc())};
        case command::crc_acknowledge:
            if (expect_size(2)) {
                ++m_counters.crc_acknowledges;
                if (read_u16(data, 0) != crc()) {
                    ++m_counters.crc_acknowledge_mismatches;
                }
            }
            return std::nullopt;
        default:
            protocol_error("unknown command " + code_text(code));
            return std::nullopt;
    }
}

frame_record tag_zone_manager::zone_action(std::uint16_t zone_id,
                                           const std::vector<std::uint8_t>* descriptor) {
    std::uint8_t error_code = 0;
    if (const auto failing = m_faults.failing_zones.find(zone_id); failing != m_faults.failing_zones.end()) {
        error_code = failing->second;
    } else if (descriptor) {
        m_zones[zone_id] = *descriptor;
    } else {
        m_zones.erase(zone_id);
    }
    auto data = u16_bytes(zone_id);
    data.push_back(error_code);
    return {command::zone_action_status, std::move(data)};
}

std::optional<std::string> tag_zone_manager::reply(const std::vector<frame_record>& records) {
    if (m_faults.silent || records.empty()) {
        return std::nullopt;
    }
    ++m_counters.replies_sent;
    return encode_frame({frame_type_from_device, records}, m_faults.lowercase_hex);
}

void tag_zone_manager::protocol_error(const std::string& text) {
    ++m_counters.protocol_errors;
    m_counters.last_protocol_error = text;
}

}  // namespace varnok::test_tools
