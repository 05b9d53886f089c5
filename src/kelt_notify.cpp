#include <stdexcept>

#include "core/json.h"
#include "core/line_format.h"
#include "kelt.h"

namespace ozra {

void kelt::notify_handler(const std::string& message) {
    const auto parsed = libs::core::json::try_parse(message);
    if (!parsed.ok) {
        throw std::logic_error("handle_notify: " + parsed.error);
    }
    const Json::Value& notification = parsed.result;
    const Json::Value& object = notification["object"];
    if (!object.isString()) {
        return;
    }
    const std::string kind = object.asString();
    if (kind == "ZONE") {
        notify_handler_zone(notification);
    } else if (kind == "GROUP") {
        notify_handler_group(notification);
    } else if (kind == "TRACKABLE_OBJECT_ASSOCIATION") {
        notify_handler_trackable_object_association(notification);
    } else if (kind == "TRACKABLE_OBJECT") {
        notify_handler_trackable_object(notification);
    } else if (kind == "TRACKABLE_OBJECT_GROUPS") {
        notify_handler_trackable_object_group(notification);
    } else if (kind == "ZONE_DOWNLOAD_REQUEST") {
        notify_handler_zone_download_request(notification);
    }
}

bool kelt::IsDataAction(const Json::Value& notification, std::initializer_list<const char*> actions) const {
    const Json::Value& action = notification["action"];
    if (!action.isString()) {
        return false;
    }
    const std::string text = action.asString();
    return std::any_of(actions.begin(), actions.end(),
                       [&text](const char* listed) { return text == listed; });
}

void kelt::ClearContext() {
    m_actual_context = false;
    mUnknownDevices.Forget();
}

void kelt::notify_handler_zone(const Json::Value&) {
    ClearContext();
}

void kelt::notify_handler_group(const Json::Value& notification) {
    if (IsDataAction(notification, {"updated", "deleted"})) {
        ClearContext();
    }
}

void kelt::notify_handler_trackable_object(const Json::Value& notification) {
    if (IsDataAction(notification, {"updated", "deleted", "created"})) {
        ClearContext();
    }
}

void kelt::notify_handler_trackable_object_group(const Json::Value& notification) {
    notify_handler_trackable_object(notification);
}

void kelt::notify_handler_trackable_object_association(const Json::Value& notification) {
    if (IsDataAction(notification, {"updated", "created"}) && notification["plist"]["obj_uid"].isString()) {
        ClearContext();
    }
}

void kelt::notify_handler_zone_download_request(const Json::Value& notification) {
    const Json::Value& actionValue = notification["action"];
    if (!actionValue.isString()) {
        return;
    }
    const Json::Value& requests = notification["plist"]["zone_download_request"];
    if (!requests.isArray()) {
        return;
    }
    const std::string action = actionValue.asString();
    for (const Json::Value& request : requests) {
        const Json::Value& uidValue = request["trackable_uid"];
        if (!uidValue.isString()) {
            continue;
        }
        const std::string uid = uidValue.asString();
        const auto scope =
            m_logger.enter_scope(libs::core::format_text("ZONE_DOWNLOAD_REQUEST (%1%) for %2%", action, uid));
        if (action == "UPDATE") {
            UpdateTO(uid);
        } else if (action == "VERIFY") {
            VerifyTO(uid);
        }
    }
}

}  // namespace ozra
