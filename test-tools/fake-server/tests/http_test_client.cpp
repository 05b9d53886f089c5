#include "http_test_client.h"

namespace varnok::test_tools {

namespace {

size_t append_body(void* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(static_cast<const char*>(data), size * count);
    return size * count;
}

}  // namespace

http_test_client::http_test_client() : m_handle(curl_easy_init()) {}

http_test_client::~http_test_client() {
    curl_easy_cleanup(m_handle);
}

http_result http_test_client::call(const std::string& method, const std::string& url, const std::string& body,
                                   long timeout_ms) {
    http_result result;
    curl_easy_reset(m_handle);
    curl_easy_setopt(m_handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_handle, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(m_handle, CURLOPT_TIMEOUT_MS, timeout_ms);
    curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, &result.body);
    if (!body.empty()) {
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    result.code = curl_easy_perform(m_handle);
    curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &result.status);
    return result;
}

}  // namespace varnok::test_tools
