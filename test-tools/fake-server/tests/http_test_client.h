#pragma once

#include <curl/curl.h>

#include <string>

namespace varnok::test_tools {

struct http_result {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

// A libcurl easy handle kept across calls, so that connections are reused.
class http_test_client {
public:
    http_test_client();
    ~http_test_client();
    http_test_client(const http_test_client&) = delete;
    http_test_client& operator=(const http_test_client&) = delete;

    http_result call(const std::string& method, const std::string& url, const std::string& body = "",
                     long timeout_ms = 10000);

private:
    CURL* m_handle;
};

}  // namespace varnok::test_tools
