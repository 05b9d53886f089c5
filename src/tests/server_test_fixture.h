#pragma once

#include "core/tests/test_support.h"
#include "fake_server/fake_location_server.h"
#include "server.h"
#include "test_support.h"

namespace ozra::test {

using libs::core::testing::raised_text;
using tests::ParseJson;

// A CServer talking to a fresh fake location server on loopback.
class ServerTest : public ::testing::Test {
protected:
    ServerTest();

    // The only recorded request; a test failure and an empty record when there is not exactly one.
    varnok::test_tools::recorded_request OnlyRequest() const;

    libs::core::logger m_logger{"varnok-test", "server"};
    std::unique_ptr<varnok::test_tools::fake_location_server> m_fake =
        varnok::test_tools::make_fake_location_server();
    std::unique_ptr<CServer> m_server;
};

}  // namespace ozra::test
