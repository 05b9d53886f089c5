#include "runtime.h"

#include <memory>
#include <optional>
#include <string>

#include "core/core.h"
#include "core/events_loop.h"
#include "core/message_stream.h"
#include "core/scope_guard.h"
#include "kelt.h"
#include "metrics-endpoint.h"
#include "service-notifier.h"
#include "service-reporter.h"

namespace ozra {

std::string proxy_endpoint(const config& settings) {
    return "tcp://" + settings.proxy.address + ":" + std::to_string(settings.proxy.output_port);
}

void run_runtime(libs::core::logger& logger, const config& settings) {
    std::optional<CMetricsEndpoint> metrics;
    if (!settings.metrics.listen.empty()) {
        metrics.emplace(settings.metrics.listen, Metrics());
        logger.info("Metrics at %1%") % metrics->Url();
    }
    const CServiceNotifier notifier;
    CServiceReporter reporter(notifier);
    const auto core = libs::core::core::create(logger);
    const auto events_loop = core->create_events_loop("main");
    const auto signals = events_loop->stop_on_signals();
    const auto message_stream = events_loop->create_zmq_message_stream(proxy_endpoint(settings));
    auto controller = std::make_unique<kelt>(
        logger, *events_loop, *signals, *message_stream, settings.server.protocol, settings.server.address,
        settings.server.port, settings.zone_types, settings.server.connections);
    controller->SetObserver(&reporter);
    // STOPPING=1 after a signal, before the teardown; also when the signal interrupts the start-up.
    const auto stopping = libs::core::execute_on_scope_exit([&] { reporter.Stopping(*signals); });
    controller->initialize();
    logger.info("Running");
    reporter.Ready(*controller);
    events_loop->run();
}

}  // namespace ozra
