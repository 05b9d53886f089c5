#pragma once

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace ozra::libs::core::http {

// A libcurl share handle for all requests of one client: cookies, DNS cache and TLS sessions.
class shared_curl_data {
public:
    shared_curl_data();
    ~shared_curl_data();
    shared_curl_data(const shared_curl_data&) = delete;
    shared_curl_data& operator=(const shared_curl_data&) = delete;

    CURLSH* handle() const { return m_share; }

private:
    static void lock(CURL* handle, curl_lock_data data, curl_lock_access access, void* self);
    static void unlock(CURL* handle, curl_lock_data data, void* self);

    CURLSH* m_share;
    std::array<std::mutex, 8> m_mutexes;
};

}  // namespace ozra::libs::core::http
