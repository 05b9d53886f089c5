#include "globals.h"

#include <array>
#include <utility>

#include "core/exception.h"

namespace ozra {

namespace {

// crc_tables[k][v]: the register after the byte v followed by k zero bytes, from a zero register.
using CrcTables = std::array<std::array<uint16_t, 256>, 8>;

CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (unsigned value = 0; value < 256; ++value) {
        uint16_t crc = static_cast<uint16_t>(value << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc =
                (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        }
        tables[0][value] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (unsigned value = 0; value < 256; ++value) {
            const uint16_t previous = tables[k - 1][value];
            tables[k][value] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}

const CrcTables crc_tables = MakeCrcTables();

}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, std::size_t length) {
    const auto& t = crc_tables;
    for (; length >= 8; length -= 8, data += 8) {
        const unsigned x = crc ^ (static_cast<unsigned>(data[0]) << 8 | data[1]);
        crc = t[7][x >> 8] ^ t[6][x & 0xFF] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^ t[2][data[5]] ^
              t[1][data[6]] ^ t[0][data[7]];
    }
    for (; length > 0; --length, ++data) {
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][(crc >> 8) ^ *data]);
    }
    return crc;
}

uint16_t Crc16(const uint8_t* data, uint16_t length) {
    return Crc16Update(crc16_initial, data, length);
}

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

uint8_t ParseHex(char c) {
    if (const auto digit = HexDigit(c)) {
        return *digit;
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
    mac = ToUpperAscii(std::move(mac));
    return true;
}

std::string ToUpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string ToLowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
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
