#pragma once

#include <zmq.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/json.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "fake_server/fake_location_server.h"
#include "frame_check.h"
#include "kelt.h"

namespace varnok::fuzz {

inline Json::Value parsed(std::string_view json) {
    return ozra::libs::core::json::try_parse(json).result;
}

// Records of the server, in project p1: an active static zone on sublocation 1 without exceptions, a tag
// with a device (in group g1) or without, a stored download status.
inline Json::Value zone_json(const std::string& uid, unsigned zone_id, const std::string& type,
                             const std::vector<std::pair<int, int>>& points) {
    Json::Value zone =
        parsed(R"({"active": true, "dynamic": false, "project_uid": "p1", "default_allowed": false,
        "zone_exceptions": [], "zone_exceptions_groups": [], "sublocation_id": 1, "uid": ")" +
               uid + R"(", "name": "zone )" + uid + R"(", "zone_type_name": ")" + type + R"(", "zone_id": )" +
               std::to_string(zone_id) + "}");
    for (const auto& [x, y] : points) {
        Json::Value& point = zone["zone_geometry"]["positions"].append(Json::objectValue);
        point["x"] = x;
        point["y"] = y;
    }
    return zone;
}

inline Json::Value tag_json(const std::string& uid, const std::string& mac) {
    return parsed(R"({"uid": ")" + uid +
                  (mac.empty() ? R"(", "project_uid": "p1"})"
                               : R"(", "node": {"project_uid": "p1", "groups": ["g1"], "mac_address": ")" +
                                     mac + R"("}})"));
}

inline Json::Value status_json(const std::string& uid, const std::string& name) {
    return parsed(R"({"ts": "2026-12-01T10:00:00.000Z", "trackable_uid": ")" + uid +
                  R"(", "download_status": ")" + name + R"("})");
}

// A real controller against the fake location server on loopback: every user message the controller
// posts is checked for a well-formed device frame, and every request the server rejects as malformed aborts.
class controller_site {
public:
    controller_site() {
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
        m_server->set_zone_types(parsed(R"([{"name": "alarm", "id": 1}, {"name": "boundary_in", "id": 2},
                                            {"name": "boundary_out", "id": 3}])"));
        m_server->set_request_observer([](const test_tools::recorded_request& request) {
            if (request.method == "POST" && request.path == test_tools::rest_paths::user_msg) {
                require_no_defect(user_message_defect(request.body), request.body);
            }
            if (request.answered_status == 400) {
                std::fprintf(stderr, "The server rejects %s %s: %s\n", request.method.c_str(),
                             request.target.c_str(), request.body.c_str());
                std::abort();
            }
        });
    }

    // A new controller started on what the server serves now.
    std::unique_ptr<ozra::kelt> new_controller() {
        auto controller = std::make_unique<ozra::kelt>(m_logger, *m_loop, *m_signals, *m_stream, "http",
                                                       "127.0.0.1", m_server->port(), m_zone_types);
        controller->initialize();
        return controller;
    }
    test_tools::fake_location_server& server() { return *m_server; }
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
    const std::unique_ptr<test_tools::fake_location_server> m_server =
        test_tools::make_fake_location_server();
    ozra::libs::core::logger m_logger{"varnok-fuzz", "main"};
    std::unique_ptr<ozra::libs::core::core> m_core = ozra::libs::core::core::create(m_logger);
    std::unique_ptr<ozra::libs::core::events_loop> m_loop = m_core->create_events_loop("main");
    std::unique_ptr<ozra::libs::core::events_loop::signals_handle> m_signals;
    zmq::context_t m_zmq;
    zmq::socket_t m_proxy{m_zmq, zmq::socket_type::pub};
    std::unique_ptr<ozra::libs::core::message_stream> m_stream;
    const std::set<std::string> m_zone_types{"alarm", "boundary_in", "boundary_out"};
};

}  // namespace varnok::fuzz
