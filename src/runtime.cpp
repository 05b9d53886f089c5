#include "runtime.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>

#include "core/exception.h"

namespace ozra {

void run_runtime(libs::core::logger& logger, const config& /*settings*/) {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    if (const int error = pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr); error != 0) {
        OZRA_THROW(std::string("pthread_sigmask(): ") + std::strerror(error));
    }
    logger.info("Waiting for SIGINT or SIGTERM");
    int received = 0;
    if (const int error = sigwait(&stop_signals, &received); error != 0) {
        OZRA_THROW(std::string("sigwait(): ") + std::strerror(error));
    }
    logger.info("Stopped by signal %1%") % received;
}

}  // namespace ozra
