#include "metrics.h"

#include <prometheus/family.h>

#include <string>

#include "core/version.h"

namespace ozra {

namespace {

// In the order of CServerResource.
const char* const resource_names[] = {
    "zone_types", "zones",         "trackable_objects", "trackable_object",
    "statuses",   "status_report", "status_delete",     "user_msg",
};

// From 5 ms to 10 s, the longest a request may take.
const prometheus::Histogram::BucketBoundaries duration_buckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                                  0.5,   1,    2.5,   5,    10};

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

prometheus::Family<prometheus::Counter>& CounterFamily(prometheus::Registry& registry,
                                                       const std::string& name, const std::string& help) {
    return prometheus::BuildCounter().Name(name).Help(help).Register(registry);
}

prometheus::Family<prometheus::Gauge>& GaugeFamily(prometheus::Registry& registry, const std::string& name,
                                                   const std::string& help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry);
}

}  // namespace

CMetrics::CMetrics()
    : mDisconnected(GaugeFamily(*mRegistry, "varnok_tags_disconnected",
                                "Tags whose last status is OOSYNC \"disconnected\"")
                        .Add({})),
      mFramesSent(
          CounterFamily(*mRegistry, "varnok_frames_sent_total", "Frames the server accepted for the tags")
              .Add({})),
      mFramesFailed(CounterFamily(*mRegistry, "varnok_frames_failed_total",
                                  "Frames the server did not accept for the tags")
                        .Add({})),
      mDeviceReplies(CounterFamily(*mRegistry, "varnok_device_replies_total",
                                   "Device replies taken from the subscription for managed tags")
                         .Add({})),
      mDownloadsCompleted(CounterFamily(*mRegistry, "varnok_downloads_completed_total",
                                        "Downloads ended with a CRC match after download complete")
                              .Add({})),
      mDownloadsFailed(
          CounterFamily(*mRegistry, "varnok_downloads_failed_total",
                        "Downloads ended with a rejection, a CRC mismatch or an unanswered device")
              .Add({})),
      mProcessingRun(prometheus::BuildHistogram()
                         .Name("varnok_processing_run_duration_seconds")
                         .Help("Duration of one processing run")
                         .Register(*mRegistry)
                         .Add({}, duration_buckets)),
      mQueueDepth(
          GaugeFamily(*mRegistry, "varnok_background_queue_depth", "Frames and deletions waiting to be sent")
              .Add({})),
      mServerUp(GaugeFamily(*mRegistry, "varnok_server_up", "1 when the last request to the server succeeded")
                    .Add({})),
      mLastResync(GaugeFamily(*mRegistry, "varnok_last_resync_timestamp_seconds",
                              "Unix time of the last successful read of zones and trackable objects")
                      .Add({})) {
    auto& tags = GaugeFamily(*mRegistry, "varnok_tags", "Tags by download status");
    for (const downloadStatusName_t name :
         {DLS_UNKNOWN, DLS_OUTDATED, DLS_IN_PROCESS, DLS_UPDATED, DLS_OOSYNC}) {
        mTags[name] = &tags.Add({{"status", DownloadStatusName(name)}});
    }
    auto& requests = CounterFamily(*mRegistry, "varnok_server_requests_total", "Requests to the server");
    auto& durations = prometheus::BuildHistogram()
                          .Name("varnok_server_request_duration_seconds")
                          .Help("Duration of requests to the server, from sending to the answer")
                          .Register(*mRegistry);
    for (const char* resource : resource_names) {
        mResources.push_back({requests.Add({{"resource", resource}, {"outcome", "ok"}}),
                              requests.Add({{"resource", resource}, {"outcome", "error"}}),
                              durations.Add({{"resource", resource}}, duration_buckets)});
    }
    GaugeFamily(*mRegistry, "varnok_build_info", "Always 1, labelled with the daemon's version")
        .Add({{"version", std::string(libs::core::constants::git_version)}})
        .Set(1);
}

void CMetrics::RequestEnded(CServerResource resource, bool ok, std::chrono::steady_clock::duration duration) {
    CResourceMetrics& metrics = mResources.at(static_cast<std::size_t>(resource));
    (ok ? metrics.mOk : metrics.mError).Increment();
    metrics.mDuration.Observe(Seconds(duration));
    if (resource == CServerResource::USER_MSG) {
        (ok ? mFramesSent : mFramesFailed).Increment();
    }
    mServerUp.Set(ok ? 1 : 0);
}

void CMetrics::ProcessingRunEnded(std::chrono::steady_clock::duration duration) {
    mProcessingRun.Observe(Seconds(duration));
}

void CMetrics::TagsCounted(const CTagCounts& counts) {
    for (std::size_t name = 0; name < counts.mByStatus.size(); ++name) {
        mTags[name]->Set(static_cast<double>(counts.mByStatus[name]));
    }
    mDisconnected.Set(static_cast<double>(counts.mDisconnected));
}

CMetrics& Metrics() {
    static CMetrics metrics;
    return metrics;
}

}  // namespace ozra
