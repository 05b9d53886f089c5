#pragma once

#include "rest_answer.h"

#include <json/value.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace varnok::test_tools {

// The REST resources' data and the answer to each method and path.
class rest_resources {
public:
    // Response members of the array resources.
    static constexpr const char* zone_types_member = "zone_types";
    static constexpr const char* zones_member = "zones";
    static constexpr const char* trackables_member = "trackableObjects";
    static constexpr const char* statuses_member = "zone_download_status";

    rest_resources();

    void set_array(const std::string& member, const Json::Value& array);
    void set_raw_body(const std::string& path, const std::string& body);
    void clear_raw_bodies();

    Json::Value download_statuses() const;
    std::optional<Json::Value> download_status(const std::string& trackable_uid) const;

    rest_answer answer(const std::string& method, const std::string& path, const std::string& body);

private:
    rest_answer answer_get(const std::string& path) const;
    rest_answer answer_status_report(const std::string& body);
    rest_answer answer_status_delete(const std::string& trackable_uid);
    rest_answer answer_user_msg(const std::string& body) const;
    rest_answer wrapped(const std::string& member, const Json::Value& array) const;
    rest_answer trackable_objects_of(const std::string& uid) const;

    void store_status(Json::Value status);

    mutable std::mutex m_mutex;
    std::map<std::string, Json::Value> m_arrays;  // response member -> array
    std::map<std::string, std::string> m_raw_bodies;
};

}  // namespace varnok::test_tools
