#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/value.h>
#include <json/writer.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "config.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

using Change = std::function<void(Json::Value&)>;

ozra::config Read(const Change& change) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    change(document);
    std::istringstream stream(Json::writeString(Json::StreamWriterBuilder(), document));
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

TEST(ConfigTest, ReadsEveryValueIgnoringUnknownKeys) {
    const ozra::config settings = Read([](Json::Value& document) {
        document["extra"] = 1;
        document["server"]["nested"]["deeper"] = true;
        document["proxy"]["output_port"] = 5557.0;
        document["zone_types"].append("boundary_in");
    });
    EXPECT_EQ(settings.system.pidfile, "/tmp/varnok.pid");
    EXPECT_EQ(settings.system.debug_port, "tcp://127.0.0.1:5560");
    EXPECT_FALSE(settings.system.local_debug);
    EXPECT_EQ(settings.proxy.address, "127.0.0.1");
    EXPECT_EQ(settings.proxy.output_port, 5557U);
    EXPECT_EQ(settings.server.protocol, "http");
    EXPECT_EQ(settings.server.address, "127.0.0.2");
    EXPECT_EQ(settings.server.port, 8080);
    EXPECT_EQ(settings.server.timeout_s, 10U);
    EXPECT_THAT(settings.zone_types, ElementsAre("boundary_in", "boundary_out"));
    EXPECT_TRUE(
        Read([](Json::Value& d) { d["zone_types"] = Json::Value(Json::arrayValue); }).zone_types.empty());
}

TEST(ConfigTest, ServerPortDefaultsToZeroWhenAbsentOrNotAnInteger) {
    for (const Change& change : {Change([](Json::Value& d) { d["server"].removeMember("port"); }),
                                 Set("server", "port", "8080"), Set("server", "port", 80.5)}) {
        EXPECT_EQ(Read(change).server.port, 0);
    }
}

// The reasons of missing and wrongly typed keys are the reader library's; the configuration joins them in
// key order after its own prefix and adds its range checks.
TEST(ConfigTest, ReportsEveryProblemInOneMessage) {
    const std::string prefix = "Config file is invalid: ";
    Json::Value notString(Json::arrayValue);
    notString.append("a");
    notString.append(7);
    notString.append(true);
    const std::vector<std::pair<Change, std::string>> cases = {
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
        {Set("proxy", "output_port", 65536), "proxy.output_port: out of range 1..65535: 65536"},
        {Set("proxy", "output_port", 1e10), "proxy.output_port: out of range 1..65535: 10000000000"},
        {Set("proxy", "output_port", 5556.5), "Can not find field <int>: proxy.output_port"},
        {Set("server", "port", -80), "server.port: out of range 0..65535: -80"},
        {Set("server", "port", Json::Value(Json::Int64(4294967296))),
         "server.port: out of range 0..65535: 4294967296"},
        {Set("server", "timeout_s", -1), "server.timeout_s: out of range 0..2147483647: -1"},
        {Set("server", "timeout_s", Json::Value(Json::Int64(2147483648))),
         "server.timeout_s: out of range 0..2147483647: 2147483648"},
        {Set("server", "connections", 0), "server.connections: out of range 1..256: 0"},
        {Set("server", "connections", 257), "server.connections: out of range 1..256: 257"},
        {Set("server", "connections", "16"), "Can not find field <int>: server.connections"},
    };
    for (const auto& [change, reason] : cases) {
        EXPECT_EQ(Failure(change), prefix + reason);
    }
    EXPECT_EQ(Failure(Set("proxy", "output_port", 65535)), "<no exception>");
    EXPECT_EQ(Failure(Set("server", "port", 0)), "<no exception>");
}

TEST(ConfigTest, ServerConnectionsAreSixteenUnlessSet) {
    EXPECT_EQ(Read([](Json::Value&) {}).server.connections, 16U);
    for (const int connections : {1, 256}) {
        EXPECT_EQ(Read(Set("server", "connections", connections)).server.connections,
                  static_cast<std::size_t>(connections));
    }
}

TEST(ConfigTest, MetricsListenIsOptionalAndANumericHostWithAPort) {
    const auto listen = [](const Json::Value& value) { return Set("metrics", "listen", value); };
    EXPECT_EQ(Read([](Json::Value&) {}).metrics.listen, "");
    for (const char* accepted : {"127.0.0.1:9464", "0.0.0.0:0", "[::1]:65535", "[fe80::1]:9464"}) {
        EXPECT_EQ(Read(listen(accepted)).metrics.listen, accepted);
    }
    const std::string bad = "Config file is invalid: metrics.listen: not host:port with a numeric host: ";
    for (const char* rejected :
         {"localhost:9464", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:-1", "1.2.3:80",
          "::1:9464", "[::1]", "[]:80", ":9464", "127.0.0.1:94a4"}) {
        EXPECT_EQ(Failure(listen(rejected)), bad + rejected);
    }
    const std::string notString = "Config file is invalid: Can not find field <string>: metrics.listen";
    EXPECT_EQ(Failure(listen(9464)), notString);
    EXPECT_EQ(Failure([](Json::Value& d) { d["metrics"] = Json::Value(Json::objectValue); }), notString);
}
