#include "client_impl.h"

#include <boost/asio/post.hpp>

#include <utility>

#include "core/async_operation_handle_impl.h"
#include "core/exception.h"
#include "core/http/create_client.h"
#include "core/http/curl_transfer.h"
#include "core/scope_guard.h"
#include "core/version.h"

namespace ozra::libs::core::http {

namespace {

constexpr long connect_timeout_seconds = 10;

size_t append_to_buffer(char* bytes, size_t size, size_t count, void* buffer) {
    static_cast<std::string*>(buffer)->append(bytes, size * count);
    return size * count;
}

void require_curl() {
    OZRA_CHECK(initialize_curl() == CURLE_OK);
}

}  // namespace

client_impl::client_impl(events_loop& loop, core& core, const component_logger& logger, std::string address,
                         std::chrono::seconds timeout, std::set<method> disabled_methods, int thread_count)
    : m_main_events_loop(loop),
      m_logger(logger),
      m_address(std::move(address)),
      m_timeout(timeout),
      m_disabled_methods(std::move(disabled_methods)),
      m_worker_events_loop((require_curl(), core.create_events_loop("http_client::worker"))),
      m_worker_events_loop_work(m_worker_events_loop->create_work()),
      m_worker_thread_pool(thread_count) {
    for (int index = 0; index < thread_count; ++index) {
        boost::asio::post(m_worker_thread_pool, [worker = m_worker_events_loop.get()] { worker->run(); });
    }
}

client_impl::~client_impl() {
    m_stopping = true;
    m_worker_events_loop->stop();
    m_worker_thread_pool.join();
}

int client_impl::abort_when_stopping(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stopping)->load() ? 1 : 0;
}

result client_impl::perform_request(method method, const std::string& path) {
    return perform_request(method, path, std::string());
}

result client_impl::perform_request(method method, const std::string& path, const std::string& body) {
    CURL* const curl_handle = curl_easy_init();
    OZRA_CHECK(curl_handle != NULL);
    curl_slist* headers = nullptr;
    const auto release = execute_on_scope_exit([curl_handle, &headers] {
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl_handle);
    });
    if (!body.empty()) {
        headers = curl_slist_append(headers, "content-type: application/json");
    }
    const std::string method_text(to_string(method));
    const std::string user_agent(constants::project_name);
    const std::string url = m_address + path;
    std::string received;
    set_transfer_options(curl_handle, {url, method_text.c_str(), body.empty() ? nullptr : &body, headers,
                                       user_agent, m_timeout, &append_to_buffer, &received});
    curl_easy_setopt(curl_handle, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    curl_easy_setopt(curl_handle, CURLOPT_SHARE, m_shared_curl_data.handle());
    curl_easy_setopt(curl_handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_handle, CURLOPT_XFERINFOFUNCTION, &client_impl::abort_when_stopping);
    curl_easy_setopt(curl_handle, CURLOPT_XFERINFODATA, &m_stopping);

    if (m_disabled_methods.count(method) != 0) {
        return result(std::string(), 200);
    }
    const CURLcode code = curl_easy_perform(curl_handle);
    if (code != CURLE_OK) {
        return result(std::string("curl_easy_perform failed:") + curl_easy_strerror(code));
    }
    long status = 0;
    curl_easy_getinfo(curl_handle, CURLINFO_RESPONSE_CODE, &status);
    return result(std::move(received), status != 0 ? static_cast<int>(status) : 200);
}

result client_impl::perform_on_worker(method method, const std::string& path, const std::string& body) {
    try {
        return perform_request(method, path, body);
    } catch (...) {
        m_logger.log_exception(OZRA_SOURCE_LOCATION);
        return result(exception_to_string());
    }
}

std::unique_ptr<result_handle> client_impl::perform_async_request(method method, const std::string& path,
                                                                  result_handle::callback callback) {
    return perform_async_request(method, path, std::string(), std::move(callback));
}

std::unique_ptr<result_handle> client_impl::perform_async_request(method method, const std::string& path,
                                                                  const std::string& body,
                                                                  result_handle::callback callback) {
    auto handle = perform_async_request(method, path, body);
    handle->set_callback(std::move(callback));
    return handle;
}

std::unique_ptr<result_handle> client_impl::perform_async_request(method method, const std::string& path,
                                                                  const std::string& body) {
    using handle = async_operation_handle_impl<result>;
    to_string(method);
    return handle::start_new(m_main_events_loop.get_io_context(), [this, alive = m_lifetime.track(), method,
                                                                   path, body](handle::completion done) {
        const lifetime::hold held = alive.lock();
        if (!held) {
            OZRA_THROW(std::string(to_string(method)) + " " + path + ": the HTTP client is destroyed");
        }
        m_worker_events_loop->post([this, method, path, body, done] {
            if (m_stopping) {
                return;
            }
            auto outcome = std::make_shared<result>(perform_on_worker(method, path, body));
            m_main_events_loop.post(
                m_lifetime.guard([done, outcome] { done.deliver_on_loop(std::move(*outcome)); }));
        });
    });
}

std::unique_ptr<client> create_client(events_loop& loop, core& core, const component_logger& logger,
                                      const std::string& address, std::chrono::seconds timeout,
                                      const std::set<method>& disabled_methods, int thread_count) {
    return std::make_unique<client_impl>(loop, core, logger, address, timeout, disabled_methods,
                                         thread_count);
}

}  // namespace ozra::libs::core::http
