#pragma once

#include <sys/types.h>

#include <string>

namespace ozra::libs::core::testing {

// A redis-server process on a free loopback port with its own temporary directory.
class redis_server {
public:
    redis_server();
    ~redis_server();
    redis_server(const redis_server&) = delete;
    redis_server& operator=(const redis_server&) = delete;

    int port() const { return m_port; }
    // Kills the server at once, as a crash would.
    void kill();

private:
    bool answers() const;

    std::string m_directory;
    int m_port;
    pid_t m_pid = -1;
};

}  // namespace ozra::libs::core::testing
