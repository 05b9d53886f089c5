#pragma once

#include <string>
#include <utility>

#include "core/exception.h"

namespace ozra {

// The server answered a request with a status other than 200.
class CHttpStatusError : public libs::core::exception {
public:
    CHttpStatusError(std::string message, long status, const libs::core::source_location& location)
        : exception(std::move(message), location), mStatus(status) {}

    long Status() const { return mStatus; }
    // A 4xx status: the request itself was refused, the server is working.
    bool ClientError() const { return mStatus >= 400 && mStatus < 500; }

private:
    long mStatus;
};

}  // namespace ozra
