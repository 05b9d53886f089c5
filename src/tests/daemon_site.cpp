#include "daemon_site.h"

#include <json/writer.h>

#include "kelt_fixture.h"
#include "test_support.h"

namespace ozra::tests {

namespace {

int PortOf(const std::string& endpoint) {
    return std::stoi(endpoint.substr(endpoint.rfind(':') + 1));
}

}  // namespace

CDaemonSite::CDaemonSite() {
    mCollector.bind("tcp://127.0.0.1:*");
    mProxy.bind("tcp://127.0.0.1:*");
}

std::string CDaemonSite::WriteConfig(const std::function<void(Json::Value&)>& edit) const {
    Json::Value document = ValidConfigDocument();
    document["system"]["pidfile"] = Directory() + "/varnok.pid";
    document["system"]["debug_port"] = mCollector.get(zmq::sockopt::last_endpoint);
    document["server"]["address"] = "127.0.0.1";
    document["server"]["port"] = mServer->port();
    document["proxy"]["output_port"] = PortOf(mProxy.get(zmq::sockopt::last_endpoint));
    if (edit) {
        edit(document);
    }
    const std::string path = Directory() + "/varnok.json";
    WriteFile(path, Json::writeString(Json::StreamWriterBuilder(), document));
    return path;
}

void CDaemonSite::ServeTagsWithoutZones() {
    namespace data = ozra::test::data;
    mServer->set_zone_types(Json::Value(Json::arrayValue));
    mServer->set_zones(Json::Value(Json::arrayValue));
    mServer->set_trackable_objects(data::Array(
        {data::Trackable("t1"), data::Trackable("t2"), data::Trackable("t3"), data::Unassociated("u1")}));
    mServer->set_download_statuses(
        data::Array({data::Status("t1", "UPDATED"), data::Status("t2", "UPDATED"),
                     data::Status("t3", "OUTDATED"), data::Status("u1", "OOSYNC")}));
}

void CDaemonSite::Publish(const std::string& frame) {
    mProxy.send(zmq::buffer(frame), zmq::send_flags::none);
}

}  // namespace ozra::tests
