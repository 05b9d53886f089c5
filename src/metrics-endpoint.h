#pragma once

#include <prometheus/exposer.h>

#include <memory>
#include <string>

#include "metrics.h"

namespace ozra {

// Serves the metrics over HTTP at /metrics in Prometheus' text format until destroyed.
class CMetricsEndpoint {
public:
    // Raises when nothing can listen at the "host:port" address.
    CMetricsEndpoint(const std::string& listen, const CMetrics& metrics);

    // "http://host:port/metrics", with the port taken when the address named port 0.
    std::string Url() const;

private:
    const std::string mListen;
    std::unique_ptr<prometheus::Exposer> mExposer;
};

}  // namespace ozra
