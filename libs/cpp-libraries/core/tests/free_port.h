#pragma once

namespace ozra::libs::core::testing {

// A loopback TCP port that nothing listens on at the moment of the call.
int free_tcp_port();

}  // namespace ozra::libs::core::testing
