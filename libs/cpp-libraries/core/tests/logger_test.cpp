#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/system/error_code.hpp>
#include <zmq.hpp>

#include <stdexcept>

#include "core/exception.h"
#include "core/logger.h"
#include "core/version.h"

namespace core = ozra::libs::core;
using ::testing::MatchesRegex;

namespace {

const std::string date_pattern = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3} ";

// A collector for the logger's debug socket on a free loopback port.
class LoggerTest : public ::testing::Test {
protected:
    LoggerTest() : m_collector(m_context, zmq::socket_type::pull) {
        m_collector.set(zmq::sockopt::rcvtimeo, 10000);
        m_collector.bind("tcp://127.0.0.1:*");
        m_logger.connect(m_collector.get(zmq::sockopt::last_endpoint));
        EXPECT_THAT(next_frame(), MatchesRegex("&varnokd:main " + date_pattern + "Connected to socket"));
    }

    std::string next_frame() {
        zmq::message_t frame;
        if (!m_collector.recv(frame)) {
            return "<no frame>";
        }
        return frame.to_string();
    }

    // The frame text after the prefix and the date.
    std::string next_body() {
        const std::string frame = next_frame();
        const auto date_start = frame.find(' ') + 1;
        constexpr std::size_t date_length = 24;
        if (frame.rfind("&varnokd:", 0) != 0 || frame.size() < date_start + date_length ||
            !::testing::Matches(MatchesRegex(date_pattern))(frame.substr(date_start, date_length))) {
            return "<unexpected frame: " + frame + ">";
        }
        return frame.substr(date_start + date_length);
    }

    zmq::context_t m_context;
    zmq::socket_t m_collector;
    core::logger m_logger{"varnokd", "main"};
};

}  // namespace

TEST_F(LoggerTest, DebugLinesReachTheSocketWhateverTheDebugMode) {
    ASSERT_FALSE(m_logger.is_debug());
    m_logger.debug("value %1% and %2$#x") % 7 % 255;
    EXPECT_EQ(next_body(), "value 7 and 0xff");
    m_logger.set_debug(true);
    EXPECT_TRUE(m_logger.is_debug());
    m_logger.info("%1$#d") % 12;
    EXPECT_EQ(next_body(), "12");
}

TEST_F(LoggerTest, NestedScopesIndentUntilTheirGuardsGo) {
    {
        auto outer = m_logger.enter_scope("outer");
        EXPECT_EQ(next_body(), "outer");
        auto inner = m_logger.enter_scope("inner");
        EXPECT_EQ(next_body(), "    | inner");
        m_logger.info("deep");
        EXPECT_EQ(next_body(), "        | deep");
        EXPECT_EQ(m_logger.make_indent(), "        | ");
    }
    EXPECT_EQ(m_logger.make_indent(), "");
    m_logger.info("back");
    EXPECT_EQ(next_body(), "back");
}

TEST_F(LoggerTest, ScopeFormsWithLocations) {
    const std::string file = std::string(core::constants::source_directory) + "/src/x.cpp";
    const core::source_location location(88, file, "void ozra::kelt::run(int)");
    { auto guard = m_logger.enter_scope(location); }
    EXPECT_EQ(next_body(), "/src/x.cpp:88");
    { auto guard = m_logger.enter_scope(location, "name"); }
    EXPECT_EQ(next_body(), "/src/x.cpp:88 (name)");
    { auto guard = m_logger.enter_function(location); }
    EXPECT_EQ(next_body(), "void ozra::kelt::run(int)");
    { auto guard = m_logger.enter_function_short(location, "text"); }
    EXPECT_EQ(next_body(), "ozra::kelt::run: text");
    m_logger.info("body").location(location).short_function(location);
    EXPECT_EQ(next_body(), "/src/x.cpp:88 ozra::kelt::run: body");
}

TEST_F(LoggerTest, ExceptionDescriptions) {
    try {
        OZRA_THROW("bad thing");
    } catch (...) {
        m_logger.log_exception();
    }
    EXPECT_THAT(next_body(), MatchesRegex(".*/logger_test.cpp:[0-9]+ bad thing"));

    try {
        throw std::runtime_error("plain");
    } catch (...) {
        m_logger.log_exception();
    }
    EXPECT_EQ(next_body(), "std::exception::what(): plain");

    try {
        throw 5;
    } catch (...) {
        m_logger.log_exception(OZRA_SOURCE_LOCATION);
    }
    EXPECT_THAT(next_body(), MatchesRegex(".*/logger_test.cpp:[0-9]+ Caught exeption"));
    EXPECT_EQ(next_body(), "Unknown exception");
}

TEST_F(LoggerTest, LogErrorPutsTheLocationIntoTheText) {
    const std::string file = std::string(core::constants::source_directory) + "/src/y.cpp";
    const core::source_location location(88, file, "f()");
    const auto refused = boost::system::errc::make_error_code(boost::system::errc::connection_refused);
    m_logger.log_error(refused, location);
    EXPECT_EQ(next_body(), "/src/y.cpp:88: " + refused.message());
}

TEST_F(LoggerTest, DateTimeOverrideAndMillisecondPadding) {
    m_logger.info("fixed").date_time(core::timestamp::from_milliseconds(1764925940005));
    EXPECT_EQ(next_frame(), "&varnokd:main 2025-12-05 09:12:20.005 fixed");
}

TEST_F(LoggerTest, ComponentsHaveTheirOwnPrefixAndIndentation) {
    const auto core_logger = m_logger.component("core");
    auto guard = m_logger.enter_scope("main scope");
    EXPECT_EQ(next_body(), "main scope");
    core_logger->info("from core");
    EXPECT_THAT(next_frame(), MatchesRegex("&varnokd:core " + date_pattern + "from core"));
}

TEST_F(LoggerTest, BadPatternsAndArgumentCountsNeverThrow) {
    EXPECT_NO_THROW(m_logger.info("%1% %2%") % 1);
    EXPECT_NO_THROW(m_logger.info("%1%") % 1 % 2 % 3);
    EXPECT_NO_THROW(m_logger.info("%1$#"));
    m_logger.info("after");
    std::string body;
    do {
        body = next_body();
    } while (body != "after" && body.rfind("<", 0) != 0);
    EXPECT_EQ(body, "after");
}

TEST_F(LoggerTest, WritingToSocketCanBeSwitchedOff) {
    m_logger.set_writing_to_socket(false);
    m_logger.info("hidden");
    m_logger.set_writing_to_socket(true);
    m_logger.info("shown");
    EXPECT_EQ(next_body(), "shown");
}
