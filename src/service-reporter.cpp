#include "service-reporter.h"

#include "core/exception.h"
#include "kelt.h"
#include "tag-summary.h"

namespace ozra {

namespace {

std::string ClockTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[16];
    return std::string(text, std::strftime(text, sizeof text, "%H:%M:%S", &local));
}

// The message of the exception being handled, without its source location.
std::string HandledExceptionMessage() {
    try {
        throw;
    } catch (const libs::core::exception& e) {
        return e.get_string_error();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

void CServiceReporter::StartupFailed() {
    mNotifier.Status("waiting for the server: " + HandledExceptionMessage());
}

void CServiceReporter::RunStarting(const kelt& controller) {
    mRereading = !controller.IsContextActual();
}

void CServiceReporter::RunEnded(const kelt& controller, bool failed) noexcept {
    try {
        const std::time_t now = std::time(nullptr);
        if (failed && !mServerFailing) {
            mFailingSince = now;
        }
        mServerFailing = failed;
        if (mRereading && controller.IsContextActual()) {
            mLastReread = now;
        }
        mNotifier.Status(StatusLine(controller));
        mNotifier.Watchdog();
    } catch (...) {
        // Only memory can run out here; the next run reports again.
    }
}

void CServiceReporter::Ready(const kelt& controller) {
    mLastReread = std::time(nullptr);
    mNotifier.Ready(StatusLine(controller));
}

void CServiceReporter::Stopping(const libs::core::events_loop::signals_handle& signals) const {
    if (signals.signal_is_received()) {
        mNotifier.Stopping();
    }
}

std::string CServiceReporter::StatusLine(const kelt& controller) const {
    const std::string server =
        mServerFailing ? "server error since " + ClockTime(mFailingSince) : "server ok";
    return TagSummary(controller.TrObjects(), controller.UnassociatedTrObjects()) + "; " + server +
           "; last re-read " + ClockTime(mLastReread);
}

}  // namespace ozra
