#include "simulator/notifications.h"

#include <json/value.h>
#include <json/writer.h>

namespace varnok::test_tools {

std::string download_request_notification(const std::string& action, const std::vector<std::string>& uids) {
    Json::Value notification;
    notification["object"] = "ZONE_DOWNLOAD_REQUEST";
    notification["action"] = action;
    auto& requests = notification["plist"]["zone_download_request"] = Json::Value(Json::arrayValue);
    for (const auto& uid : uids) {
        Json::Value request;
        request["trackable_uid"] = uid;
        requests.append(request);
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, notification);
}

}  // namespace varnok::test_tools
