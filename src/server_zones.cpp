#include "globals.h"
#include "json-access.h"
#include "server.h"

namespace ozra {

namespace {

uint16_t Truncated16(const Json::Value& number) {
    return static_cast<uint16_t>(number.asUInt() & 0xFFFFu);
}

}  // namespace

void CServer::GetZoneTypes(const std::set<std::string>& configured, std::map<std::string, uint16_t>& types) {
    Json::Value root;
    GetJson(CServerResource::ZONE_TYPES, "GetZoneTypes", req_zone_types, root);
    for (const Json::Value& element : JsonElements(JsonMember(root, "zone_types"))) {
        const Json::Value& name = JsonMember(element, "name");
        const Json::Value& id = JsonMember(element, "id");
        if (name.isString() && configured.count(name.asString()) != 0 && id.isUInt()) {
            types.emplace(name.asString(), Truncated16(id));
        }
    }
}

void CServer::GetZones(const std::map<std::string, uint16_t>& types, std::map<std::string, CZone>& zones) {
    Json::Value root;
    GetJson(CServerResource::ZONES, "GetZones", req_zones, root);
    for (const Json::Value& element : JsonList("GetZones", root, "zones")) {
        const Json::Value& uid = JsonMember(element, "uid");
        if (!uid.isString()) {
            continue;
        }
        CZone zone(uid.asString());
        if (ReadZoneFromJson(types, element, zone)) {
            zones.emplace(zone.mUid, zone);
        }
    }
}

bool CServer::ReadZoneFromJson(const std::map<std::string, uint16_t>& types, const Json::Value& json,
                               CZone& zone) {
    const Json::Value& active = JsonMember(json, "active");
    if (!active.isBool() || !active.asBool()) {
        return false;
    }
    const Json::Value& dynamic = JsonMember(json, "dynamic");
    if (!dynamic.isBool() || dynamic.asBool()) {
        return false;
    }
    const Json::Value& projectUid = JsonMember(json, "project_uid");
    if (projectUid.isString()) {
        zone.mProjectUid = projectUid.asString();
    }
    const Json::Value& name = JsonMember(json, "name");
    if (!name.isString()) {
        return false;
    }
    zone.mName = name.asString();
    const Json::Value& defaultAllowed = JsonMember(json, "default_allowed");
    if (!defaultAllowed.isBool()) {
        return false;
    }
    zone.mDefaultAllowed = defaultAllowed.asBool();
    const Json::Value& typeName = JsonMember(json, "zone_type_name");
    if (!typeName.isString()) {
        return false;
    }
    const std::string lowerTypeName = ToLowerAscii(typeName.asString());
    const auto type = types.find(lowerTypeName);
    if (type == types.end()) {
        return false;
    }
    zone.mType = type->second;
    if (lowerTypeName == "boundary_in" || lowerTypeName == "boundary_out") {
        const Json::Value& coupled = JsonMember(JsonMember(json, "user_params"), "coupled");
        if (!coupled.isUInt()) {
            return false;
        }
        zone.mCoupled = Truncated16(coupled);
    }
    if (!ReadStringList(JsonMember(json, "zone_exceptions"), zone.mExceptions) ||
        !ReadStringList(JsonMember(json, "zone_exceptions_groups"), zone.mExceptionsGroups)) {
        return false;
    }
    const Json::Value& shape = JsonMember(json, "shape");
    if (shape.isString() && ToLowerAscii(shape.asString()) == "circle") {
        return false;
    }
    zone.mPoints.clear();
    const Json::Value& positions = JsonMember(JsonMember(json, "zone_geometry"), "positions");
    if (!positions.isArray() || positions.size() < 3) {
        return false;
    }
    for (const Json::Value& position : positions) {
        const Json::Value& x = JsonMember(position, "x");
        const Json::Value& y = JsonMember(position, "y");
        if (!x.isInt() || !y.isInt()) {
            return false;
        }
        zone.mPoints.emplace_back(x.asInt(), y.asInt());
    }
    const Json::Value& sublocationId = JsonMember(json, "sublocation_id");
    if (!sublocationId.isUInt()) {
        return false;
    }
    zone.mSublocationID = Truncated16(sublocationId);
    const Json::Value& zoneId = JsonMember(json, "zone_id");
    if (!zoneId.isUInt()) {
        return false;
    }
    zone.mZoneID = Truncated16(zoneId);
    return true;
}

}  // namespace ozra
