#include "download-status.h"
#include "json-access.h"
#include "request-metrics.h"
#include "server.h"

namespace ozra {

namespace {

// The server knows no UNKNOWN status: a device never verified is out of sync.
const char* DownloadStatusText(downloadStatusName_t name) {
    return name == DLS_UNKNOWN ? DownloadStatusName(DLS_OOSYNC) : DownloadStatusName(name);
}

void AppendStatus(std::string& elements, const std::string& uid, const char* status,
                  const std::string* reason) {
    if (!elements.empty()) {
        elements += ',';
    }
    elements += "{\"trackable_uid\":" + JsonQuoted(uid) + ",\"download_status\":\"" + status + "\"";
    if (reason != nullptr) {
        elements += ",\"reason\":" + JsonQuoted(*reason);
    }
    elements += '}';
}

}  // namespace

std::map<std::string, CZoneDownloadStatus> CServer::GetZonesDownloadStatuses() {
    Json::Value root;
    GetJson(CServerResource::STATUSES, "GetZonesDownloadStatuses", req_zone_download_status, root);
    std::map<std::string, CZoneDownloadStatus> statuses;
    ForEachZoneDownloadStatusInJson(JsonMember(root, "zone_download_status"),
                                    [&](CZoneDownloadStatus status) {
                                        statuses.emplace(status.TrObjectUid(), status);
                                        return true;
                                    });
    return statuses;
}

bool CServer::ForEachZoneDownloadStatusInJson(Json::Value array,
                                              const std::function<bool(CZoneDownloadStatus)>& f) const {
    for (const Json::Value& element : JsonElements(array)) {
        if (!element.isObject() || element.empty()) {
            continue;
        }
        std::string uid;
        std::string status;
        std::string ts;
        std::string reason;
        if (!GetStringMember(element, "trackable_uid", uid) ||
            !GetStringMember(element, "download_status", status) || !GetStringMember(element, "ts", ts)) {
            continue;
        }
        GetStringMember(element, "reason", reason);
        if (!f(CZoneDownloadStatus(uid, DownloadStatusFromString(status), ts, reason))) {
            return false;
        }
    }
    return true;
}

bool CServer::GetStringMember(Json::Value json, const std::string& key, std::string& out) const {
    const Json::Value& member = JsonMember(json, key.c_str());
    if (!member.isString()) {
        return false;
    }
    out = member.asString();
    return true;
}

downloadStatusName_t CServer::DownloadStatusFromString(const std::string& text) const {
    for (const downloadStatusName_t name : {DLS_OUTDATED, DLS_IN_PROCESS, DLS_UPDATED, DLS_OOSYNC}) {
        if (text == DownloadStatusText(name)) {
            return name;
        }
    }
    return DLS_UNKNOWN;
}

bool CServer::SendZoneDownloadStatus(std::map<std::string, CTrackableObject>& objects,
                                     CUnassociatedTrackableObjects& unassociated) {
    std::string elements;
    for (const auto& [uid, object] : objects) {
        for (const CDownloadStatus& status : object.mDownloadStatusHistory) {
            const bool hasReason = status.mReason.Type() != DownloadStatusReason::NO_REASON;
            AppendStatus(elements, uid, DownloadStatusText(status.mName),
                         hasReason ? &status.mReason.String() : nullptr);
        }
    }
    const std::string notAssociated =
        DownloadStatusReason::SimpleReason(DownloadStatusReason::NOT_ASSOCIATED).String();
    unassociated.ForEachPendingTO([&](const std::string& uid) {
        AppendStatus(elements, uid, "OOSYNC", &notAssociated);
        return true;
    });
    if (elements.empty()) {
        return false;
    }
    const std::string body = "{\"zone_download_status\":[" + elements + "]}";
    m_logger.debug("POST %1% %2%") % req_zone_download_status % body;
    std::stringstream answer;
    CMeasuredRequest measured(CServerResource::STATUS_REPORT);
    CurlPostRequest(req_zone_download_status, answer, body, nullptr);
    measured.Ended(true);
    unassociated.MarkAllAsSynchronized();
    for (auto& entry : objects) {
        entry.second.StatusesReported();
    }
    return true;
}

bool CServer::DeleteZoneDownloadStatus(const std::string& uid) {
    const std::string path = req_zone_download_status + "/" + PathSegment(uid);
    m_logger.debug("Call %1%") % path;
    SendAsyncDelRequest(path);
    return true;
}

}  // namespace ozra
