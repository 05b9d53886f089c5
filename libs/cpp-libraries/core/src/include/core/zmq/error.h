#pragma once

#include <boost/system/error_code.hpp>

namespace ozra::libs::core::zmq {

// The "ZeroMQ" error category; messages come from zmq_strerror.
const boost::system::error_category& zmq_category();

boost::system::error_code make_zmq_error_code(int zmq_error);

// The error of the last failed libzmq call on this thread.
boost::system::error_code last_zmq_error();

// Raises boost::system::system_error with the last libzmq error.
[[noreturn]] void throw_last_zmq_error(const char* what);

}  // namespace ozra::libs::core::zmq
