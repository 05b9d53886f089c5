#include "frame_check.h"

#include <core/json.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "simulator/device_frame.h"

namespace varnok::fuzz {

namespace {

namespace command = test_tools::device_command;

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
    // Smallest and largest data length by command.
    static const std::map<std::uint8_t, std::pair<std::size_t, std::size_t>> lengths{
        {command::add_zone, {1, 250}},        {command::crc_request, {2, 2}},
        {command::download_complete, {2, 2}}, {command::crc_acknowledge, {2, 2}},
        {command::delete_zone, {2, 2}},       {command::erase_all, {0, 0}},
        {command::download_request, {0, 0}}};
    bool batch = true;
    for (const auto& record : frame->records) {
        const auto range = lengths.find(record.code);
        if (range == lengths.end() || record.data.size() < range->second.first ||
            record.data.size() > range->second.second) {
            return "unknown command or bad data length: " + test_tools::hex_from_bytes({record.code});
        }
        batch = batch && (record.code == command::add_zone || record.code == command::delete_zone);
    }
    if (frame->records.size() > 1 && !batch) {
        return "a command other than Add zone or Delete zone shares a frame";
    }
    // 512 characters of records, plus the overshoot of 2 that the delete margin allows.
    if (batch && hex.size() > 8 + 514) {
        return "zone batch exceeds its limit";
    }
    return {};
}

}  // namespace

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

// Every target's set-up: the loggers print nothing to stderr, as under systemd.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("OZRA_LAUNCHED_BY_SYSTEMD", "1", 1);
    return 0;
}
