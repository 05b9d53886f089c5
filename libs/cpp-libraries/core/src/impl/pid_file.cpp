#include "core/pid_file.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "core/exception.h"

namespace ozra::libs::core::detail {

void check_pid(const std::string& path) {
    std::ifstream file(path);
    if (!file.is_open()) {
        return;
    }
    pid_t recorded = 0;
    file >> recorded;
    file.close();
    // Zero and negative ids name no single process (kill() would probe process groups); our own id is
    // no earlier instance.
    if (recorded <= 0 || recorded == getpid()) {
        return;
    }
    if (kill(recorded, 0) == 0) {
        OZRA_THROW("Process is running");
    }
    if (errno != ESRCH) {
        OZRA_THROW(std::string("write_pid: kill(): ") + std::strerror(errno));
    }
}

void write_pid(const std::string& path) {
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file.is_open()) {
        OZRA_THROW("Error opening pid-file!");
    }
    file << getpid();
}

}  // namespace ozra::libs::core::detail
