#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/value.h>
#include <json/writer.h>

#include <sstream>
#include <stdexcept>

#include "config.h"
#include "config_document.h"
#include "core/exception.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

ozra::config read(const std::string& text) {
    std::istringstream stream(text);
    return ozra::config(stream);
}

ozra::config read(const Json::Value& document) {
    return read(Json::writeString(Json::StreamWriterBuilder(), document));
}

// The text of the configuration's own failure.
std::string failure(const Json::Value& document) {
    try {
        read(document);
    } catch (const ozra::libs::core::exception& e) {
        return e.get_string_error();
    }
    return "<no error>";
}

}  // namespace

TEST(ConfigTest, ReadsEveryValue) {
    const ozra::config settings = read(ozra::tests::ValidConfigDocument());
    EXPECT_EQ(settings.system.pidfile, "/tmp/varnok.pid");
    EXPECT_EQ(settings.system.debug_port, "tcp://127.0.0.1:5560");
    EXPECT_FALSE(settings.system.local_debug);
    EXPECT_EQ(settings.proxy.address, "127.0.0.1");
    EXPECT_EQ(settings.proxy.output_port, 5556U);
    EXPECT_EQ(settings.server.protocol, "http");
    EXPECT_EQ(settings.server.address, "127.0.0.2");
    EXPECT_EQ(settings.server.port, 8080);
    EXPECT_EQ(settings.server.timeout_s, 10U);
    EXPECT_THAT(settings.zone_types, ElementsAre("boundary_in", "boundary_out"));
}

TEST(ConfigTest, IgnoresUnknownKeysAtEveryLevel) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["extra"] = 1;
    document["system"]["extra"] = "x";
    document["server"]["nested"]["deeper"] = true;
    document["system"]["local_debug"] = true;
    EXPECT_TRUE(read(document).system.local_debug);
}

TEST(ConfigTest, ServerPortDefaultsToZeroWhenAbsentOrNotAnInteger) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["server"].removeMember("port");
    EXPECT_EQ(read(document).server.port, 0);
    document["server"]["port"] = "8080";
    EXPECT_EQ(read(document).server.port, 0);
    document["server"]["port"] = 80.5;
    EXPECT_EQ(read(document).server.port, 0);
}

TEST(ConfigTest, IntegersMayBeWrittenAsRealsWithoutFraction) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["proxy"]["output_port"] = 5557.0;
    EXPECT_EQ(read(document).proxy.output_port, 5557U);
    document["proxy"]["output_port"] = 5556.5;
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <int>: proxy.output_port");
}

TEST(ConfigTest, ZoneTypesAreAnOrderedSetOfStrings) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["zone_types"] = Json::Value(Json::arrayValue);
    EXPECT_THAT(read(document).zone_types, IsEmpty());
    for (const char* name : {"b", "a", "b"}) {
        document["zone_types"].append(name);
    }
    EXPECT_THAT(read(document).zone_types, ElementsAre("a", "b"));
}

TEST(ConfigTest, NamesTheFirstZoneTypeThatIsNotAString) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["zone_types"] = Json::Value(Json::arrayValue);
    document["zone_types"].append("a");
    document["zone_types"].append(7);
    document["zone_types"].append(true);
    EXPECT_EQ(failure(document), "Config file is invalid: zone_types: not a zone type: 1");
    document["zone_types"] = "boundary_in";
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <array>: zone_types");
    document.removeMember("zone_types");
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <array>: zone_types");
}

TEST(ConfigTest, ReportsWronglyTypedKeys) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document["system"]["local_debug"] = 1;
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <bool>: system.local_debug");
    document = ozra::tests::ValidConfigDocument();
    document["server"]["timeout_s"] = "10";
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <int>: server.timeout_s");
    document = ozra::tests::ValidConfigDocument();
    document["system"]["pidfile"] = 5;
    EXPECT_EQ(failure(document), "Config file is invalid: Can not find field <string>: system.pidfile");
}

TEST(ConfigTest, ReportsEveryProblemInOneMessageInKeyOrder) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    document.removeMember("system");
    EXPECT_EQ(failure(document),
              "Config file is invalid: Can not find object <object>: system, path: system.pidfile\n"
              "Can not find object <object>: system, path: system.debug_port\n"
              "Can not find object <object>: system, path: system.local_debug");

    document = ozra::tests::ValidConfigDocument();
    document.removeMember("proxy");
    document.removeMember("zone_types");
    document["server"]["protocol"] = true;
    EXPECT_EQ(failure(document),
              "Config file is invalid: Can not find object <object>: proxy, path: proxy.address\n"
              "Can not find object <object>: proxy, path: proxy.output_port\n"
              "Can not find field <string>: server.protocol\n"
              "Can not find field <array>: zone_types");
}

TEST(ConfigTest, RejectsPortsAndTimeOutsOutOfRange) {
    const auto with = [](const char* group, const char* key, const Json::Value& number) {
        Json::Value document = ozra::tests::ValidConfigDocument();
        document[group][key] = number;
        return failure(document);
    };
    EXPECT_EQ(with("proxy", "output_port", -1),
              "Config file is invalid: proxy.output_port: out of range 1..65535: -1");
    EXPECT_EQ(with("proxy", "output_port", 0),
              "Config file is invalid: proxy.output_port: out of range 1..65535: 0");
    EXPECT_EQ(with("proxy", "output_port", 65536),
              "Config file is invalid: proxy.output_port: out of range 1..65535: 65536");
    EXPECT_EQ(with("server", "port", -80), "Config file is invalid: server.port: out of range 0..65535: -80");
    EXPECT_EQ(with("server", "port", 70000),
              "Config file is invalid: server.port: out of range 0..65535: 70000");
    EXPECT_EQ(with("server", "timeout_s", -1),
              "Config file is invalid: server.timeout_s: out of range 0..2147483647: -1");
    EXPECT_EQ(with("server", "timeout_s", Json::Value(Json::Int64(2147483648))),
              "Config file is invalid: server.timeout_s: out of range 0..2147483647: 2147483648");
    EXPECT_EQ(with("server", "port", Json::Value(Json::Int64(4294967296))),
              "Config file is invalid: server.port: out of range 0..65535: 4294967296");
    EXPECT_EQ(with("proxy", "output_port", 1e10),
              "Config file is invalid: proxy.output_port: out of range 1..65535: 10000000000");
    EXPECT_EQ(with("proxy", "output_port", 5556.5),
              "Config file is invalid: Can not find field <int>: proxy.output_port");
    EXPECT_EQ(with("proxy", "output_port", 65535), "<no error>");
    EXPECT_EQ(with("server", "port", 0), "<no error>");
    EXPECT_EQ(with("server", "connections", 0),
              "Config file is invalid: server.connections: out of range 1..256: 0");
    EXPECT_EQ(with("server", "connections", 257),
              "Config file is invalid: server.connections: out of range 1..256: 257");
    EXPECT_EQ(with("server", "connections", "16"),
              "Config file is invalid: Can not find field <int>: server.connections");
}

TEST(ConfigTest, ServerConnectionsAreSixteenUnlessSet) {
    Json::Value document = ozra::tests::ValidConfigDocument();
    EXPECT_EQ(read(document).server.connections, 16U);
    for (const int connections : {1, 256}) {
        document["server"]["connections"] = connections;
        EXPECT_EQ(read(document).server.connections, static_cast<std::size_t>(connections));
    }
}

TEST(ConfigTest, AnUnparsableDocumentFailsInTheReader) {
    for (const std::string& text : {std::string(), std::string("not json"), std::string("{\"system\": ")}) {
        try {
            read(text);
            ADD_FAILURE() << "no exception for: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), StartsWith("Cannot parse json: "));
        }
    }
}

TEST(ConfigTest, MetricsListenIsOptionalAndANumericHostWithAPort) {
    const auto with = [](const Json::Value& listen) {
        Json::Value document = ozra::tests::ValidConfigDocument();
        document["metrics"]["listen"] = listen;
        return document;
    };
    EXPECT_EQ(read(ozra::tests::ValidConfigDocument()).metrics.listen, "");
    for (const char* listen : {"127.0.0.1:9464", "0.0.0.0:0", "[::1]:65535", "[fe80::1]:9464"}) {
        EXPECT_EQ(read(with(listen)).metrics.listen, listen);
    }
    const std::string bad = "Config file is invalid: metrics.listen: not host:port with a numeric host: ";
    for (const char* listen : {"localhost:9464", "127.0.0.1", "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:-1",
                               "1.2.3:80", "::1:9464", "[::1]", "[]:80", ":9464", "127.0.0.1:94a4"}) {
        EXPECT_EQ(failure(with(listen)), bad + listen);
    }
    EXPECT_EQ(failure(with(9464)), "Config file is invalid: Can not find field <string>: metrics.listen");
    Json::Value empty_group = ozra::tests::ValidConfigDocument();
    empty_group["metrics"] = Json::Value(Json::objectValue);
    EXPECT_EQ(failure(empty_group), "Config file is invalid: Can not find field <string>: metrics.listen");
}
