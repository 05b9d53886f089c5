#include <stdexcept>
#include <string_view>
#include <utility>

#include "core/json.h"
#include "core/line_format.h"
#include "globals.h"
#include "kelt.h"
#include "metrics.h"

namespace ozra {

namespace {

const std::string device_frame_type = HexNumber(frame::TYPE_FROM_DEVICE, frame::TYPE_DIGITS);

// Consumes the hexadecimal text of a device frame field by field.
class CFrameReader {
public:
    explicit CFrameReader(std::string_view text) : mText(text) {}

    bool Empty() const { return mText.empty(); }

    // The next count characters; raises std::out_of_range when fewer are left.
    std::string_view Take(std::size_t count) {
        if (count > mText.size()) {
            throw std::out_of_range("device frame: " + std::to_string(count) + " characters needed, " +
                                    std::to_string(mText.size()) + " left");
        }
        const std::string_view field = mText.substr(0, count);
        mText.remove_prefix(count);
        return field;
    }

    // A number from exactly its digits: the leading hexadecimal digits, 0 when there are none.
    uint32_t TakeNumber(std::size_t digits) {
        uint32_t value = 0;
        for (const char c : Take(digits)) {
            const auto digit = HexDigit(c);
            if (!digit) {
                break;
            }
            value = value * 16 + *digit;
        }
        return value;
    }

    void Limit(std::size_t count) { mText = mText.substr(0, count); }

private:
    std::string_view mText;
};

enum class commandCheck { UNKNOWN, INCONSISTENT, VALID };

// Whether the code is a known command and its data length the one it requires (the CRC report's is
// not checked).
commandCheck CheckCommand(uint32_t code, uint32_t length) {
    switch (code) {
        case frame::CMD_ZONE_ACTION_STATUS_REPORT:
            return length == 3 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case frame::CMD_CRC_RESPONSE:
        case frame::CMD_DOWNLOAD_COMPLETE_CONFIRM:
            return length == 2 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case frame::CMD_ERASE_ALL_CONFIRM:
        case frame::CMD_RESPONSE_DOWNLOAD_REQUEST:
            return length == 1 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case frame::CMD_CRC_REPORT:
            return commandCheck::VALID;
        default:
            return commandCheck::UNKNOWN;
    }
}

}  // namespace

void kelt::user_msg_handler(const std::string& message) {
    const auto parsed = libs::core::json::try_parse(message);
    if (!parsed.ok) {
        throw std::logic_error("handle user_msg: " + parsed.error);
    }
    const Json::Value& root = parsed.result;
    const Json::Value& devId = root["dev_id"];
    if (!devId.isString()) {
        return;
    }
    const Json::Value& hexValue = root["hex"];
    if (!hexValue.isString()) {
        return;
    }
    const std::string uid = devId.asString();
    std::string hex = hexValue.asString();
    if (uid.empty()) {
        m_logger.warning("Reply without a device uid dropped: %1%") % hex;
        return;
    }
    if (mTrObjects.count(uid) == 0 && mUnknownDevices.IsIgnored(uid, std::chrono::steady_clock::now())) {
        m_logger.debug("Reply from %1%, a device unknown to the server, dropped") % uid;
        return;
    }
    hex = ToUpperAscii(std::move(hex));
    if (hex.compare(0, device_frame_type.size(), device_frame_type) != 0) {
        return;
    }
    if (mTrObjects.count(uid) != 0) {
        Metrics().DeviceReplyTaken();
    }
    const auto scope = m_logger.enter_scope(libs::core::format_text("From VESK %1%: %2%", uid, hex));

    CFrameReader reader(hex);
    reader.Take(device_frame_type.size());
    const uint32_t payloadLength = reader.TakeNumber(frame::LENGTH_DIGITS);
    reader.Limit(2 * static_cast<std::size_t>(payloadLength));

    bool zoneReportsAccepted = false;
    while (!reader.Empty()) {
        const uint32_t code = reader.TakeNumber(frame::CODE_DIGITS);
        const uint32_t length = reader.TakeNumber(frame::DATA_LENGTH_DIGITS);
        const commandCheck check = CheckCommand(code, length);
        if (check != commandCheck::VALID) {
            if (check == commandCheck::UNKNOWN) {
                m_logger.debug("Unknown command from QUILL %1$#x") % code;
            } else {
                m_logger.debug("Command %1$#x from QUILL: inconsistent data length:%2%") % code % length;
            }
            reader.Take(2 * static_cast<std::size_t>(length));
            continue;
        }
        bool proceed = true;
        switch (code) {
            case frame::CMD_ZONE_ACTION_STATUS_REPORT: {
                const uint32_t zoneId = reader.TakeNumber(4);
                const uint32_t errorCode = reader.TakeNumber(2);
                zoneReportsAccepted = ZoneActionStatusReport(uid, zoneId, errorCode);
                proceed = zoneReportsAccepted;
                break;
            }
            case frame::CMD_CRC_RESPONSE:
                CrcResponse(uid, reader.TakeNumber(4));
                break;
            case frame::CMD_ERASE_ALL_CONFIRM:
                proceed = EraseAllConfirm(uid, reader.TakeNumber(2));
                break;
            case frame::CMD_DOWNLOAD_COMPLETE_CONFIRM:
                proceed = DownloadCompleteConfirm(uid, reader.TakeNumber(4));
                break;
            case frame::CMD_CRC_REPORT:
                CrcReport(uid, reader.TakeNumber(4));
                break;
            case frame::CMD_RESPONSE_DOWNLOAD_REQUEST:
                proceed = ResponseDownloadRequest(uid, reader.TakeNumber(2));
                break;
        }
        if (!proceed) {
            return;
        }
    }
    if (zoneReportsAccepted) {
        ZonesReport(uid);
    }
}

}  // namespace ozra
