// Hex, MAC and quoting helpers, each checked against a property of its result: decoded hex text encodes
// back to itself, a MAC address keeps its digits, quoting can be undone.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/exception.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    check_parse_hex(text);
    check_mac(text);
    check_quoted(text);
    try {
        ozra::ParseHex(text.empty() ? '0' : text[0]);
    } catch (const ozra::libs::core::exception&) {
    }
    return 0;
}
