#include "metrics-endpoint.h"

#include <exception>

#include "core/exception.h"

namespace ozra {

CMetricsEndpoint::CMetricsEndpoint(const std::string& listen, const CMetrics& metrics) : mListen(listen) {
    try {
        mExposer = std::make_unique<prometheus::Exposer>(listen);
    } catch (const std::exception& e) {
        OZRA_THROW("metrics.listen: cannot listen at " + listen + ": " + e.what());
    }
    mExposer->RegisterCollectable(metrics.Registry());
}

std::string CMetricsEndpoint::Url() const {
    const std::string host = mListen.substr(0, mListen.rfind(':'));
    return "http://" + host + ":" + std::to_string(mExposer->GetListeningPorts().front()) + "/metrics";
}

}  // namespace ozra
