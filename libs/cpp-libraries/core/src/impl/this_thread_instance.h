#pragma once

namespace ozra::libs::core {

// This thread's instance of T, or null once the thread has destroyed it: objects destroyed later may log.
template <class T>
T* this_thread_instance() {
    static thread_local bool destroyed = false;
    struct owner {
        T value;
        ~owner() { destroyed = true; }
    };
    if (destroyed) {
        return nullptr;
    }
    static thread_local owner instance;
    return &instance.value;
}

}  // namespace ozra::libs::core
