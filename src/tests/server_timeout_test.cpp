#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "server_test_fixture.h"

namespace ozra::test {
namespace {

using namespace std::chrono_literals;

using ServerTimeout = ServerTest;

TEST_F(ServerTimeout, AnswerLaterThanTenSecondsFailsWithCurlsTimeOutText) {
    m_fake->set_fault(varnok::test_tools::response_fault{std::nullopt, false, 15s});
    std::stringstream answer;
    const std::string raised =
        RaisedText([&] { m_server->CurlGetRequest(CServer::req_zone_types, answer, nullptr); });
    EXPECT_EQ(raised, std::string("CurlGetRequest: curl_easy_perform failed: ") +
                          curl_easy_strerror(CURLE_OPERATION_TIMEDOUT) + " URL=" + m_fake->url() +
                          CServer::req_zone_types);
}

}  // namespace
}  // namespace ozra::test
