// Hex, CRC, MAC and quoting helpers and the frame builders, each checked against a property of its
// result: the CRC of data followed by its own CRC is 0, decoded hex text encodes back to itself, a
// MAC address keeps its digits, quoting can be undone, every built frame is well formed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/exception.h"
#include "device-frame.h"
#include "globals.h"
#include "harness/frame_check.h"

namespace {

void require(bool condition, const char* property, const std::string& text) {
    varnok::fuzz::require_no_defect(condition ? std::string() : property, text);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return text;
}

void check_crc(const uint8_t* data, size_t size) {
    const uint16_t length = static_cast<uint16_t>(std::min<size_t>(size, 1000));
    std::vector<uint8_t> framed(data, data + length);
    const uint16_t crc = ozra::Crc16(framed.data(), length);
    framed.push_back(static_cast<uint8_t>(crc >> 8));
    framed.push_back(static_cast<uint8_t>(crc & 0xFF));
    require(ozra::Crc16(framed.data(), static_cast<uint16_t>(framed.size())) == 0, "CRC residue", "");
}

void check_parse_hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    try {
        bytes = ozra::ParseHexString(text);
    } catch (const ozra::libs::core::exception&) {
        return;
    }
    std::string encoded;
    for (const uint8_t byte : bytes) {
        encoded += ozra::HexNumber(byte, 2);
    }
    require(encoded == upper(text), "hex text round trip", text);
}

void check_mac(const std::string& text) {
    std::string mac = text;
    const bool accepted = ozra::combMac(mac);
    const bool expected = text.size() == 12 || text.size() == 16;
    require(accepted == expected, "MAC length rule", text);
    const std::string wanted = !accepted           ? text
                               : text.size() == 12 ? upper(text.substr(0, 6)) + "FFFE" + upper(text.substr(6))
                                                   : upper(text);
    require(mac == wanted, "MAC form", text);
}

void check_quoted(const std::string& text) {
    const std::string quoted = ozra::Quoted(text, '"', '\\');
    require(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"', "quotes", text);
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '\\') {
            ++i;
        } else {
            require(quoted[i] != '"', "unescaped quote", text);
        }
        unquoted += quoted[i];
    }
    require(unquoted == text, "quoting round trip", text);
}

void check_frames(const uint8_t* data, size_t size) {
    uint16_t value = 0;
    std::memcpy(&value, data, std::min<size_t>(size, sizeof value));
    std::string descriptor;
    for (size_t i = 0; i < std::min<size_t>(size, 250); ++i) {
        descriptor += ozra::HexNumber(data[i], 2);
    }
    for (const std::string& frame :
         {ozra::frame::Command(ozra::frame::CMD_DOWNLOAD_REQUEST),
          ozra::frame::Command(ozra::frame::CMD_ERASE_ALL),
          ozra::frame::CrcCommand(ozra::frame::CMD_CRC_REQUEST, value),
          ozra::frame::CrcCommand(ozra::frame::CMD_DOWNLOAD_COMPLETE, value),
          ozra::frame::CrcCommand(ozra::frame::CMD_CRC_ACKNOWLEDGE, value),
          ozra::frame::ToDevice(ozra::frame::DeleteZoneRecord(value)),
          ozra::frame::ToDevice(ozra::frame::AddZoneRecord(descriptor.empty() ? "00" : descriptor))}) {
        varnok::fuzz::require_no_defect(varnok::fuzz::frame_defect(frame), frame);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    check_crc(data, size);
    check_parse_hex(text);
    check_mac(text);
    check_quoted(text);
    check_frames(data, size);
    try {
        ozra::ParseHex(text.empty() ? '0' : text[0]);
    } catch (const ozra::libs::core::exception&) {
    }
    return 0;
}
