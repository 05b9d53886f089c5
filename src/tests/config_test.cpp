#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/value.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "config.h"
#include "simulator/daemon_config.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

using Change = std::function<void(Json::Value&)>;

ozra::config Read(const Change& change) {
    Json::Value document = ozra::tests::ParseJson(varnok::test_tools::daemon_config_text(
        {"/tmp/varnok.pid", "tcp://127.0.0.1:5560", 5556, 8080, {"boundary_out", "boundary_in"}, ""}));
    change(document);
    std::istringstream stream(document.toStyledString());
    return ozra::config(stream);
}

// The text of the configuration's own failure.
std::string Failure(const Change& change) {
    return ozra::tests::RaisedText([&] { Read(change); });
}

Change Set(const char* group, const char* key, const Json::Value& value) {
    return [=](Json::Value& document) { document[group][key] = value; };
}

}  // namespace

TEST(ConfigTest, ReadsEveryValueIgnoringUnknownKeysAndAPortOfAnotherKindAsZero) {
    const ozra::config settings = Read([](Json::Value& document) {
        document["extra"] = 1;
        document["server"]["nested"]["deeper"] = true;
        document["proxy"]["output_port"] = 5557.0;
        document["zone_types"].append("boundary_in");
        document["server"]["connections"] = 256;
        document["metrics"]["listen"] = "[::1]:65535";
    });
    EXPECT_EQ(settings.system.pidfile, "/tmp/varnok.pid");
    EXPECT_EQ(settings.system.debug_port, "tcp://127.0.0.1:5560");
    EXPECT_FALSE(settings.system.local_debug);
    EXPECT_EQ(settings.proxy.address, "127.0.0.1");
    EXPECT_EQ(settings.proxy.output_port, 5557U);
    EXPECT_EQ(settings.server.protocol, "http");
    EXPECT_EQ(settings.server.address, "127.0.0.1");
    EXPECT_EQ(settings.server.port, 8080);
    EXPECT_EQ(settings.server.timeout_s, 10U);
    EXPECT_EQ(settings.server.connections, 256U);
    EXPECT_EQ(settings.metrics.listen, "[::1]:65535");
    EXPECT_THAT(settings.zone_types, ElementsAre("boundary_in", "boundary_out"));
    for (const Change& change : {Change([](Json::Value& d) { d["server"].removeMember("port"); }),
                                 Set("server", "port", "8080"), Set("server", "port", 80.5)}) {
        EXPECT_EQ(Read(change).server.port, 0);
    }
}

// The reasons of missing and wrongly typed keys are the reader library's; the configuration joins them in
// key order after its own prefix and adds its range checks. The bounds of the ranges pass.
TEST(ConfigTest, ReportsEveryProblemInOneMessage) {
    for (const Change& change : {Set("proxy", "output_port", 65535), Set("server", "port", 0),
                                 Set("server", "connections", 1), Set("metrics", "listen", "0.0.0.0:0")}) {
        EXPECT_EQ(Failure(change), "<no exception>");
    }
    Json::Value notString(Json::arrayValue);
    notString.append("a");
    notString.append(7);
    std::vector<std::pair<Change, std::string>> cases = {
        {Set("system", "local_debug", 1), "Can not find field <bool>: system.local_debug"},
        {[](Json::Value& d) {
             d.removeMember("proxy");
             d.removeMember("zone_types");
             d["server"]["protocol"] = true;
         },
         "Can not find object <object>: proxy, path: proxy.address\n"
         "Can not find object <object>: proxy, path: proxy.output_port\n"
         "Can not find field <string>: server.protocol\n"
         "Can not find field <array>: zone_types"},
        {[&](Json::Value& d) { d["zone_types"] = notString; }, "zone_types: not a zone type: 1"},
        {Set("proxy", "output_port", 0), "proxy.output_port: out of range 1..65535: 0"},
        {Set("proxy", "output_port", 1e10), "proxy.output_port: out of range 1..65535: 10000000000"},
        {Set("proxy", "output_port", 5556.5), "Can not find field <int>: proxy.output_port"},
        {Set("server", "port", -80), "server.port: out of range 0..65535: -80"},
        {Set("server", "port", Json::Value(Json::Int64(4294967296))),
         "server.port: out of range 0..65535: 4294967296"},
        {Set("server", "timeout_s", Json::Value(Json::Int64(2147483648))),
         "server.timeout_s: out of range 0..2147483647: 2147483648"},
        {Set("server", "connections", 257), "server.connections: out of range 1..256: 257"},
        {Set("server", "connections", "16"), "Can not find field <int>: server.connections"},
        {Set("metrics", "listen", 9464), "Can not find field <string>: metrics.listen"},
        {[](Json::Value& d) { d["metrics"] = Json::objectValue; },
         "Can not find field <string>: metrics.listen"},
    };
    for (const char* listen : {"localhost:9464", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536",
                               "127.0.0.1:94a4", "[fe80::zz]:80"}) {
        cases.emplace_back(Set("metrics", "listen", listen),
                           std::string("metrics.listen: not host:port with a numeric host: ") + listen);
    }
    for (const auto& [change, reason] : cases) {
        EXPECT_EQ(Failure(change), "Config file is invalid: " + reason);
    }
}
