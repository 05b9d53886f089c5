#include <condition_variable>
#include <mutex>
#include <sstream>
#include <utility>

#include "core/lifetime.h"
#include "core/version.h"
#include "test_support.h"

namespace core = ozra::libs::core;

TEST(SourceLocation, ShortFileDropsTheSourceDirectoryAndDefaultsDescribeSafely) {
    const int line = __LINE__ + 1;
    const auto location = OZRA_SOURCE_LOCATION;
    EXPECT_EQ(location.line(), line);
    EXPECT_EQ(std::string(location.short_file()),
              std::string(__FILE__).substr(core::constants::source_directory.size()));
    EXPECT_EQ(location.short_file().substr(0, 1), "/");
    const std::string_view unknown = "unknown file";
    const auto prefix = core::constants::source_directory.size();
    const std::string expected = prefix > unknown.size() ? "" : std::string(unknown.substr(prefix));
    std::ostringstream text;
    core::located_exception(core::source_location()).describe(text);
    EXPECT_EQ(text.str(), expected + ":0");
}

TEST(SourceLocation, ShortFunction) {
    for (const auto& [function, expected] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"void ozra::kelt::initialize()", "ozra::kelt::initialize"},
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

namespace {

// An object with a lifetime; its other member goes after the lifetime, as in the adapters, and tells when.
struct living {
    struct member {
        ~member() {
            const std::lock_guard lock(*mutex);
            *gone = true;
            changed->notify_all();
        }
        std::mutex* mutex;
        bool* gone;
        std::condition_variable* changed;
    } other;
    core::lifetime life;
};

}  // namespace

TEST(Lifetime, DestructionOnAnotherThreadWaitsForAHeldCompletion) {
    std::mutex mutex;
    bool gone = false;
    std::condition_variable changed;
    std::unique_ptr<living> object(new living{{&mutex, &gone, &changed}, {}});
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
        std::unique_lock lock(mutex);
        EXPECT_FALSE(changed.wait_for(lock, std::chrono::milliseconds(200), [&gone] { return gone; }));
    }
    destroyer.join();
    EXPECT_TRUE(gone);
    EXPECT_FALSE(token.lock());
}
