#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ozra::frame {

// Frame header: type (2 bytes), payload length (2 bytes), then command records.
constexpr uint16_t TYPE_TO_DEVICE = 0x0001;
constexpr uint16_t TYPE_FROM_DEVICE = 0x0002;
constexpr std::size_t TYPE_DIGITS = 4;
constexpr std::size_t LENGTH_DIGITS = 4;
constexpr std::size_t HEADER_DIGITS = TYPE_DIGITS + LENGTH_DIGITS;

// Command record: code (1 byte), data length (1 byte), data.
constexpr std::size_t CODE_DIGITS = 2;
constexpr std::size_t DATA_LENGTH_DIGITS = 2;

// Commands to a device.
constexpr uint8_t CMD_ADD_ZONE = 0x01;
constexpr uint8_t CMD_CRC_REQUEST = 0x03;
constexpr uint8_t CMD_ERASE_ALL = 0x05;
constexpr uint8_t CMD_DOWNLOAD_COMPLETE = 0x06;
constexpr uint8_t CMD_CRC_ACKNOWLEDGE = 0x07;
constexpr uint8_t CMD_DELETE_ZONE = 0x08;
constexpr uint8_t CMD_DOWNLOAD_REQUEST = 0x0F;

// Commands from a device.
constexpr uint8_t CMD_ZONE_ACTION_STATUS_REPORT = 0x02;
constexpr uint8_t CMD_CRC_RESPONSE = 0x04;
constexpr uint8_t CMD_ERASE_ALL_CONFIRM = 0x85;
constexpr uint8_t CMD_DOWNLOAD_COMPLETE_CONFIRM = 0x86;
constexpr uint8_t CMD_CRC_REPORT = 0x87;
constexpr uint8_t CMD_RESPONSE_DOWNLOAD_REQUEST = 0x8F;

// One command record as text: code, data length (data.size() / 2) and the data digits.
std::string CommandRecord(uint8_t code, const std::string& data);
// Add zone record carrying a zone descriptor.
std::string AddZoneRecord(const std::string& descriptor);
// Delete zone record for a zone ID.
std::string DeleteZoneRecord(uint16_t zoneId);

// A frame to a device around the given command records.
std::string ToDevice(const std::string& records);
// A frame to a device with one command without data ("000100020F00" for the download request).
std::string Command(uint8_t code);
// A frame to a device with one command carrying a CRC (CRC request, download complete, CRC acknowledge).
std::string CrcCommand(uint8_t code, uint16_t crc);

}  // namespace ozra::frame
