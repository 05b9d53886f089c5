#pragma once

#include <prometheus/counter.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
#include <vector>

#include "tag-counts.h"

namespace ozra {

// The server resources whose requests are counted and timed.
enum class CServerResource : std::size_t {
    ZONE_TYPES,
    ZONES,
    TRACKABLE_OBJECTS,
    TRACKABLE_OBJECT,
    STATUSES,
    STATUS_REPORT,
    STATUS_DELETE,
    USER_MSG,
};

// The daemon's metrics for operators, updated where the events happen; safe to update from any thread.
class CMetrics {
public:
    CMetrics();
    CMetrics(const CMetrics&) = delete;
    CMetrics& operator=(const CMetrics&) = delete;

    std::shared_ptr<prometheus::Registry> Registry() const { return mRegistry; }

    // A request to the server ended; ok when it was answered with 200. A user message is a frame to a tag.
    void RequestEnded(CServerResource resource, bool ok, std::chrono::steady_clock::duration duration);
    // A background request was queued, or has left the queue.
    void RequestQueued() { mQueueDepth.Increment(); }
    void RequestDequeued() { mQueueDepth.Decrement(); }
    void DeviceReplyTaken() { mDeviceReplies.Increment(); }
    // A download ended: completed with a CRC match, or failed.
    void DownloadEnded(bool completed) { (completed ? mDownloadsCompleted : mDownloadsFailed).Increment(); }
    void ProcessingRunEnded(std::chrono::steady_clock::duration duration);
    void TagsCounted(const CTagCounts& counts);
    // Zones and trackable objects were read from the server at that time.
    void Resynchronised(std::time_t time) { mLastResync.Set(static_cast<double>(time)); }

private:
    struct CResourceMetrics {
        prometheus::Counter& mOk;
        prometheus::Counter& mError;
        prometheus::Histogram& mDuration;
    };

    std::shared_ptr<prometheus::Registry> mRegistry = std::make_shared<prometheus::Registry>();
    std::array<prometheus::Gauge*, DLS_OOSYNC + 1> mTags{};
    prometheus::Gauge& mDisconnected;
    prometheus::Counter& mFramesSent;
    prometheus::Counter& mFramesFailed;
    prometheus::Counter& mDeviceReplies;
    prometheus::Counter& mDownloadsCompleted;
    prometheus::Counter& mDownloadsFailed;
    std::vector<CResourceMetrics> mResources;  // by CServerResource
    prometheus::Histogram& mProcessingRun;
    prometheus::Gauge& mQueueDepth;
    prometheus::Gauge& mServerUp;
    prometheus::Gauge& mLastResync;
};

// The process's metrics; whether they are served depends on the configuration.
CMetrics& Metrics();

}  // namespace ozra
