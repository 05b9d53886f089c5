#pragma once

#include <json/value.h>
#include <zmq.hpp>

#include <functional>
#include <memory>
#include <string>

#include "fake_server/fake_location_server.h"
#include "test_support.h"

namespace ozra::tests {

// Where the daemon runs as a process: a temporary directory, a fake location server, a proxy that the test
// publishes on and a collector for the daemon's debug socket.
class CDaemonSite {
public:
    CDaemonSite();
    CDaemonSite(const CDaemonSite&) = delete;
    CDaemonSite& operator=(const CDaemonSite&) = delete;

    const std::string& Directory() const { return mDirectory.Path(); }
    varnok::test_tools::fake_location_server& Server() { return *mServer; }
    // Writes a configuration for this site, after the edit if any; returns its path.
    std::string WriteConfig(const std::function<void(Json::Value&)>& edit = nullptr) const;
    void Publish(const std::string& frame);
    // No zones; the associated tags t1..t3 and the unassociated tag u1, all with stored statuses (so all are
    // tracked).
    void ServeTagsWithoutZones();

private:
    CTemporaryDirectory mDirectory;
    std::unique_ptr<varnok::test_tools::fake_location_server> mServer =
        varnok::test_tools::make_fake_location_server();
    zmq::context_t mContext;
    zmq::socket_t mCollector{mContext, zmq::socket_type::pull};
    zmq::socket_t mProxy{mContext, zmq::socket_type::pub};
};

}  // namespace ozra::tests
