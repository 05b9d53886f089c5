#include "simulator/device_frame.h"

#include <cctype>

namespace varnok::test_tools {

namespace {

int hex_digit_value(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(digit)));
    if (upper >= 'A' && upper <= 'F') {
        return upper - 'A' + 10;
    }
    return -1;
}

std::uint16_t read_u16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

void append_u16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> bytes_from_hex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hex_digit_value(hex[i]);
        const int low = hex_digit_value(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string hex_from_bytes(const std::vector<std::uint8_t>& bytes, bool lowercase) {
    const char* digits = lowercase ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const auto byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

std::optional<device_frame> decode_frame(const std::string& hex, std::string& error) {
    const auto bytes = bytes_from_hex(hex);
    if (!bytes) {
        error = "not hexadecimal digit pairs";
        return std::nullopt;
    }
    if (bytes->size() < 4) {
        error = "shorter than a frame header";
        return std::nullopt;
    }
    device_frame frame;
    frame.type = read_u16(*bytes, 0);
    const std::size_t payload_size = read_u16(*bytes, 2);
    if (payload_size != bytes->size() - 4) {
        error = "payload length " + std::to_string(payload_size) + " but " +
                std::to_string(bytes->size() - 4) + " payload bytes";
        return std::nullopt;
    }
    for (std::size_t offset = 4; offset < bytes->size();) {
        if (bytes->size() - offset < 2) {
            error = "truncated record header at byte " + std::to_string(offset);
            return std::nullopt;
        }
        frame_record record;
        record.code = (*bytes)[offset];
        const std::size_t data_size = (*bytes)[offset + 1];
        offset += 2;
        if (bytes->size() - offset < data_size) {
            error = "record data runs past the frame at byte " + std::to_string(offset);
            return std::nullopt;
        }
        record.data.assign(bytes->begin() + static_cast<std::ptrdiff_t>(offset),
                           bytes->begin() + static_cast<std::ptrdiff_t>(offset + data_size));
        offset += data_size;
        frame.records.push_back(std::move(record));
    }
    return frame;
}

std::string encode_frame(const device_frame& frame, bool lowercase) {
    std::vector<std::uint8_t> payload;
    for (const auto& record : frame.records) {
        payload.push_back(record.code);
        payload.push_back(static_cast<std::uint8_t>(record.data.size()));
        payload.insert(payload.end(), record.data.begin(), record.data.end());
    }
    std::vector<std::uint8_t> bytes;
    append_u16(bytes, frame.type);
    append_u16(bytes, static_cast<std::uint16_t>(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return hex_from_bytes(bytes, lowercase);
}

}  // namespace varnok::test_tools
