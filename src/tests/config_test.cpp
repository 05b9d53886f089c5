#include <gtest/gtest.h>

#include <sstream>

#include "config.h"
#include "core/tests/test_support.h"
#include "simulator/daemon_config.h"
#include "test_support.h"

namespace {

// The settings read from the valid document after the patch, as one line; or the reason of the
// configuration's failure.
std::string Outcome(const std::string& patch) {
    Json::Value document = ozra::tests::ParseJson(varnok::test_tools::daemon_config_text(
        {"/tmp/varnok.pid", "tcp://127.0.0.1:5560", 5556, 8080, {"boundary_out", "boundary_in"}, ""}));
    ozra::tests::Patch(document, ozra::tests::ParseJson(patch));
    std::ostringstream line;
    const std::string failure = ozra::libs::core::testing::raised_text([&] {
        std::istringstream stream(document.toStyledString());
        const ozra::config c(stream);
        line << c.system.pidfile << " " << c.system.debug_port << " " << c.system.local_debug << " "
             << c.proxy.address << ":" << c.proxy.output_port << " " << c.server.protocol << "://"
             << c.server.address << ":" << c.server.port << " " << c.server.timeout_s << "s "
             << c.server.connections << " [" << c.metrics.listen << "]";
        for (const std::string& type : c.zone_types) {
            line << " " << type;
        }
    });
    const std::string prefix = "Config file is invalid: ";
    if (failure == "no exception") {
        return line.str();
    }
    return failure.rfind(prefix, 0) == 0 ? failure.substr(prefix.size()) : "unprefixed: " + failure;
}

// Unknown keys are ignored and a port of another kind reads as zero. The reasons of missing and wrongly
// typed keys are the reader library's; the configuration joins them in key order after its own prefix and
// adds its range checks, whose bounds pass.
TEST(ConfigTest, ReadsEveryValueOrReportsEveryProblemInOneMessage) {
    const std::string settings = "/tmp/varnok.pid tcp://127.0.0.1:5560 0 127.0.0.1:";
    const std::string types = " boundary_in boundary_out";
    const std::string port0 = settings + "5556 http://127.0.0.1:0 10s 16 []" + types;
    std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"extra":1,"server":{"nested":{"deeper":true},"connections":256},"proxy":{"output_port":5557.0},
            "zone_types":["boundary_out","boundary_in","boundary_in"],"metrics":{"listen":"[::1]:65535"}})",
         settings + "5557 http://127.0.0.1:8080 10s 256 [[::1]:65535]" + types},
        {R"({"server":{"port":null}})", port0},
        {R"({"server":{"port":80.5}})", port0},
        {R"({"server":{"port":0}})", port0},
        {R"({"proxy":{"output_port":65535}})", settings + "65535 http://127.0.0.1:8080 10s 16 []" + types},
        {R"({"server":{"connections":1}})", settings + "5556 http://127.0.0.1:8080 10s 1 []" + types},
        {R"({"metrics":{"listen":"0.0.0.0:0"}})",
         settings + "5556 http://127.0.0.1:8080 10s 16 [0.0.0.0:0]" + types},
        {R"({"system":{"local_debug":1}})", "Can not find field <bool>: system.local_debug"},
        {R"({"proxy":null,"zone_types":null,"server":{"protocol":true}})",
         "Can not find object <object>: proxy, path: proxy.address\n"
         "Can not find object <object>: proxy, path: proxy.output_port\n"
         "Can not find field <string>: server.protocol\n"
         "Can not find field <array>: zone_types"},
        {R"({"zone_types":["a",7]})", "zone_types: not a zone type: 1"},
        {R"({"proxy":{"output_port":0}})", "proxy.output_port: out of range 1..65535: 0"},
        {R"({"proxy":{"output_port":5556.5}})", "Can not find field <int>: proxy.output_port"},
        {R"({"server":{"port":-80}})", "server.port: out of range 0..65535: -80"},
        {R"({"server":{"port":4294967296}})", "server.port: out of range 0..65535: 4294967296"},
        {R"({"server":{"timeout_s":2147483648}})",
         "server.timeout_s: out of range 0..2147483647: 2147483648"},
        {R"({"server":{"connections":257}})", "server.connections: out of range 1..256: 257"},
        {R"({"server":{"connections":"16"}})", "Can not find field <int>: server.connections"},
        {R"({"metrics":{"listen":9464}})", "Can not find field <string>: metrics.listen"},
    };
    for (const char* listen : {"localhost:9464", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536",
                               "127.0.0.1:94a4", "[fe80::zz]:80"}) {
        cases.emplace_back(R"({"metrics":{"listen":")" + std::string(listen) + R"("}})",
                           std::string("metrics.listen: not host:port with a numeric host: ") + listen);
    }
    for (const auto& [patch, expected] : cases) {
        EXPECT_EQ(Outcome(patch), expected) << patch;
    }
}

}  // namespace
