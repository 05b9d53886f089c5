#pragma once

#include <zmq.hpp>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/logger.h"
#include "core/message_stream.h"
#include "in_process_curl.h"
#include "kelt.h"
#include "rest_resources.h"

namespace varnok::fuzz {

// A real controller against the fake location server's resources, served in-process: every user
// message the controller posts is checked for a well-formed device frame, and every request the server
// would reject as malformed aborts.
class controller_site {
public:
    controller_site();
    ~controller_site();
    controller_site(const controller_site&) = delete;
    controller_site& operator=(const controller_site&) = delete;

    // A new controller, started on the default picture.
    ozra::kelt& start_controller();
    // A new controller started on what the resources serve now; the site does not keep it.
    std::unique_ptr<ozra::kelt> new_controller();
    // The server's data, for a target that changes it.
    test_tools::rest_resources& resources() { return m_resources; }
    // Called with the uid and the frame of every user message posted, on the thread that posts it.
    using frame_observer = std::function<void(const std::string& uid, const std::string& hex)>;
    void set_frame_observer(frame_observer observer) { m_frame_observer = std::move(observer); }
    // Destroys the controller and serves the default picture again, undoing what the controller reported.
    void stop_controller();
    // Runs the loop's handlers that are ready, such as those of the timers of destroyed controllers, which
    // would pile up otherwise: the loop never runs here.
    void run_ready_handlers();

    // Conversation of one input, one message per line: "N <json>" a notification followed by a processing
    // run, "U <json>" or any other line a device reply, "P" a processing run.
    void converse(ozra::kelt& controller, std::string_view lines);

    // What the controller's callbacks do: run the handler, drop what it raises.
    void notify(ozra::kelt& controller, const std::string& message);
    void user_msg(ozra::kelt& controller, const std::string& message);
    void process(ozra::kelt& controller);

private:
    http_answer answer(const std::string& method, const std::string& path, const std::string& body);
    void serve_default_picture();

    test_tools::rest_resources m_resources;
    ozra::libs::core::logger m_logger{"varnok-fuzz", "main"};
    std::unique_ptr<ozra::libs::core::core> m_core;
    std::unique_ptr<ozra::libs::core::events_loop> m_loop;
    std::unique_ptr<ozra::libs::core::events_loop::signals_handle> m_signals;
    zmq::context_t m_zmq;
    zmq::socket_t m_proxy{m_zmq, zmq::socket_type::pub};
    std::unique_ptr<ozra::libs::core::message_stream> m_stream;
    const std::set<std::string> m_zone_types{"alarm", "boundary_in", "boundary_out"};
    std::unique_ptr<ozra::kelt> m_controller;
    frame_observer m_frame_observer;
};

}  // namespace varnok::fuzz
