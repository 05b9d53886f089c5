#pragma once

#include "fake_server/recorded_request.h"

#include <json/value.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnok::test_tools {

namespace rest_paths {
inline constexpr const char* zone_types = "/api/private/zone_types/";
inline constexpr const char* zones = "/api/private/zones/";
inline constexpr const char* track_obj = "/api/v2/private/track_obj/";
inline constexpr const char* zone_download_status = "/api/private/zone_download_status";
inline constexpr const char* user_msg = "/api/v2/private/user_msg/";
}  // namespace rest_paths

// A deviation from the normal answer, applied to the requests a rule selects.
struct response_fault {
    std::optional<unsigned> status;  // answer with this status instead
    bool invalid_body = false;       // answer with a body that is not JSON
    std::chrono::milliseconds delay{0};
    // The request takes effect only when the delay has passed, even when the client gave up waiting.
    bool lands_late = false;
    // The rule applies to the next matching request only.
    bool once = false;
};

// In-memory HTTP/1.1 server of the location system's private REST API, on 127.0.0.1 and a free port,
// served by its own thread. Every method is safe to call from any thread.
class fake_location_server {
public:
    virtual ~fake_location_server() = default;

    virtual unsigned short port() const = 0;
    // "http://127.0.0.1:<port>"
    virtual std::string url() const = 0;

    // Resource data: each takes the JSON array served under the resource's member.
    virtual void set_zone_types(const Json::Value& array) = 0;
    virtual void set_zones(const Json::Value& array) = 0;
    virtual void set_trackable_objects(const Json::Value& array) = 0;
    virtual void set_download_statuses(const Json::Value& array) = 0;
    // Serves this exact text as the body of every GET of the path, instead of the resource data.
    virtual void set_raw_body(const std::string& path, const std::string& body) = 0;
    virtual void clear_raw_bodies() = 0;

    // Stored download statuses as a GET returns them: the set array, with each reported status
    // replacing the element of the same "trackable_uid" (or appended), and deleted uids removed.
    virtual Json::Value download_statuses() const = 0;
    // The last stored status element of a uid.
    virtual std::optional<Json::Value> download_status(const std::string& trackable_uid) const = 0;

    // Faults: an empty path or method selects all; the most specific matching rule wins.
    virtual void set_fault(const response_fault& fault, const std::string& path = "",
                           const std::string& method = "") = 0;
    virtual void clear_faults() = 0;
    // Every answer leaves this much later, on top of a fault's delay, as from a loaded server.
    virtual void set_answer_delay(std::chrono::milliseconds delay) = 0;

    // Closes the listening socket and every open connection: connections are refused until resumed.
    virtual void stop_listening() = 0;
    // Listens again on the same port.
    virtual void resume_listening() = 0;

    virtual std::vector<recorded_request> requests() const = 0;
    virtual std::vector<recorded_request> requests(const request_matcher& match) const = 0;
    virtual std::size_t request_count() const = 0;
    virtual void clear_requests() = 0;
    // Waits until at least count requests were recorded; false at the deadline.
    virtual bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const = 0;
    // Waits until a recorded request matches (earlier ones count); the first match, or none at the deadline.
    virtual std::optional<recorded_request> wait_for_request(const request_matcher& match,
                                                             std::chrono::milliseconds timeout) const = 0;
    // Waits until count recorded requests match.
    virtual bool wait_for_requests(const request_matcher& match, std::size_t count,
                                   std::chrono::milliseconds timeout) const = 0;

    // Called on the server thread for each request after it was recorded and handled.
    virtual void set_request_observer(std::function<void(const recorded_request&)> observer) = 0;
};

std::unique_ptr<fake_location_server> make_fake_location_server();

}  // namespace varnok::test_tools
