#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string_view>

#include "core/json.h"
#include "core/line_format.h"
#include "kelt.h"
#include "metrics.h"

namespace ozra {

namespace {

constexpr std::string_view device_frame_type = "0002";

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
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                break;
            }
            value = value * 16 +
                    static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                              ? c - '0'
                                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
        }
        return value;
    }

    void Limit(std::size_t count) { mText = mText.substr(0, count); }

private:
    std::string_view mText;
};

enum deviceCommand : uint32_t {
    CMD_ZONE_ACTION_STATUS_REPORT = 0x02,
    CMD_CRC_RESPONSE = 0x04,
    CMD_ERASE_ALL_CONFIRM = 0x85,
    CMD_DOWNLOAD_COMPLETE_CONFIRM = 0x86,
    CMD_CRC_REPORT = 0x87,
    CMD_RESPONSE_DOWNLOAD_REQUEST = 0x8F,
};

enum class commandCheck { UNKNOWN, INCONSISTENT, VALID };

// Whether the code is a known command and its data length the one it requires (the CRC report's is
// not checked).
commandCheck CheckCommand(uint32_t code, uint32_t length) {
    switch (code) {
        case CMD_ZONE_ACTION_STATUS_REPORT:
            return length == 3 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case CMD_CRC_RESPONSE:
        case CMD_DOWNLOAD_COMPLETE_CONFIRM:
            return length == 2 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case CMD_ERASE_ALL_CONFIRM:
        case CMD_RESPONSE_DOWNLOAD_REQUEST:
            return length == 1 ? commandCheck::VALID : commandCheck::INCONSISTENT;
        case CMD_CRC_REPORT:
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
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (hex.compare(0, device_frame_type.size(), device_frame_type) != 0) {
        return;
    }
    if (mTrObjects.count(uid) != 0) {
        Metrics().DeviceReplyTaken();
    }
    const auto scope = m_logger.enter_scope(libs::core::format_text("From VESK %1%: %2%", uid, hex));

    CFrameReader reader(hex);
    reader.Take(device_frame_type.size());
    const uint32_t payloadLength = reader.TakeNumber(4);
    reader.Limit(2 * static_cast<std::size_t>(payloadLength));

    bool zoneReportsAccepted = false;
    while (!reader.Empty()) {
        const uint32_t code = reader.TakeNumber(2);
        const uint32_t length = reader.TakeNumber(2);
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
            case CMD_ZONE_ACTION_STATUS_REPORT: {
                const uint32_t zoneId = reader.TakeNumber(4);
                const uint32_t errorCode = reader.TakeNumber(2);
                zoneReportsAccepted = ZoneActionStatusReport(uid, zoneId, errorCode);
                proceed = zoneReportsAccepted;
                break;
            }
            case CMD_CRC_RESPONSE:
                CrcResponse(uid, reader.TakeNumber(4));
                break;
            case CMD_ERASE_ALL_CONFIRM:
                proceed = EraseAllConfirm(uid, reader.TakeNumber(2));
                break;
            case CMD_DOWNLOAD_COMPLETE_CONFIRM:
                proceed = DownloadCompleteConfirm(uid, reader.TakeNumber(4));
                break;
            case CMD_CRC_REPORT:
                CrcReport(uid, reader.TakeNumber(4));
                break;
            case CMD_RESPONSE_DOWNLOAD_REQUEST:
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
