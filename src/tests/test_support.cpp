#include "config_document.h"

namespace ozra::tests {

Json::Value ValidConfigDocument() {
    Json::Value document;
    document["system"]["pidfile"] = "/tmp/varnok.pid";
    document["system"]["debug_port"] = "tcp://127.0.0.1:5560";
    document["system"]["local_debug"] = false;
    document["proxy"]["address"] = "127.0.0.1";
    document["proxy"]["output_port"] = 5556;
    document["server"]["protocol"] = "http";
    document["server"]["address"] = "127.0.0.2";
    document["server"]["port"] = 8080;
    document["server"]["timeout_s"] = 10;
    document["zone_types"].append("boundary_out");
    document["zone_types"].append("boundary_in");
    return document;
}

}  // namespace ozra::tests
