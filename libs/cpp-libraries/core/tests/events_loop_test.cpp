#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/logger.h"
#include "test_support.h"

namespace core = ozra::libs::core;
using namespace std::chrono_literals;

namespace {

class EventsLoopTest : public ::testing::Test {
protected:
    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
};

TEST_F(EventsLoopTest, PostedFunctionsRunInOrderAndRunReturnsWithoutWork) {
    std::vector<int> order;
    m_loop->post([&] {
        order.push_back(1);
        m_loop->post([&] { order.push_back(3); });
    });
    m_loop->post([&] { order.push_back(2); });
    m_loop->run();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(m_loop->is_stopped());
}

TEST_F(EventsLoopTest, StopFromAnotherThreadEndsRunKeptAliveByWork) {
    auto work = m_loop->create_work();
    std::atomic<bool> ran{false};
    m_loop->post([&] { ran = true; });
    std::thread stopper([&] {
        while (!ran) {
            std::this_thread::yield();
        }
        m_loop->stop();
    });
    m_loop->run();
    stopper.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(m_loop->is_stopped());
}

TEST_F(EventsLoopTest, DestroyingTheLastWorkLetsRunReturn) {
    auto work = m_loop->create_work();
    std::thread releaser([&] { m_loop->post([&] { work.reset(); }); });
    releaser.join();
    m_loop->run();
    EXPECT_EQ(work, nullptr);
}

TEST_F(EventsLoopTest, ThrowingHandlerLeavesRun) {
    m_loop->post([] { throw std::runtime_error("boom"); });
    EXPECT_THROW(m_loop->run(), std::runtime_error);
}

TEST_F(EventsLoopTest, RunCatchExceptionsLogsEachThrowOnTwoLinesAndKeepsDispatching) {
    core::testing::log_collector log(m_logger);
    std::vector<int> order;
    m_loop->post([&] {
        order.push_back(1);
        throw std::runtime_error("first");
    });
    m_loop->post([&] {
        order.push_back(2);
        throw core::exception("second", OZRA_SOURCE_LOCATION);
    });
    m_loop->post([&] { order.push_back(3); });
    m_loop->run_catch_exceptions(OZRA_SOURCE_LOCATION);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    using ::testing::HasSubstr;
    EXPECT_THAT(log.next_line(), HasSubstr("Caught exeption"));
    EXPECT_THAT(log.next_line(), HasSubstr("first"));
    EXPECT_THAT(log.next_line(), HasSubstr("Caught exeption"));
    EXPECT_THAT(log.next_line(), HasSubstr("second"));
}

TEST_F(EventsLoopTest, DestructionRunsATimerThatBecomesDueSoon) {
    std::vector<core::timer::time_point> fired;
    const auto due = std::chrono::steady_clock::now() + 50ms;
    std::unique_ptr<core::timer> timer;
    timer = m_loop->create_timer(due, "soon", [&](core::timer::time_point tp) {
        fired.push_back(tp);
        timer.reset();
    });
    m_loop.reset();
    EXPECT_EQ(fired, (std::vector<core::timer::time_point>{due}));
    EXPECT_EQ(timer, nullptr);
}

TEST_F(EventsLoopTest, DestructionRunsPendingPostedWork) {
    bool ran = false;
    m_loop->post([&] { ran = true; });
    m_loop.reset();
    EXPECT_TRUE(ran);
}

TEST_F(EventsLoopTest, SigtermStopsRunAndIsReported) {
    auto handle = m_loop->stop_on_signals();
    EXPECT_FALSE(handle->signal_is_received());
    auto work = m_loop->create_work();
    m_loop->post([] { kill(getpid(), SIGTERM); });
    m_loop->run();
    EXPECT_TRUE(m_loop->is_stopped());
    EXPECT_TRUE(handle->signal_is_received());
}

TEST_F(EventsLoopTest, HandleDestroyedWithoutSignalEndsItsThread) {
    auto handle = m_loop->stop_on_signals();
    handle.reset();
    bool ran = false;
    m_loop->post([&] { ran = true; });
    m_loop->run();
    EXPECT_TRUE(ran);
}

TEST(EventsLoopSignalTest, SecondSigtermGetsTheDefaultAction) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            core::logger logger("varnokd", "test");
            auto owner = core::core::create(logger);
            auto loop = owner->create_events_loop("main");
            auto handle = loop->stop_on_signals();
            auto work = loop->create_work();
            loop->post([] { kill(getpid(), SIGTERM); });
            loop->run();
            while (true) {
                kill(getpid(), SIGTERM);
                std::this_thread::sleep_for(10ms);
            }
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
