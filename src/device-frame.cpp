#include "device-frame.h"

#include "globals.h"

namespace ozra::frame {

std::string CommandRecord(uint8_t code, const std::string& data) {
    return HexNumber(code, CODE_DIGITS) + HexNumber(data.size() / 2, DATA_LENGTH_DIGITS) + data;
}

std::string AddZoneRecord(const std::string& descriptor) {
    return CommandRecord(CMD_ADD_ZONE, descriptor);
}

std::string DeleteZoneRecord(uint16_t zoneId) {
    return CommandRecord(CMD_DELETE_ZONE, HexNumber(zoneId, 4));
}

std::string ToDevice(const std::string& records) {
    return HexNumber(TYPE_TO_DEVICE, TYPE_DIGITS) + HexNumber(records.size() / 2, LENGTH_DIGITS) + records;
}

std::string Command(uint8_t code) {
    return ToDevice(CommandRecord(code, ""));
}

std::string CrcCommand(uint8_t code, uint16_t crc) {
    return ToDevice(CommandRecord(code, HexNumber(crc, 4)));
}

}  // namespace ozra::frame
