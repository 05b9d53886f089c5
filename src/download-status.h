#pragma once

#include <cstdint>
#include <string>

namespace ozra {

enum downloadStatusName_t : uint32_t {
    DLS_UNKNOWN = 0,
    DLS_OUTDATED = 1,
    DLS_IN_PROCESS = 2,
    DLS_UPDATED = 3,
    DLS_OOSYNC = 4,
};

// "UNKNOWN", "OUTDATED", "IN_PROCESS", "UPDATED" or "OOSYNC"; empty for another value.
const char* DownloadStatusName(downloadStatusName_t name);

namespace DownloadStatusReason {

enum ReasonType : uint32_t {
    NO_REASON = 0,
    CRC_MISMATCH = 1,
    REQUEST_REJECTED = 2,
    DISCONNECTED = 3,
    CHANGE = 4,
    NOT_ASSOCIATED = 5,
    TOO_LARGE_ZONE = 6,
    ADD_FAILED = 7,
    DELETE_FAILED = 8,
};

// Why a download status was set, with the text reported to the server.
class Reason {
public:
    Reason(ReasonType type, std::string str) : m_type(type), m_str(std::move(str)) {}

    ReasonType Type() const { return m_type; }
    const std::string& String() const { return m_str; }

private:
    ReasonType m_type;
    std::string m_str;
};

Reason NoReason();
// CRC_MISMATCH, REQUEST_REJECTED, DISCONNECTED, CHANGE or NOT_ASSOCIATED; raises "Unknown reason" otherwise.
Reason SimpleReason(ReasonType type);
Reason TooLargeZone(int32_t zoneId, const std::string& name);
Reason AddFailed(int32_t zoneId, const std::string& name, int32_t code);
Reason DeleteFailed(int32_t zoneId, const std::string& name, int32_t code);

}  // namespace DownloadStatusReason

// A download status of a trackable object with its reason.
class CDownloadStatus {
public:
    CDownloadStatus(downloadStatusName_t name, DownloadStatusReason::Reason reason)
        : mName(name), mReason(std::move(reason)) {}

    bool operator==(const CDownloadStatus& other) const {
        return mName == other.mName && mReason.Type() == other.mReason.Type() &&
               mReason.String() == other.mReason.String();
    }

    downloadStatusName_t mName;
    DownloadStatusReason::Reason mReason;
};

}  // namespace ozra
