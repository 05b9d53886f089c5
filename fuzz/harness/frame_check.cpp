#include "frame_check.h"

#include <core/json.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "simulator/device_frame.h"

namespace varnok::fuzz {

namespace {

namespace command = test_tools::device_command;

bool data_length_fits(std::uint8_t code, std::size_t length) {
    switch (code) {
        case command::add_zone:
            return length >= 1 && length <= 250;
        case command::crc_request:
        case command::download_complete:
        case command::crc_acknowledge:
        case command::delete_zone:
            return length == 2;
        case command::erase_all:
        case command::download_request:
            return length == 0;
        default:
            return false;
    }
}

bool in_zone_batch(const test_tools::frame_record& record) {
    return record.code == command::add_zone || record.code == command::delete_zone;
}

}  // namespace

std::string frame_defect(std::string_view hex) {
    std::string defect;
    const auto frame = test_tools::decode_frame(std::string(hex), defect);
    if (!frame) {
        return defect;
    }
    if (test_tools::encode_frame(*frame) != hex) {
        return "not uppercase hexadecimal text";
    }
    if (frame->type != test_tools::frame_type_to_device || frame->records.empty()) {
        return "frame type is not 0001, or no command record";
    }
    for (const auto& record : frame->records) {
        if (!data_length_fits(record.code, record.data.size())) {
            return "unknown command or bad data length: " + test_tools::hex_from_bytes({record.code});
        }
    }
    const bool batch = std::all_of(frame->records.begin(), frame->records.end(), in_zone_batch);
    if (frame->records.size() > 1 && !batch) {
        return "a command other than Add zone or Delete zone shares a frame";
    }
    // 512 characters of records, plus the overshoot of 2 that the delete margin allows.
    if (batch && hex.size() > 8 + 514) {
        return "zone batch exceeds its limit";
    }
    return {};
}

std::string user_message_defect(std::string_view body) {
    const auto parsed = ozra::libs::core::json::try_parse(body);
    const Json::Value& message = parsed.result;
    if (!parsed.ok || !message.isObject() || !message["uid"].isString() ||
        message["uid"].asString().empty() || !message["data"].isObject() ||
        !message["data"]["hex"].isString()) {
        return "user message is no {\"uid\": ..., \"data\": {\"hex\": ...}}";
    }
    return frame_defect(message["data"]["hex"].asString());
}

void require_no_defect(const std::string& defect, std::string_view text) {
    if (!defect.empty()) {
        std::fprintf(stderr, "Malformed device frame (%s): %.*s\n", defect.c_str(),
                     static_cast<int>(text.size()), text.data());
        std::abort();
    }
}

}  // namespace varnok::fuzz
