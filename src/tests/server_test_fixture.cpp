#include "server_test_fixture.h"

#include "core/json.h"

namespace ozra::test {

ServerTest::ServerTest() : m_server(std::make_unique<CServer>("http", m_fake->url(), 0, m_logger)) {}

varnok::test_tools::recorded_request ServerTest::OnlyRequest() const {
    const auto requests = m_fake->requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.size() == 1 ? requests.front() : varnok::test_tools::recorded_request{};
}

Json::Value ParseJson(const std::string& text) {
    const auto parsed = libs::core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << text;
    return parsed.result;
}

}  // namespace ozra::test
