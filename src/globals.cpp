#include "globals.h"

#include <algorithm>
#include <cctype>

#include "core/exception.h"

namespace ozra {

uint16_t Crc16(const uint8_t* data, uint16_t length) {
    uint16_t crc = 0xFFFF;
    for (uint16_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc =
                (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

uint8_t ParseHex(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    OZRA_THROW(std::string("ParseHex: Invalid input string: ") + c);
}

void ParseHexString(std::string_view text, uint8_t* out, std::size_t outSize) {
    if (text.size() % 2 != 0) {
        OZRA_THROW("ParseHexString: Invalid input string: " + std::string(text));
    }
    const std::size_t count = text.size() / 2;
    if (count > outSize) {
        OZRA_THROW("ParseHexString: Output buffer too small: " + std::to_string(outSize) + " bytes for " +
                   std::to_string(count));
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<uint8_t>(16 * ParseHex(text[2 * i]) + ParseHex(text[2 * i + 1]));
    }
}

std::vector<uint8_t> ParseHexString(std::string_view text) {
    std::vector<uint8_t> bytes(text.size() / 2);
    ParseHexString(text, bytes.data(), bytes.size());
    return bytes;
}

bool combMac(std::string& mac) {
    if (mac.size() == 12) {
        mac.insert(6, "FFFE");
    } else if (mac.size() != 16) {
        return false;
    }
    std::transform(mac.begin(), mac.end(), mac.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return true;
}

std::string Quoted(const std::string& text, char quote, char escape) {
    std::string result(1, quote);
    for (const char c : text) {
        if (c == quote || c == escape) {
            result += escape;
        }
        result += c;
    }
    result += quote;
    return result;
}

std::string HexNumber(uint64_t value, std::size_t minDigits) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (text.size() < minDigits) {
        text.insert(0, minDigits - text.size(), '0');
    }
    return text;
}

}  // namespace ozra
