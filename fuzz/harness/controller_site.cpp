#include "controller_site.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/json.h"
#include "fake_server/fake_location_server.h"
#include "frame_check.h"
#include "site_picture.h"

namespace varnok::fuzz {

namespace {

// What the controller's callbacks do: run the handler, drop what it raises.
template <class Handler>
void quietly(Handler&& handler) {
    try {
        handler();
    } catch (...) {
    }
}

}  // namespace

controller_site::controller_site() {
    m_core = ozra::libs::core::core::create(m_logger);
    m_loop = m_core->create_events_loop("main");
    // The controller's signals handle is armed, then the fuzzer's own SIGINT and SIGTERM handlers are put
    // back: the fuzzer stops as it should, and the handle never fires.
    struct sigaction interrupt {};
    struct sigaction terminate {};
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGTERM, nullptr, &terminate);
    m_signals = m_loop->stop_on_signals();
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGTERM, &terminate, nullptr);
    m_proxy.bind("tcp://127.0.0.1:*");
    m_stream = m_loop->create_zmq_message_stream(m_proxy.get(zmq::sockopt::last_endpoint));
    serve_default_picture();
    set_http_handler([this](const std::string& method, const std::string& path, const std::string& body) {
        return answer(method, path, body);
    });
}

controller_site::~controller_site() {
    m_controller.reset();
    set_http_handler(nullptr);
}

http_answer controller_site::answer(const std::string& method, const std::string& path,
                                    const std::string& body) {
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

void controller_site::serve_default_picture() {
    const site_picture& picture = default_picture();
    m_resources.set_array(test_tools::rest_resources::zone_types_member, picture.zone_types);
    m_resources.set_array(test_tools::rest_resources::zones_member, picture.zones);
    m_resources.set_array(test_tools::rest_resources::trackables_member, picture.trackable_objects);
    m_resources.set_array(test_tools::rest_resources::statuses_member, picture.download_statuses);
}

ozra::kelt& controller_site::start_controller() {
    m_controller = new_controller();
    return *m_controller;
}

std::unique_ptr<ozra::kelt> controller_site::new_controller() {
    // A host name keeps every request on libcurl, which this harness replaces.
    auto controller = std::make_unique<ozra::kelt>(m_logger, *m_loop, *m_signals, *m_stream, "http",
                                                   "location-server", 0, m_zone_types);
    controller->initialize();
    return controller;
}

void controller_site::stop_controller() {
    m_controller.reset();
    run_ready_handlers();
    serve_default_picture();
}

void controller_site::run_ready_handlers() {
    boost::asio::io_context& io_context = m_loop->get_io_context();
    io_context.restart();
    io_context.poll();
}

void controller_site::converse(ozra::kelt& controller, std::string_view lines) {
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        const std::string line(lines.substr(0, end));
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
        if (line == "P") {
            process(controller);
        } else if (line.rfind("N ", 0) == 0) {
            notify(controller, line.substr(2));
            process(controller);
        } else {
            user_msg(controller, line.rfind("U ", 0) == 0 ? line.substr(2) : line);
        }
    }
}

void controller_site::notify(ozra::kelt& controller, const std::string& message) {
    quietly([&] { controller.notify_handler(message); });
}

void controller_site::user_msg(ozra::kelt& controller, const std::string& message) {
    quietly([&] { controller.user_msg_handler(message); });
}

void controller_site::process(ozra::kelt& controller) {
    quietly([&] { controller.processing(); });
}

}  // namespace varnok::fuzz
