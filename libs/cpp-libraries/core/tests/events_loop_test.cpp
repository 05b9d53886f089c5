#include <signal.h>
#include <unistd.h>

#include "test_support.h"

namespace core = ozra::libs::core;
using namespace std::chrono_literals;
using core::testing::run_until;
using time_points = std::vector<core::steady_time_point>;

using EventsLoopTest = core::testing::loop_test;

TEST_F(EventsLoopTest, RunCatchExceptionsLogsEachThrowAndKeepsDispatching) {
    core::testing::log_collector log(m_logger);
    bool last_ran = false;
    m_loop->post([] { throw std::runtime_error("first"); });
    m_loop->post([] { throw core::exception("second", OZRA_SOURCE_LOCATION); });
    m_loop->post([&] { last_ran = true; });
    const auto location = OZRA_SOURCE_LOCATION;
    m_loop->run_catch_exceptions(location);
    EXPECT_TRUE(last_ran);
    const std::string where =
        std::string(location.short_file()) + ":" + std::to_string(location.line()) + " ";
    for (const char* text : {"first", "second"}) {
        EXPECT_THAT(log.next_line(), ::testing::HasSubstr(where));
        EXPECT_THAT(log.next_line(), ::testing::HasSubstr(text));
    }
}

// The signal arrives on the handle's own thread, which stops the loop that work keeps running; a second
// signal gets the default action.
TEST_F(EventsLoopTest, SigtermStopsRunAndASecondOneKills) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto handle = m_loop->stop_on_signals();
            const bool early = handle->signal_is_received();
            auto work = m_loop->create_work();
            m_loop->post([] { kill(getpid(), SIGTERM); });
            m_loop->run();
            if (early || !m_loop->is_stopped() || !handle->signal_is_received()) {
                _exit(1);
            }
            while (true) {
                kill(getpid(), SIGTERM);
                std::this_thread::sleep_for(10ms);
            }
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

class TimersTest : public core::testing::loop_test {
protected:
    core::steady_time_point now() const { return m_loop->get_timers().current_time_point(); }

    // Dispatches until a one-shot timer due after `delay` has fired.
    void run_for(std::chrono::nanoseconds delay) {
        bool passed = false;
        auto window =
            m_loop->create_timer(now() + delay, "window", [&](core::steady_time_point) { passed = true; });
        ASSERT_TRUE(run_until(*m_loop, [&] { return passed; }));
    }

    core::timer::callback record() {
        return [this](core::steady_time_point tp) { m_ticks.push_back(tp); };
    }

    time_points m_ticks;
};

// Destroying the loop runs the pending work and a timer that becomes due soon, which passes its scheduled
// time point; a stopped timer never fires.
TEST_F(TimersTest, DestructionRunsPendingWorkAndATimerThatBecomesDueSoonUnlessStopped) {
    bool posted_ran = false;
    m_loop->post([&] { posted_ran = true; });
    auto stopped = m_loop->create_timer(now(), "stopped", record());
    stopped->stop();
    EXPECT_FALSE(stopped->is_waiting());
    const auto due = now() + 50ms;
    std::unique_ptr<core::timer> timer = m_loop->create_timer(due, "soon", [&](core::steady_time_point tp) {
        EXPECT_FALSE(timer->is_waiting());
        m_ticks.push_back(tp);
        timer.reset();
        stopped.reset();
    });
    EXPECT_TRUE(timer->is_waiting());
    m_loop.reset();
    EXPECT_TRUE(posted_ran);
    EXPECT_EQ(m_ticks, time_points{due});
}

// Both expiries are queued in the same loop turn; whichever runs first re-arms the other for later,
// so the other's queued completion must not call its callback with the old time point.
TEST_F(TimersTest, TimerResetAfterItsCompletionWasQueuedCallsOnlyForTheNewTimePoint) {
    const core::steady_time_point due[] = {now() - 10ms, now() - 5ms}, later = now() + 30ms;
    time_points fired[2];
    std::unique_ptr<core::timer> timers[2];
    for (int i = 0; i < 2; ++i) {
        timers[i] = m_loop->create_timer(due[i], "pair", [&, i](core::steady_time_point tp) {
            fired[i].push_back(tp);
            if (fired[1 - i].empty()) {
                timers[1 - i]->reset(later);
            }
        });
    }
    m_loop->run();
    const auto ran_first = [&](int i) {
        return fired[i] == time_points{due[i]} && fired[1 - i] == time_points{later};
    };
    EXPECT_TRUE(ran_first(0) || ran_first(1));
}

// A tick is armed before its callback runs, at the first grid point after the time it is handled. The
// second callback blocks the loop past the next two grid points: the late tick carries its own time point
// and the ones missed meanwhile are skipped. No bound assumes a prompt loop.
TEST_F(TimersTest, PeriodicTicksStayOnTheGridAndSkipTicksMissedByABlockedLoop) {
    constexpr auto period = 40ms;
    time_points called;
    core::steady_time_point unblocked;
    auto timer = m_loop->create_periodic_timer(period, "grid", [&](core::steady_time_point tp) {
        m_ticks.push_back(tp);
        called.push_back(std::chrono::steady_clock::now());
        if (m_ticks.size() == 2) {
            unblocked = called.back() + period * 5 / 2;
            std::this_thread::sleep_until(unblocked);
        }
    });
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_ticks.size() == 4; }));
    for (std::size_t i = 1; i < m_ticks.size(); ++i) {
        EXPECT_GT(m_ticks[i], m_ticks[i - 1]);
        EXPECT_EQ((m_ticks[i] - m_ticks[0]) % period, 0ns);
        EXPECT_LE(m_ticks[i] - period, called[i - 1]);
    }
    EXPECT_LT(m_ticks[2], unblocked);
    EXPECT_GT(m_ticks[3], unblocked);
}

// Starting now and a reset begin a new grid at the time of the call; a stopped timer ticks again after
// restart.
TEST_F(TimersTest, ExecuteNowResetAndRestart) {
    auto before = now();
    auto periodic =
        m_loop->create_periodic_timer(150ms, core::periodic_timer::execute_now{}, "grid", record());
    auto after = now();
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_ticks.size() == 1; }));
    EXPECT_TRUE(m_ticks[0] >= before && m_ticks[0] <= after);
    before = now();
    periodic->reset(60ms);
    after = now();
    ASSERT_TRUE(run_until(*m_loop, [&] { return m_ticks.size() == 3; }));
    EXPECT_TRUE(m_ticks[1] >= before + 60ms && m_ticks[1] <= after + 60ms);
    EXPECT_EQ((m_ticks[2] - m_ticks[1]) % 60ms, 0ns);
    periodic->stop();
    run_for(180ms);
    EXPECT_EQ(m_ticks.size(), 3u);
    periodic->restart();
    EXPECT_TRUE(run_until(*m_loop, [&] { return m_ticks.size() == 4; }));
}

TEST_F(TimersTest, PeriodicTimerDestroyedInItsOwnCallbackTicksNoMore) {
    std::unique_ptr<core::periodic_timer> periodic;
    periodic = m_loop->create_periodic_timer(5ms, "self", [&](core::steady_time_point tp) {
        m_ticks.push_back(tp);
        periodic.reset();
    });
    run_for(100ms);
    EXPECT_EQ(m_ticks.size(), 1u);
}
