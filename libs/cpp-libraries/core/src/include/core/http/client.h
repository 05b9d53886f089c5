#pragma once

#include <memory>
#include <string>

#include "core/async_operation_handle.h"
#include "core/http/method.h"
#include "core/http/result.h"

namespace ozra::libs::core::http {

using result_handle = async_operation_handle<result>;

// Requests to one server address; asynchronous results reach callbacks on the loop that made the client.
// Destroying the client aborts the requests in flight and delivers no further result; restart a handle only
// while its client exists.
class client {
public:
    virtual ~client() = default;

    virtual result perform_request(method method, const std::string& path) = 0;
    virtual result perform_request(method method, const std::string& path, const std::string& body) = 0;
    virtual std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                                 result_handle::callback callback) = 0;
    virtual std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                                 const std::string& body,
                                                                 result_handle::callback callback) = 0;
    virtual std::unique_ptr<result_handle> perform_async_request(method method, const std::string& path,
                                                                 const std::string& body) = 0;
};

}  // namespace ozra::libs::core::http
