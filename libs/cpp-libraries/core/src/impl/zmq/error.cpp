#include "core/zmq/error.h"

#include <zmq.h>
#include <boost/system/system_error.hpp>

namespace ozra::libs::core::zmq {

namespace {

class zmq_error_category final : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "ZeroMQ"; }
    std::string message(int zmq_error) const override { return zmq_strerror(zmq_error); }
};

}  // namespace

const boost::system::error_category& zmq_category() {
    static const zmq_error_category category;
    return category;
}

boost::system::error_code make_zmq_error_code(int zmq_error) {
    return boost::system::error_code(zmq_error, zmq_category());
}

boost::system::error_code last_zmq_error() {
    return make_zmq_error_code(zmq_errno());
}

void throw_last_zmq_error(const char* what) {
    throw boost::system::system_error(last_zmq_error(), what);
}

}  // namespace ozra::libs::core::zmq
