#include "server_test_fixture.h"

namespace ozra::test {

ServerTest::ServerTest() : m_server(std::make_unique<CServer>("http", m_fake->url(), 0, m_logger)) {}

varnok::test_tools::recorded_request ServerTest::OnlyRequest() const {
    const auto requests = m_fake->requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.size() == 1 ? requests.front() : varnok::test_tools::recorded_request{};
}

}  // namespace ozra::test
