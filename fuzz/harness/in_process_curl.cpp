// The libcurl easy and multi transfer functions that the server API client uses, defined in the executable
// so that they take precedence over the shared library: transfers are answered in-process. The library's
// other functions (global set-up, error texts, share handles, header lists) stay the shared library's.
#include "in_process_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdarg>
#include <deque>
#include <string>
#include <vector>

namespace varnok::fuzz {

namespace {

http_handler& handler() {
    static http_handler instance;
    return instance;
}

struct easy_transfer {
    std::string url;
    std::string method = "GET";
    const char* fields = nullptr;  // the server client always gives their size
    curl_off_t fields_size = 0;
    curl_write_callback write = nullptr;
    void* write_data = nullptr;
    long response_code = 0;
};

// A multi handle asks for its timer when a transfer is added and performs every added transfer when the
// timer expires, in the order they were added; no socket is ever watched.
struct multi_transfers {
    std::vector<CURL*> added;
    std::deque<CURLMsg> done;
    CURLMsg read{};
    curl_multi_timer_callback timer = nullptr;
    void* timer_data = nullptr;
};

// The URL's path: what follows the host (and port), after an optional scheme.
std::string path_of(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t path = url.find('/', host);
    return path == std::string::npos ? "/" : url.substr(path);
}

}  // namespace

void set_http_handler(http_handler handler_function) {
    handler() = std::move(handler_function);
}

}  // namespace varnok::fuzz

using varnok::fuzz::easy_transfer;
using varnok::fuzz::multi_transfers;

// curl.h fixes the enumeration type of the last named parameter of curl_easy_setopt and
// curl_easy_getinfo; both enumerations have the size of int, so va_start is sound here.
#pragma clang diagnostic ignored "-Wvarargs"

extern "C" {

CURL* curl_easy_init() {
    return new easy_transfer;
}

void curl_easy_cleanup(CURL* handle) {
    delete static_cast<easy_transfer*>(handle);
}

void curl_easy_reset(CURL* handle) {
    *static_cast<easy_transfer*>(handle) = easy_transfer();
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    auto& transfer = *static_cast<easy_transfer*>(handle);
    va_list arguments;
    va_start(arguments, option);
    switch (option) {
        case CURLOPT_URL:
            transfer.url = va_arg(arguments, const char*);
            break;
        case CURLOPT_CUSTOMREQUEST:
            transfer.method = va_arg(arguments, const char*);
            break;
        case CURLOPT_POSTFIELDS:
            transfer.fields = va_arg(arguments, const char*);
            if (transfer.method == "GET") {
                transfer.method = "POST";
            }
            break;
        case CURLOPT_POSTFIELDSIZE_LARGE:
            transfer.fields_size = va_arg(arguments, curl_off_t);
            break;
        case CURLOPT_WRITEFUNCTION:
            transfer.write = va_arg(arguments, curl_write_callback);
            break;
        case CURLOPT_WRITEDATA:
            transfer.write_data = va_arg(arguments, void*);
            break;
        default:
            break;
    }
    va_end(arguments);
    return CURLE_OK;
}

CURLcode curl_easy_perform(CURL* handle) {
    auto& transfer = *static_cast<easy_transfer*>(handle);
    const std::string body =
        transfer.fields != nullptr
            ? std::string(transfer.fields, static_cast<std::size_t>(transfer.fields_size))
            : std::string();
    const auto answer = varnok::fuzz::handler()(transfer.method, varnok::fuzz::path_of(transfer.url), body);
    transfer.response_code = answer.status;
    if (transfer.write != nullptr && !answer.body.empty()) {
        transfer.write(const_cast<char*>(answer.body.data()), 1, answer.body.size(), transfer.write_data);
    }
    return CURLE_OK;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    if (info != CURLINFO_RESPONSE_CODE) {
        return CURLE_UNKNOWN_OPTION;
    }
    va_list arguments;
    va_start(arguments, info);
    *va_arg(arguments, long*) = static_cast<easy_transfer*>(handle)->response_code;
    va_end(arguments);
    return CURLE_OK;
}

CURLM* curl_multi_init() {
    return new multi_transfers;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    delete static_cast<multi_transfers*>(multi);
    return CURLM_OK;
}

CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...) {
    auto& transfers = *static_cast<multi_transfers*>(multi);
    va_list arguments;
    va_start(arguments, option);
    if (option == CURLMOPT_TIMERFUNCTION) {
        transfers.timer = va_arg(arguments, curl_multi_timer_callback);
    } else if (option == CURLMOPT_TIMERDATA) {
        transfers.timer_data = va_arg(arguments, void*);
    }
    va_end(arguments);
    return CURLM_OK;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
    auto& transfers = *static_cast<multi_transfers*>(multi);
    transfers.added.push_back(handle);
    if (transfers.timer != nullptr) {
        transfers.timer(multi, 0, transfers.timer_data);
    }
    return CURLM_OK;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
    auto& added = static_cast<multi_transfers*>(multi)->added;
    added.erase(std::remove(added.begin(), added.end(), handle), added.end());
    return CURLM_OK;
}

CURLMcode curl_multi_socket_action(CURLM* multi, curl_socket_t, int, int* running) {
    auto& transfers = *static_cast<multi_transfers*>(multi);
    for (CURL* handle : transfers.added) {
        CURLMsg message{};
        message.msg = CURLMSG_DONE;
        message.easy_handle = handle;
        message.data.result = curl_easy_perform(handle);
        transfers.done.push_back(message);
    }
    transfers.added.clear();
    *running = 0;
    return CURLM_OK;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    auto& transfers = *static_cast<multi_transfers*>(multi);
    if (transfers.done.empty()) {
        *left = 0;
        return nullptr;
    }
    transfers.read = transfers.done.front();
    transfers.done.pop_front();
    *left = static_cast<int>(transfers.done.size());
    return &transfers.read;
}

}  // extern "C"
