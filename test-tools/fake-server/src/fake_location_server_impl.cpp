#include "fake_location_server_impl.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <future>

namespace varnok::test_tools {

namespace {

constexpr const char* invalid_json_body = "{\"this is\": not JSON";

}  // namespace

fake_location_server_impl::fake_location_server_impl()
    : m_work(boost::asio::make_work_guard(m_io)),
      m_listener(m_io, [this](recorded_request& request) { return handle(request); }) {
    m_port = m_listener.open(0);
    m_thread = std::thread([this] { m_io.run(); });
}

fake_location_server_impl::~fake_location_server_impl() {
    run_on_server_thread([this] { m_listener.close(); });
    m_work.reset();
    m_io.stop();
    m_thread.join();
}

unsigned short fake_location_server_impl::port() const {
    return m_port;
}

std::string fake_location_server_impl::url() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void fake_location_server_impl::set_zone_types(const Json::Value& array) {
    m_resources.set_array(rest_resources::zone_types_member, array);
}

void fake_location_server_impl::set_zones(const Json::Value& array) {
    m_resources.set_array(rest_resources::zones_member, array);
}

void fake_location_server_impl::set_trackable_objects(const Json::Value& array) {
    m_resources.set_array(rest_resources::trackables_member, array);
}

void fake_location_server_impl::set_download_statuses(const Json::Value& array) {
    m_resources.set_array(rest_resources::statuses_member, array);
}

void fake_location_server_impl::set_raw_body(const std::string& path, const std::string& body) {
    m_resources.set_raw_body(path, body);
}

void fake_location_server_impl::clear_raw_bodies() {
    m_resources.clear_raw_bodies();
}

Json::Value fake_location_server_impl::download_statuses() const {
    return m_resources.download_statuses();
}

std::optional<Json::Value> fake_location_server_impl::download_status(
    const std::string& trackable_uid) const {
    return m_resources.download_status(trackable_uid);
}

void fake_location_server_impl::set_fault(const response_fault& fault, const std::string& path,
                                          const std::string& method) {
    m_faults.set(fault, path, method);
}

void fake_location_server_impl::clear_faults() {
    m_faults.clear();
}

void fake_location_server_impl::stop_listening() {
    run_on_server_thread([this] { m_listener.close(); });
}

void fake_location_server_impl::resume_listening() {
    run_on_server_thread([this] {
        m_listener.close();
        m_listener.open(m_port);
    });
}

std::vector<recorded_request> fake_location_server_impl::requests() const {
    return m_log.all();
}

std::vector<recorded_request> fake_location_server_impl::requests(const request_matcher& match) const {
    return m_log.matching(match);
}

std::size_t fake_location_server_impl::request_count() const {
    return m_log.size();
}

void fake_location_server_impl::clear_requests() {
    m_log.clear();
}

bool fake_location_server_impl::wait_for_requests(std::size_t count,
                                                  std::chrono::milliseconds timeout) const {
    return m_log.wait_for_count(count, timeout);
}

std::optional<recorded_request> fake_location_server_impl::wait_for_request(
    const request_matcher& match, std::chrono::milliseconds timeout) const {
    return m_log.wait_for_match(match, timeout);
}

bool fake_location_server_impl::wait_for_requests(const request_matcher& match, std::size_t count,
                                                  std::chrono::milliseconds timeout) const {
    return m_log.wait_for_matches(match, count, timeout);
}

void fake_location_server_impl::set_answer_delay(std::chrono::milliseconds delay) {
    m_answer_delay_ms = delay.count();
}

void fake_location_server_impl::set_request_observer(std::function<void(const recorded_request&)> observer) {
    std::lock_guard lock(m_observer_mutex);
    m_observer = std::move(observer);
}

http_reply fake_location_server_impl::handle(recorded_request& request) {
    const auto fault = m_faults.take(request.path, request.method);
    http_reply reply;
    if (fault && fault->status) {
        reply.status = *fault->status;
        reply.body = "{}";
    } else if (fault && fault->lands_late) {
        apply_later(request, fault->delay);
        reply.body = "{}";
    } else {
        const rest_answer answer = m_resources.answer(request.method, request.path, request.body);
        reply.status = answer.status;
        reply.body = answer.body;
    }
    reply.delay = std::chrono::milliseconds(m_answer_delay_ms.load());
    if (fault) {
        reply.delay += fault->delay;
        if (fault->invalid_body) {
            reply.body = invalid_json_body;
        }
    }
    request.answered_status = reply.status;
    m_log.add(request);
    notify_observer(request);
    return reply;
}

void fake_location_server_impl::apply_later(const recorded_request& request,
                                            std::chrono::milliseconds delay) {
    auto timer = std::make_shared<boost::asio::steady_timer>(m_io, delay);
    timer->async_wait([this, timer, request](const boost::system::error_code& error) {
        if (!error) {
            m_resources.answer(request.method, request.path, request.body);
        }
    });
}

void fake_location_server_impl::notify_observer(const recorded_request& request) {
    std::function<void(const recorded_request&)> observer;
    {
        std::lock_guard lock(m_observer_mutex);
        observer = m_observer;
    }
    if (observer) {
        observer(request);
    }
}

void fake_location_server_impl::run_on_server_thread(const std::function<void()>& work) {
    std::packaged_task<void()> task(work);
    auto done = task.get_future();
    boost::asio::post(m_io, [&task] { task(); });
    done.get();
}

std::unique_ptr<fake_location_server> make_fake_location_server() {
    return std::make_unique<fake_location_server_impl>();
}

}  // namespace varnok::test_tools
