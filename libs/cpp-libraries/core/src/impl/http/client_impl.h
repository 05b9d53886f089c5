#pragma once

#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/http/client.h"
#include "core/lifetime.h"
#include "core/logger.h"
#include "shared_curl_data.h"

namespace ozra::libs::core::http {

class client_impl final : public client {
public:
    client_impl(events_loop& loop, core& core, const component_logger& logger, std::string address,
                std::chrono::seconds timeout, std::set<method> disabled_methods, int thread_count);
    // Aborts the requests in flight and waits for the worker threads.
    ~client_impl() override;

    result perform_request(method method, const std::string& path) override;
    result perform_request(method method, const std::string& path, const std::string& body) override;
    std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                         result_handle::callback callback) override;
    std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                         const std::string& body,
                                                         result_handle::callback callback) override;
    std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                         const std::string& body) override;

private:
    // A failure to even start the request becomes the result's error.
    result perform_on_worker(method method, const std::string& path, const std::string& body);
    static int abort_when_stopping(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    events_loop& m_main_events_loop;
    const component_logger& m_logger;
    std::string m_address;
    std::chrono::seconds m_timeout;
    std::set<method> m_disabled_methods;
    shared_curl_data m_shared_curl_data;
    // Set by the destructor; requests in flight give up and no result is delivered.
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<events_loop> m_worker_events_loop;
    std::unique_ptr<events_loop::work> m_worker_events_loop_work;
    boost::asio::thread_pool m_worker_thread_pool;
    // Results still on their way to the main loop are dropped once the client is gone.
    lifetime m_lifetime;
};

}  // namespace ozra::libs::core::http
