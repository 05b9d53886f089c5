#include "service-reporter.h"

#include "core/exception.h"
#include "kelt.h"
#include "metrics.h"
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
    mRunStart = std::chrono::steady_clock::now();
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
            Reread(now);
        }
        Metrics().ProcessingRunEnded(std::chrono::steady_clock::now() - mRunStart);
        mNotifier.Status(StatusLine(CountedTags(controller)));
        mNotifier.Watchdog();
    } catch (...) {
        // Only memory can run out here; the next run reports again.
    }
}

void CServiceReporter::Ready(const kelt& controller) {
    Reread(std::time(nullptr));
    mNotifier.Ready(StatusLine(CountedTags(controller)));
}

void CServiceReporter::Reread(std::time_t time) {
    mLastReread = time;
    Metrics().Resynchronised(time);
}

CTagCounts CServiceReporter::CountedTags(const kelt& controller) const {
    const CTagCounts counts = CountTags(controller.TrObjects(), controller.UnassociatedTrObjects());
    Metrics().TagsCounted(counts);
    return counts;
}

void CServiceReporter::Stopping(const libs::core::events_loop::signals_handle& signals) const {
    if (signals.signal_is_received()) {
        mNotifier.Stopping();
    }
}

std::string CServiceReporter::StatusLine(const CTagCounts& counts) const {
    const std::string server =
        mServerFailing ? "server error since " + ClockTime(mFailingSince) : "server ok";
    return TagSummary(counts) + "; " + server + "; last re-read " + ClockTime(mLastReread);
}

}  // namespace ozra
