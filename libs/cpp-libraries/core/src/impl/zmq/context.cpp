#include "core/zmq/context.h"

#include <zmq.h>

#include <cerrno>

#include "core/zmq/error.h"

namespace ozra::libs::core::zmq {

context::context() : m_handle(zmq_ctx_new()) {
    if (m_handle == nullptr) {
        throw_last_zmq_error("zmq_ctx_new");
    }
}

context::~context() {
    while (zmq_ctx_term(m_handle) != 0 && zmq_errno() == EINTR) {
    }
}

}  // namespace ozra::libs::core::zmq
