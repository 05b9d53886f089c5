#include "core/http/curl_transfer.h"

namespace ozra::libs::core::http {

CURLcode initialize_curl() {
    static const CURLcode initialized = curl_global_init(CURL_GLOBAL_ALL);
    return initialized;
}

void set_transfer_options(CURL* handle, const transfer_options& options) {
    curl_easy_setopt(handle, CURLOPT_URL, options.url.c_str());
    if (options.custom_method != nullptr) {
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, options.custom_method);
    }
    if (options.body != nullptr) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(options.body->size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, options.body->data());
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, options.headers);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, options.user_agent.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, options.write);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, options.answer);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(options.timeout.count()));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
}

}  // namespace ozra::libs::core::http
