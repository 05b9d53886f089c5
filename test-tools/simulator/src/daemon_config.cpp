#include "simulator/daemon_config.h"

#include <json/value.h>
#include <json/writer.h>

namespace varnok::test_tools {

std::string daemon_config_text(const daemon_settings& settings) {
    Json::Value config;
    config["system"]["pidfile"] = settings.pid_file;
    config["system"]["debug_port"] = settings.debug_endpoint;
    config["system"]["local_debug"] = false;
    config["proxy"]["address"] = "127.0.0.1";
    config["proxy"]["output_port"] = settings.proxy_port;
    config["server"]["protocol"] = "http";
    config["server"]["address"] = "127.0.0.1";
    config["server"]["port"] = settings.server_port;
    config["server"]["timeout_s"] = 10;
    config["zone_types"] = Json::Value(Json::arrayValue);
    for (const auto& type : settings.zone_types) {
        config["zone_types"].append(type);
    }
    if (!settings.metrics_listen.empty()) {
        config["metrics"]["listen"] = settings.metrics_listen;
    }
    return Json::writeString(Json::StreamWriterBuilder(), config);
}

}  // namespace varnok::test_tools
