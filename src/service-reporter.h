#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "core/events_loop.h"
#include "kelt-observer.h"
#include "service-notifier.h"
#include "tag-counts.h"

namespace ozra {

// Keeps the service manager informed: the start-up wait with its last error, readiness, a status line after
// every processing run (tags per status, server health, time of the last re-read), watchdog pings, stopping.
// Hands the tag counts, the time of the last re-read and each run's duration to the metrics as well.
class CServiceReporter : public CKeltObserver {
public:
    explicit CServiceReporter(const CServiceNotifier& notifier) : mNotifier(notifier) {}

    void StartupFailed() override;
    void RunStarting(const kelt& controller) override;
    void RunEnded(const kelt& controller, bool failed) noexcept override;

    // The start-up synchronisation has succeeded and the events loop runs.
    void Ready(const kelt& controller);
    // Tells of the stop when a termination signal has arrived.
    void Stopping(const libs::core::events_loop::signals_handle& signals) const;

    // "<tags>; server ok; last re-read 14:02:11", or "server error since ..." while runs fail.
    std::string StatusLine(const CTagCounts& counts) const;

private:
    const CServiceNotifier& mNotifier;
    bool mRereading = false;
    bool mServerFailing = false;
    std::time_t mFailingSince = 0;
    std::time_t mLastReread = 0;
    std::chrono::steady_clock::time_point mRunStart;

    void Reread(std::time_t time);
    // Counts the tags once for the status line and the metrics.
    CTagCounts CountedTags(const kelt& controller) const;
};

}  // namespace ozra
