#pragma once

#include <gtest/gtest.h>
#include <json/value.h>

#include <memory>
#include <string>

#include "core/exception.h"
#include "core/logger.h"
#include "fake_server/fake_location_server.h"
#include "server.h"

namespace ozra::test {

// A CServer talking to a fresh fake location server on loopback.
class ServerTest : public ::testing::Test {
protected:
    ServerTest();

    // The message of the exception that call raises; empty (and a test failure) when it raises none.
    template <class Call>
    static std::string RaisedText(Call&& call) {
        try {
            call();
        } catch (const libs::core::exception& e) {
            return e.get_string_error();
        }
        ADD_FAILURE() << "no exception raised";
        return {};
    }

    // The only recorded request; a test failure and an empty record when there is not exactly one.
    varnok::test_tools::recorded_request OnlyRequest() const;

    libs::core::logger m_logger{"varnok-test", "server"};
    std::unique_ptr<varnok::test_tools::fake_location_server> m_fake =
        varnok::test_tools::make_fake_location_server();
    std::unique_ptr<CServer> m_server;
};

// The parsed JSON text; a test failure and null when it is no valid JSON.
Json::Value ParseJson(const std::string& text);

}  // namespace ozra::test
