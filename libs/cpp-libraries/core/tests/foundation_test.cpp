#include <future>
#include <sstream>
#include <utility>

#include "core/lifetime.h"
#include "core/version.h"
#include "test_support.h"

namespace core = ozra::libs::core;

TEST(SourceLocation, ShortFileDropsTheSourceDirectoryAndDefaultsDescribeSafely) {
    EXPECT_EQ(std::string(OZRA_SOURCE_LOCATION.short_file()),
              std::string(__FILE__).substr(core::constants::source_directory.size()));
    std::ostringstream text;  // the default file name may be shorter than the source directory
    core::located_exception(core::source_location()).describe(text);
    EXPECT_THAT(text.str(), ::testing::EndsWith(":0"));
}

TEST(SourceLocation, ShortFunction) {
    for (const auto& [function, expected] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"int main(int, char**)", "int main(int, char**)"},
             {"no parenthesis here", "no parenthesis here"},
             {"f()", "f()"},
             {"std::string ozra::a::b(std::map<ozra::x, int>)", "ozra::a::b"}}) {
        EXPECT_EQ(core::source_location(1, "f", function).short_function(), expected) << function;
    }
}

TEST(Exceptions, WhatCarriesTheLocationAndChecksNameTheCondition) {
    const int line = __LINE__ + 2;
    try {
        OZRA_THROW("it broke");
    } catch (const core::exception& e) {
        EXPECT_EQ(e.what(), std::string(e.get_source_location().short_file()) + ":" + std::to_string(line) +
                                " it broke");
    }
    const int value = 3;
    EXPECT_EQ(core::testing::raised_text([&] { OZRA_CHECK(value == 4); }), "check failed: value == 4");
}

TEST(Lifetime, DestructionOnAnotherThreadWaitsForAHeldCompletion) {
    struct living {
        std::shared_ptr<void> other;  // goes after the lifetime, as the adapters' other members do
        core::lifetime life;
    };
    std::promise<void> gone;
    const std::future<void> destroyed = gone.get_future();
    auto object = std::make_unique<living>();
    object->other = std::shared_ptr<void>(nullptr, [&gone](void*) { gone.set_value(); });
    const core::lifetime::token token = object->life.track();
    std::thread destroyer;
    {
        const core::lifetime::hold held = token.lock();
        ASSERT_TRUE(held);
        destroyer = std::thread([&object] { object.reset(); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!token.expired() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_TRUE(token.expired());
        // The destroyer has started; its wait for the hold would be cut short by a missing hold.
        EXPECT_EQ(destroyed.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    }
    destroyer.join();
    EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(token.lock());
}
