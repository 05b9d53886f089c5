#pragma once

#include <curl/curl.h>

#include <chrono>
#include <string>

namespace ozra::libs::core::http {

// Initialises libcurl once for the process, with all its features; the result of that one initialisation.
CURLcode initialize_curl();

// What one transfer sends and where its answer goes. The body and the headers must outlive the transfer.
struct transfer_options {
    const std::string& url;
    // The request method; null for GET, or POST when there is a body.
    const char* custom_method;
    const std::string* body;
    curl_slist* headers;
    const std::string& user_agent;
    std::chrono::seconds timeout;
    curl_write_callback write;
    void* answer;
};

// Sets the options every transfer of this system shares: those above, redirects followed and no signal
// (the resolver's alarm) interrupting a transfer.
void set_transfer_options(CURL* handle, const transfer_options& options);

}  // namespace ozra::libs::core::http
