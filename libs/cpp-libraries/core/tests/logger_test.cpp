#include <boost/format.hpp>
#include <boost/system/error_code.hpp>

#include <unistd.h>

#include <complex>
#include <cstdint>
#include <limits>
#include <locale>
#include <regex>
#include <set>
#include <string_view>

#include "core/line_format.h"
#include "core/version.h"
#include "test_support.h"

namespace core = ozra::libs::core;
using ::testing::MatchesRegex;

const std::string date_pattern = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}[.][0-9]{3} ";

class LoggerTest : public ::testing::Test {
protected:
    // The text of the next line after its "&varnokd:<component> " prefix and its date.
    std::string next_body() {
        const std::string line = m_collector.next_line();
        std::smatch parts;
        return std::regex_match(line, parts, m_line) ? parts[1].str() : "<unexpected line: " + line + ">";
    }

    const std::regex m_line{"&varnokd:[a-z]+ " + date_pattern + "(.*)"};
    core::logger m_logger{"varnokd", "main"};
    core::testing::log_collector m_collector{m_logger};
};

TEST_F(LoggerTest, LineForms) {
    const std::string file = std::string(core::constants::source_directory) + "/src/x.cpp";
    const core::source_location location(88, file, "void ozra::kelt::run(int)");
    const auto refused = boost::system::errc::make_error_code(boost::system::errc::connection_refused);
    // What a row raises is logged as the exception.
    for (const auto& [log, expected] : std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] { m_logger.debug("value %1% and %2$#x") % 7 % 255; }, "value 7 and 0xff"},
             {[&] { m_logger.enter_scope(location); }, "/src/x.cpp:88"},
             {[&] { m_logger.enter_scope(location, "name"); }, "/src/x.cpp:88 (name)"},
             {[&] { m_logger.enter_function(location); }, "void ozra::kelt::run(int)"},
             {[&] { m_logger.enter_function_short(location, "text"); }, "ozra::kelt::run: text"},
             {[&] { m_logger.info("body").location(location).short_function(location); },
              "/src/x.cpp:88 ozra::kelt::run: body"},
             {[&] { m_logger.log_error(refused, location); }, "/src/x.cpp:88: " + refused.message()},
             {[&] { throw core::exception("bad thing", location); }, "/src/x.cpp:88 bad thing"},
             {[] { throw std::runtime_error("plain"); }, "std::exception::what(): plain"},
             {[] { throw 5; }, "Unknown exception"}}) {
        try {
            log();
        } catch (...) {
            m_logger.log_exception();
        }
        EXPECT_EQ(next_body(), expected);
    }
    for (const auto& [milliseconds, text] :
         std::vector<std::pair<std::int64_t, std::string>>{{1764925940005, "2025-12-05 09:12:20.005"},
                                                           {1764925940999, "2025-12-05 09:12:20.999"},
                                                           {1764925941120, "2025-12-05 09:12:21.120"},
                                                           {-1500, "1969-12-31 23:59:58.500"}}) {
        m_logger.component("core")->info("fixed").date_time(core::timestamp::from_milliseconds(milliseconds));
        EXPECT_EQ(m_collector.next_line(), "&varnokd:core " + text + " fixed");
    }
}

// The system log copy on stderr is indented in debug mode only; the socket's lines always are.
TEST_F(LoggerTest, NestedScopesIndentUntilTheirGuardsGo) {
    m_logger.set_debug(true);
    {
        auto outer = m_logger.enter_scope("outer");
        auto inner = m_logger.enter_scope("inner");
        EXPECT_EQ(next_body(), "outer");
        EXPECT_EQ(next_body(), "    | inner");
        ::testing::internal::CaptureStderr();
        m_logger.info("deep");
        m_logger.set_debug(false);
        m_logger.info("flat");
        m_logger.debug("filtered");
        m_logger.set_writing_to_socket(false);
        m_logger.info("stderr only");
        m_logger.set_writing_to_socket(true);
        EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                    MatchesRegex("varnokd: " + date_pattern + "        [|] deep\nvarnokd: " + date_pattern +
                                 "flat\nvarnokd: " + date_pattern + "stderr only\n"));
        EXPECT_EQ(next_body(), "        | deep");
        EXPECT_EQ(next_body(), "        | flat");
        EXPECT_EQ(next_body(), "        | filtered");
        EXPECT_EQ(m_logger.make_indent(), "        | ");
    }
    m_logger.info("back");
    EXPECT_EQ(next_body(), "back");
}

// Debug lines are not made while the socket drops them; a collector that comes late gets them again.
TEST(LoggerDebugSocket, ACollectorThatComesAfterTheQueueFilledGetsNewDebugLines) {
    const std::string endpoint = "ipc:///tmp/varnok-logger-test-" + std::to_string(getpid()) + ".ipc";
    core::logger logger{"varnokd", "main"};
    logger.connect(endpoint);
    for (int line = 0; line < 3000; ++line) {
        logger.debug("early %1%") % line;
    }
    zmq::context_t context;
    zmq::socket_t collector(context, zmq::socket_type::pull);
    collector.set(zmq::sockopt::rcvtimeo, 50);
    collector.bind(endpoint);
    bool arrived = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!arrived && std::chrono::steady_clock::now() < deadline) {
        logger.debug("late");
        zmq::message_t frame;
        while (!arrived && collector.recv(frame)) {
            arrived = frame.to_string().find("late") != std::string::npos;
        }
    }
    EXPECT_TRUE(arrived);
}

struct grouped_thousands : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};

// Takes a copy: the pattern cache must not keep views of its callers' patterns.
template <class... Arguments>
void expect_as_boost_format(const std::string pattern, const Arguments&... arguments) {
    boost::format expected;
    expected.exceptions(boost::io::no_error_bits);
    expected.parse(pattern);
    core::line_format actual(pattern);
    (void)(expected % ... % arguments);
    (void)(actual % ... % arguments);
    std::string text;
    actual.append_to(text);
    EXPECT_EQ(text, expected.str()) << "pattern \"" << pattern << "\", locale " << std::locale().name();
}

TEST(LineFormatTest, WritesWhatBoostFormatWrites) {
    const auto original = std::locale::global(std::locale(std::locale::classic(), new grouped_thousands));
    for (const auto& locale : {std::locale::classic(), std::locale()}) {
        std::locale::global(locale);
        for (int pass = 0; pass < 2; ++pass) {
            for (const char* pattern : {"plain text", "%1$#d/%2$#x errorCode: %3$#d",
                                        "%2% before %1% %1$#x %1$x %1$d, 100%% %%1%%%", "%3% alone %10%",
                                        "%1$#", "trailing %1", "trailing %", "%0%", "%s and %1%", "%1$#X",
                                        "%|1$#x|", "%123%", "%1%%2%%3%%4%%5%%6%%7%%8%%9%"}) {
                expect_as_boost_format(pattern);
                expect_as_boost_format(pattern, 7, 255u, -1);
                expect_as_boost_format(pattern, std::numeric_limits<std::int64_t>::min(), short{-2},
                                       1234567ull);
                expect_as_boost_format(pattern, 0, "text", std::string("string"), std::string_view("view"));
                expect_as_boost_format(pattern, 2.5, 'c', true, std::uint8_t{65});
                expect_as_boost_format(pattern, std::complex<double>(1.5, -2), 10,
                                       static_cast<const char*>(nullptr), 11, 12);
            }
        }
    }
    std::locale::global(original);
    for (int built = 0; built < 600; ++built) {
        expect_as_boost_format("built pattern number %1% of many: " + std::to_string(built), built);
    }
}

TEST_F(LoggerTest, ConcurrentThreadsLogWholeLines) {
    std::multiset<std::string> expected, received;
    std::vector<std::thread> workers;
    for (int thread = 0; thread < 4; ++thread) {
        workers.emplace_back([this, thread] {
            for (int line = 0; line < 100; ++line) {
                m_logger.debug("thread %1% line %2$#x") % thread % line;
            }
        });
        for (int line = 0; line < 100; ++line) {
            expected.insert((boost::format("thread %1% line %2$#x") % thread % line).str());
        }
    }
    for (auto& worker : workers) {
        worker.join();
    }
    while (received.size() < expected.size()) {
        received.insert(next_body());
    }
    EXPECT_EQ(received, expected);
}
