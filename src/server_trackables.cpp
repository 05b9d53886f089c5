#include "json-access.h"
#include "server.h"

namespace ozra {

void CServer::GetTrObjects(std::map<std::string, CTrackableObject>& objects,
                           std::set<std::string>& unassociated) {
    Json::Value root;
    GetJson(CServerResource::TRACKABLE_OBJECTS, "GetTrObjects", req_track_obj, root);
    for (const Json::Value& element : JsonList("GetTrObjects", root, "trackableObjects")) {
        const Json::Value& uid = JsonMember(element, "uid");
        if (!uid.isString()) {
            continue;
        }
        CTrackableObject object(uid.asString(), m_logger);
        if (ReadTrObjectFromJson(element, object)) {
            objects.emplace(object.mUid, object);
        } else if (IsValidUnassociatedTrObjectInJson(element)) {
            unassociated.insert(uid.asString());
        }
    }
}

bool CServer::GetTrObject(const std::string& uid, CTrackableObject& object) {
    Json::Value root;
    GetJson(CServerResource::TRACKABLE_OBJECT, "GetTrObject", req_track_obj + PathSegment(uid), root);
    for (const Json::Value& element : JsonElements(JsonMember(root, "trackableObjects"))) {
        const Json::Value& elementUid = JsonMember(element, "uid");
        if (!elementUid.isString() || elementUid.asString() != uid) {
            continue;
        }
        // Read into a copy so that a rejected element leaves the caller's record as it was.
        CTrackableObject candidate(object);
        candidate.mUid = uid;
        if (ReadTrObjectFromJson(element, candidate)) {
            object = candidate;
            return true;
        }
    }
    return false;
}

bool CServer::ReadTrObjectFromJson(Json::Value json, CTrackableObject& object) {
    if (!json.isObject() || json.empty()) {
        return false;
    }
    const Json::Value& node = JsonMember(json, "node");
    if (!node.isObject()) {
        return false;
    }
    const Json::Value& projectUid = JsonMember(node, "project_uid");
    if (!projectUid.isString()) {
        return false;
    }
    object.mProjectUid = projectUid.asString();
    const Json::Value& macAddress = JsonMember(node, "mac_address");
    if (!macAddress.isString()) {
        return false;
    }
    object.mMacAddress = macAddress.asString();
    if (!combMac(object.mMacAddress)) {
        return false;
    }
    object.mGroups.clear();
    const Json::Value& groups = JsonMember(node, "groups");
    return !groups.isArray() || ReadStringList(groups, object.mGroups);
}

bool CServer::IsValidUnassociatedTrObjectInJson(const Json::Value& json) {
    return json.isObject() && !json.empty() && JsonMember(json, "project_uid").isString();
}

}  // namespace ozra
