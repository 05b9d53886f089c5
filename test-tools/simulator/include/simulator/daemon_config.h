#pragma once

#include <string>
#include <vector>

namespace varnok::test_tools {

struct daemon_settings {
    std::string pid_file;
    std::string debug_endpoint;
    unsigned short proxy_port = 0;
    unsigned short server_port = 0;
    std::vector<std::string> zone_types;
    std::string metrics_listen;  // no metrics endpoint when empty
};

// The daemon's configuration file text: proxy and server on 127.0.0.1, the server over http.
std::string daemon_config_text(const daemon_settings& settings);

}  // namespace varnok::test_tools
