#pragma once

#include <zmq.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/json.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "fake_server/fake_location_server.h"
#include "frame_check.h"
#include "in_process_curl.h"
#include "kelt.h"
#include "rest_resources.h"

namespace varnok::fuzz {

inline Json::Value parsed(std::string_view json) {
    return ozra::libs::core::json::try_parse(json).result;
}

// Records of the server, in project p1: an active static zone on sublocation 1 without exceptions, a tag
// with a device (in group g1) or without, a stored download status.
inline Json::Value zone_json(const std::string& uid, unsigned zone_id, const char* type,
                             const std::vector<std::pair<int, int>>& points) {
    Json::Value zone =
        parsed(R"({"active": true, "dynamic": false, "project_uid": "p1", "default_allowed": false,
        "zone_exceptions": [], "zone_exceptions_groups": [], "sublocation_id": 1})");
    zone["uid"] = uid;
    zone["name"] = "zone " + uid;
    zone["zone_type_name"] = type;
    zone["zone_id"] = zone_id;
    for (const auto& [x, y] : points) {
        Json::Value& point = zone["zone_geometry"]["positions"].append(Json::objectValue);
        point["x"] = x;
        point["y"] = y;
    }
    return zone;
}

inline Json::Value tag_json(const std::string& uid, const std::string& mac) {
    Json::Value object = parsed(mac.empty() ? R"({"project_uid": "p1"})"
                                            : R"({"node": {"project_uid": "p1", "groups": ["g1"]}})");
    object["uid"] = uid;
    if (!mac.empty()) {
        object["node"]["mac_address"] = mac;
    }
    return object;
}

inline Json::Value status_json(const std::string& uid, const char* name) {
    Json::Value element = parsed(R"({"ts": "2026-12-01T10:00:00.000Z"})");
    element["trackable_uid"] = uid;
    element["download_status"] = name;
    return element;
}

// A real controller against the fake location server's resources, served in-process: every user
// message the controller posts is checked for a well-formed device frame, and every request the server
// would reject as malformed aborts.
class controller_site {
public:
    controller_site() {
        m_core = ozra::libs::core::core::create(m_logger);
        m_loop = m_core->create_events_loop("main");
        // The controller's signals handle is armed, then the fuzzer's own SIGINT and SIGTERM handlers are
        // put back: the fuzzer stops as it should, and the handle never fires.
        struct sigaction interrupt {};
        struct sigaction terminate {};
        sigaction(SIGINT, nullptr, &interrupt);
        sigaction(SIGTERM, nullptr, &terminate);
        m_signals = m_loop->stop_on_signals();
        sigaction(SIGINT, &interrupt, nullptr);
        sigaction(SIGTERM, &terminate, nullptr);
        m_proxy.bind("tcp://127.0.0.1:*");
        m_stream = m_loop->create_zmq_message_stream(m_proxy.get(zmq::sockopt::last_endpoint));
        m_resources.set_array(test_tools::rest_resources::zone_types_member,
                              parsed(R"([{"name": "alarm", "id": 1}, {"name": "boundary_in", "id": 2},
                                         {"name": "boundary_out", "id": 3}])"));
        set_http_handler([this](const std::string& method, const std::string& path, const std::string& body) {
            return answer(method, path, body);
        });
    }
    ~controller_site() { set_http_handler(nullptr); }
    controller_site(const controller_site&) = delete;
    controller_site& operator=(const controller_site&) = delete;

    // A new controller started on what the resources serve now.
    std::unique_ptr<ozra::kelt> new_controller() {
        // A host name keeps every request on libcurl, which this harness replaces.
        auto controller = std::make_unique<ozra::kelt>(m_logger, *m_loop, *m_signals, *m_stream, "http",
                                                       "location-server", 0, m_zone_types);
        controller->initialize();
        return controller;
    }
    // The server's data, for a target that changes it.
    test_tools::rest_resources& resources() { return m_resources; }
    // Called with the uid and the frame of every user message posted, on the thread that posts it.
    using frame_observer = std::function<void(const std::string& uid, const std::string& hex)>;
    void set_frame_observer(frame_observer observer) { m_frame_observer = std::move(observer); }
    // Runs the loop's handlers that are ready, such as those of the timers of destroyed controllers, which
    // would pile up otherwise: the loop never runs here.
    void run_ready_handlers() {
        m_loop->get_io_context().restart();
        m_loop->get_io_context().poll();
    }

    // What the controller's callbacks do: run the handler, drop what it raises.
    void notify(ozra::kelt& controller, const std::string& message) {
        quietly([&] { controller.notify_handler(message); });
    }
    void user_msg(ozra::kelt& controller, const std::string& message) {
        quietly([&] { controller.user_msg_handler(message); });
    }
    void process(ozra::kelt& controller) {
        quietly([&] { controller.processing(); });
    }

private:
    template <class Handler>
    static void quietly(Handler&& handler) {
        try {
            handler();
        } catch (...) {
        }
    }

    http_answer answer(const std::string& method, const std::string& path, const std::string& body) {
        if (method == "POST" && path == test_tools::rest_paths::user_msg) {
            require_no_defect(user_message_defect(body), body);
            if (m_frame_observer) {
                const auto message = ozra::libs::core::json::try_parse(body);
                m_frame_observer(message.result["uid"].asString(), message.result["data"]["hex"].asString());
            }
        }
        const auto answer = m_resources.answer(method, path, body);
        if (answer.status == 400) {
            std::fprintf(stderr, "The server rejects %s %s: %s\n%s\n", method.c_str(), path.c_str(),
                         answer.body.c_str(), body.c_str());
            std::abort();
        }
        return {answer.status, answer.body};
    }

    test_tools::rest_resources m_resources;
    ozra::libs::core::logger m_logger{"varnok-fuzz", "main"};
    std::unique_ptr<ozra::libs::core::core> m_core;
    std::unique_ptr<ozra::libs::core::events_loop> m_loop;
    std::unique_ptr<ozra::libs::core::events_loop::signals_handle> m_signals;
    zmq::context_t m_zmq;
    zmq::socket_t m_proxy{m_zmq, zmq::socket_type::pub};
    std::unique_ptr<ozra::libs::core::message_stream> m_stream;
    const std::set<std::string> m_zone_types{"alarm", "boundary_in", "boundary_out"};
    frame_observer m_frame_observer;
};

}  // namespace varnok::fuzz
