#include "frame_check.h"

#include <core/json.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace varnok::fuzz {

namespace {

// Largest descriptor in an Add zone record, in bytes.
constexpr unsigned max_descriptor_bytes = 250;
// Records of a zone batch, in characters: 512 plus the delete margin overshoot of 2.
constexpr std::size_t max_batch_record_digits = 514;

bool is_upper_hex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

unsigned number(std::string_view digits) {
    return static_cast<unsigned>(std::strtoul(std::string(digits).c_str(), nullptr, 16));
}

// The data length a command requires; none for the Add zone record, whose length is the descriptor's.
std::optional<unsigned> required_data_length(unsigned code) {
    switch (code) {
        case 0x03:
        case 0x06:
        case 0x07:
        case 0x08:
            return 2;
        case 0x05:
        case 0x0F:
            return 0;
        default:
            return std::nullopt;
    }
}

bool is_known_command(unsigned code) {
    return code == 0x01 || required_data_length(code).has_value();
}

bool is_batch_record(unsigned code) {
    return code == 0x01 || code == 0x08;
}

std::string records_defect(std::string_view records) {
    unsigned count = 0;
    bool batch = false;
    while (!records.empty()) {
        if (records.size() < 4) {
            return "truncated record header";
        }
        const unsigned code = number(records.substr(0, 2));
        const unsigned length = number(records.substr(2, 2));
        if (!is_known_command(code)) {
            return "unknown command " + std::string(records.substr(0, 2));
        }
        const auto required = required_data_length(code);
        if (required ? length != *required : (length == 0 || length > max_descriptor_bytes)) {
            return "bad data length for command " + std::string(records.substr(0, 2));
        }
        if (records.size() < 4 + 2 * std::size_t{length}) {
            return "record data runs past the payload";
        }
        batch = batch || is_batch_record(code);
        ++count;
        records.remove_prefix(4 + 2 * std::size_t{length});
        if (count > 1 && !batch) {
            return "a command other than Add zone or Delete zone shares a frame";
        }
    }
    if (count == 0) {
        return "no command record";
    }
    return {};
}

}  // namespace

std::string frame_defect(std::string_view hex) {
    if (hex.size() < 8 || hex.size() % 2 != 0) {
        return "not a whole frame of digit pairs";
    }
    for (const char c : hex) {
        if (!is_upper_hex(c)) {
            return "not uppercase hexadecimal text";
        }
    }
    if (hex.substr(0, 4) != "0001") {
        return "frame type is not 0001";
    }
    const std::string_view records = hex.substr(8);
    if (number(hex.substr(4, 4)) * 2 != records.size()) {
        return "payload length does not match the records";
    }
    const std::string defect = records_defect(records);
    if (defect.empty() && is_batch_record(number(records.substr(0, 2))) &&
        records.size() > max_batch_record_digits) {
        return "zone batch exceeds its limit";
    }
    return defect;
}

std::string user_message_defect(std::string_view body) {
    const auto parsed = ozra::libs::core::json::try_parse(body);
    if (!parsed.ok || !parsed.result.isObject()) {
        return "user message is no JSON object";
    }
    const Json::Value& uid = parsed.result["uid"];
    const Json::Value& data = parsed.result["data"];
    if (!uid.isString() || uid.asString().empty()) {
        return "user message without a uid";
    }
    if (!data.isObject() || !data["hex"].isString()) {
        return "user message without data.hex";
    }
    return frame_defect(data["hex"].asString());
}

void require_no_defect(const std::string& defect, std::string_view text) {
    if (defect.empty()) {
        return;
    }
    std::fprintf(stderr, "Malformed device frame (%s): %.*s\n", defect.c_str(), static_cast<int>(text.size()),
                 text.data());
    std::abort();
}

}  // namespace varnok::fuzz
