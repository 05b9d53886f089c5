#pragma once

#include "fake_server/fake_location_server.h"
#include "fault_rules.h"
#include "http_listener.h"
#include "request_log.h"
#include "rest_resources.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace varnok::test_tools {

class fake_location_server_impl : public fake_location_server {
public:
    fake_location_server_impl();
    ~fake_location_server_impl() override;

    unsigned short port() const override;
    std::string url() const override;

    void set_zone_types(const Json::Value& array) override;
    void set_zones(const Json::Value& array) override;
    void set_trackable_objects(const Json::Value& array) override;
    void set_download_statuses(const Json::Value& array) override;
    void set_raw_body(const std::string& path, const std::string& body) override;
    void clear_raw_bodies() override;

    Json::Value download_statuses() const override;
    std::optional<Json::Value> download_status(const std::string& trackable_uid) const override;

    void set_fault(const response_fault& fault, const std::string& path, const std::string& method) override;
    void clear_faults() override;
    void set_answer_delay(std::chrono::milliseconds delay) override;

    void stop_listening() override;
    void resume_listening() override;

    std::vector<recorded_request> requests() const override;
    std::vector<recorded_request> requests(const request_matcher& match) const override;
    std::size_t request_count() const override;
    void clear_requests() override;
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const override;
    std::optional<recorded_request> wait_for_request(const request_matcher& match,
                                                     std::chrono::milliseconds timeout) const override;
    bool wait_for_requests(const request_matcher& match, std::size_t count,
                           std::chrono::milliseconds timeout) const override;

    void set_request_observer(std::function<void(const recorded_request&)> observer) override;

private:
    http_reply handle(recorded_request& request);
    // Applies the request to the resources once the delay has passed, on the server thread.
    void apply_later(const recorded_request& request, std::chrono::milliseconds delay);
    void notify_observer(const recorded_request& request);
    // Runs the work on the server thread and waits for it; its exception passes to the caller.
    void run_on_server_thread(const std::function<void()>& work);

    rest_resources m_resources;
    fault_rules m_faults;
    std::atomic<std::chrono::milliseconds::rep> m_answer_delay_ms{0};
    request_log m_log;
    std::mutex m_observer_mutex;
    std::function<void(const recorded_request&)> m_observer;

    boost::asio::io_context m_io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_work;
    http_listener m_listener;
    unsigned short m_port = 0;
    std::thread m_thread;
};

}  // namespace varnok::test_tools
