#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device-frame.h"

namespace ozra {

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
uint16_t Crc16(const uint8_t* data, uint16_t length);
constexpr uint16_t crc16_initial = 0xFFFF;
// The register after the bytes, from the register crc; Crc16 starts from crc16_initial.
uint16_t Crc16Update(uint16_t crc, const uint8_t* data, std::size_t length);

// Value 0..15 of one hexadecimal digit (either case); nothing for any other character.
std::optional<uint8_t> HexDigit(char c);
// As HexDigit, but raises on any other character.
uint8_t ParseHex(char c);

// Writes text.size() / 2 bytes decoded from pairs of hexadecimal digits to out. Raises before writing
// anything when the text has an odd length or does not fit into outSize bytes; a bad digit raises after
// the bytes before it were written.
void ParseHexString(std::string_view text, uint8_t* out, std::size_t outSize);
// The bytes of a text of hexadecimal digit pairs; raises as above.
std::vector<uint8_t> ParseHexString(std::string_view text);

// Brings a 12-digit MAC address to its 16-digit form (FFFE inserted in the middle) and upper-cases a
// 12- or 16-digit one in place; an address of another length is left unchanged and false is returned.
bool combMac(std::string& mac);

// text with every ASCII letter changed to the given case; other bytes are kept.
std::string ToUpperAscii(std::string text);
std::string ToLowerAscii(std::string text);

// The text between two quote characters, with escape inserted before every quote and escape character.
std::string Quoted(const std::string& text, char quote, char escape);

// value in uppercase hexadecimal, zero-padded to minDigits; a larger value is written in full.
std::string HexNumber(uint64_t value, std::size_t minDigits);

}  // namespace ozra
