#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/core.h"
#include "core/logger.h"

namespace core = ozra::libs::core;
using namespace std::chrono_literals;
using time_points = std::vector<core::steady_time_point>;

namespace {

class TimersTest : public ::testing::Test {
protected:
    core::steady_time_point now() const { return m_loop->get_timers().current_time_point(); }

    // Stops the loop once the periodic timer has ticked `count` times.
    core::periodic_timer::callback record_ticks(time_points& ticks, std::size_t count) {
        return [this, &ticks, count](core::steady_time_point tp) {
            ticks.push_back(tp);
            if (ticks.size() == count) {
                m_loop->stop();
            }
        };
    }

    core::logger m_logger{"varnokd", "test"};
    std::unique_ptr<core::core> m_core = core::core::create(m_logger);
    std::unique_ptr<core::events_loop> m_loop = m_core->create_events_loop("main");
};

TEST_F(TimersTest, OneShotTimerPassesItsScheduledTimePointAndStopsWaiting) {
    const auto due = now() + 20ms;
    time_points fired;
    auto timer = m_loop->create_timer(due, "once", [&](core::steady_time_point tp) { fired.push_back(tp); });
    EXPECT_TRUE(timer->is_waiting());
    m_loop->run();
    EXPECT_EQ(fired, time_points{due});
    EXPECT_FALSE(timer->is_waiting());
}

TEST_F(TimersTest, StoppedTimerNeverCalls) {
    bool fired = false;
    auto timer = m_loop->create_timer(now(), "stopped", [&](core::steady_time_point) { fired = true; });
    timer->stop();
    EXPECT_FALSE(timer->is_waiting());
    m_loop->run();
    EXPECT_FALSE(fired);
}

// Both expiries are queued in the same loop turn; whichever runs first re-arms the other for later,
// so the other's queued completion must not call its callback with the old time point.
TEST_F(TimersTest, TimerResetAfterItsCompletionWasQueuedCallsOnlyForTheNewTimePoint) {
    const auto first_due = now() - 10ms;
    const auto second_due = now() - 5ms;
    const auto later = now() + 30ms;
    time_points fired[2];
    std::unique_ptr<core::timer> timers[2];
    for (int i = 0; i < 2; ++i) {
        timers[i] =
            m_loop->create_timer(i == 0 ? first_due : second_due, "pair", [&, i](core::steady_time_point tp) {
                fired[i].push_back(tp);
                if (fired[1 - i].empty()) {
                    timers[1 - i]->reset(later);
                }
            });
    }
    m_loop->run();
    const bool first_ran_first = fired[0] == time_points{first_due} && fired[1] == time_points{later};
    const bool second_ran_first = fired[1] == time_points{second_due} && fired[0] == time_points{later};
    EXPECT_TRUE(first_ran_first || second_ran_first);
}

TEST_F(TimersTest, PeriodicTicksStayOnTheGridAndSkipTicksMissedByABlockedLoop) {
    constexpr auto period = 200ms;
    time_points ticks;
    auto timer = m_loop->create_periodic_timer(period, "grid", [&](core::steady_time_point tp) {
        ticks.push_back(tp);
        if (ticks.size() == 2) {
            std::this_thread::sleep_for(period * 5 / 2);  // busy until 1.5 periods past the next tick
        }
        if (ticks.size() == 4) {
            m_loop->stop();
        }
    });
    m_loop->run();
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[1] - ticks[0], period);
    EXPECT_EQ(ticks[2] - ticks[1], period);  // the late tick carries its scheduled time point
    EXPECT_EQ(ticks[3] - ticks[2], 2 * period);
}

TEST_F(TimersTest, ExecuteNowTicksAtOnceWithTheCreationTime) {
    constexpr auto period = 50ms;
    time_points ticks;
    const auto before = now();
    auto timer = m_loop->create_periodic_timer(period, core::periodic_timer::execute_now{}, "now",
                                               record_ticks(ticks, 2));
    const auto after = now();
    m_loop->run();
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_GE(ticks[0], before);
    EXPECT_LE(ticks[0], after);
    EXPECT_EQ(ticks[1] - ticks[0], period);
}

TEST_F(TimersTest, ExpireNowStartsANewGridAtTheTimeOfTheCall) {
    constexpr auto period = 150ms;
    time_points ticks;
    auto periodic = m_loop->create_periodic_timer(period, "expire", record_ticks(ticks, 3));
    core::steady_time_point before, after;
    auto trigger = m_loop->create_timer(now() + 50ms, "trigger", [&](core::steady_time_point) {
        before = now();
        periodic->expire_now();
        after = now();
    });
    m_loop->run();
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks[0], before);
    EXPECT_LE(ticks[0], after);
    EXPECT_EQ(ticks[1] - ticks[0], period);
    EXPECT_EQ(ticks[2] - ticks[1], period);
}

TEST_F(TimersTest, ResetChangesThePeriodAndRestartsTheGridFromTheCall) {
    constexpr auto new_period = 60ms;
    time_points ticks;
    auto periodic = m_loop->create_periodic_timer(10s, "reset", record_ticks(ticks, 2));
    core::steady_time_point before, after;
    auto trigger = m_loop->create_timer(now() + 20ms, "trigger", [&](core::steady_time_point) {
        before = now();
        periodic->reset(new_period);
        after = now();
    });
    m_loop->run();
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_GE(ticks[0], before + new_period);
    EXPECT_LE(ticks[0], after + new_period);
    EXPECT_EQ(ticks[1] - ticks[0], new_period);
}

TEST_F(TimersTest, StoppedPeriodicTimerTicksAgainAfterRestart) {
    constexpr auto period = 20ms;
    time_points ticks;
    auto periodic = m_loop->create_periodic_timer(period, "restart", record_ticks(ticks, 1));
    periodic->stop();
    bool restarted = false;
    auto trigger = m_loop->create_timer(now() + 3 * period, "trigger", [&](core::steady_time_point) {
        EXPECT_TRUE(ticks.empty());
        restarted = true;
        periodic->restart();
    });
    m_loop->run();
    EXPECT_TRUE(restarted);
    EXPECT_EQ(ticks.size(), 1u);
}

TEST_F(TimersTest, PeriodicTimerDestroyedInItsOwnCallbackTicksNoMore) {
    int ticks = 0;
    std::unique_ptr<core::periodic_timer> periodic;
    periodic = m_loop->create_periodic_timer(5ms, "self", [&](core::steady_time_point) {
        ++ticks;
        periodic.reset();
    });
    auto guard =
        m_loop->create_timer(now() + 100ms, "guard", [&](core::steady_time_point) { m_loop->stop(); });
    m_loop->run();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(periodic, nullptr);
}

}  // namespace
