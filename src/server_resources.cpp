#include <cstdio>

#include "json-access.h"
#include "request-metrics.h"
#include "server.h"

namespace ozra {

const std::string CServer::req_zone_types = "/api/private/zone_types/";
const std::string CServer::req_zones = "/api/private/zones/";
const std::string CServer::req_track_obj = "/api/v2/private/track_obj/";
const std::string CServer::req_zone_download_status = "/api/private/zone_download_status";
const std::string CServer::req_user_msg = "/api/v2/private/user_msg/";

void CServer::GetJson(CServerResource resource, const std::string& caller, const std::string& path,
                      Json::Value& root) {
    std::stringstream answer;
    CMeasuredRequest measured(resource);
    CurlGetRequest(path, answer, nullptr);
    measured.Ended(true);
    ParseAnswer(caller, answer, root);
}

bool CServer::ReadStringList(const Json::Value& list, std::set<std::string>& out) {
    out.clear();
    if (list.isNull()) {
        return true;
    }
    if (!list.isArray()) {
        return false;
    }
    for (const Json::Value& element : list) {
        if (!element.isString()) {
            return false;
        }
        out.insert(element.asString());
    }
    return true;
}

std::string CServer::PathSegment(const std::string& text) {
    // "." and ".." would name this segment's directory or its parent once the path is normalised.
    const bool dotSegment = text == "." || text == "..";
    std::string segment;
    for (const char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || (c == '.' && !dotSegment) || c == '_' || c == '~';
        if (unreserved) {
            segment += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            segment += escape;
        }
    }
    return segment;
}

void CServer::SendUserMsg(const std::string& uid, const std::string& hex, bool replaceable) {
    m_logger.debug("To VESK %1%: %2%") % uid % hex;
    SendAsyncPostRequest(req_user_msg,
                         "{\"uid\":" + JsonQuoted(uid) + ",\"data\":{\"hex\":" + JsonQuoted(hex) + "}}", uid,
                         replaceable);
}

}  // namespace ozra
