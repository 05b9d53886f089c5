#pragma once

namespace ozra::libs::core::zmq {

// Owns one libzmq context; every socket made on it must be closed before it goes.
class context {
public:
    context();
    ~context();
    context(const context&) = delete;
    context& operator=(const context&) = delete;

    void* handle() const { return m_handle; }

private:
    void* m_handle;
};

}  // namespace ozra::libs::core::zmq
