#pragma once

#include <string>

namespace ozra::libs::core::zmq {

// One received frame, and whether further frames of the same message follow it.
struct message {
    std::string data;
    bool more = false;
};

}  // namespace ozra::libs::core::zmq
