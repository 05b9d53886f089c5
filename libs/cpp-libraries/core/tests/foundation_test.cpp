#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/exception.h"
#include "core/json.h"
#include "core/lifetime.h"
#include "core/scope_guard.h"
#include "core/source_location.h"
#include "core/version.h"

namespace core = ozra::libs::core;

namespace {

std::string this_file_inside_tree() {
    return std::string(__FILE__).substr(core::constants::source_directory.size());
}

}  // namespace

TEST(SourceLocation, DefaultLocationLosesAsManyCharactersAsTheSourceDirectoryIsLong) {
    const core::source_location location;
    EXPECT_EQ(location.line(), 0);
    EXPECT_EQ(location.file(), "unknown file");
    EXPECT_EQ(location.function(), "unknown function");
    const std::string_view file = "unknown file";
    const auto prefix = core::constants::source_directory.size();
    const std::string expected = prefix > file.size() ? "" : std::string(file.substr(prefix));
    EXPECT_EQ(location.short_file(), expected);
    std::ostringstream text;
    core::located_exception(location).describe(text);
    EXPECT_EQ(text.str(), expected + ":0");
}

TEST(SourceLocation, CapturedLocationIsInsideTheSourceTree) {
    const auto location = OZRA_SOURCE_LOCATION;
    EXPECT_EQ(location.line(), __LINE__ - 1);
    EXPECT_EQ(std::string(location.short_file()), this_file_inside_tree());
    EXPECT_EQ(location.short_file().substr(0, 1), "/");
}

TEST(SourceLocation, ShortFunction) {
    auto short_of = [](std::string_view function) {
        return std::string(core::source_location(1, "f", function).short_function());
    };
    EXPECT_EQ(short_of("void ozra::kelt::initialize()"), "ozra::kelt::initialize");
    EXPECT_EQ(short_of("int main(int, char**)"), "int main(int, char**)");
    EXPECT_EQ(short_of("no parenthesis here"), "no parenthesis here");
    EXPECT_EQ(short_of("f()"), "f()");
    EXPECT_EQ(short_of("std::string ozra::a::b(std::map<ozra::x, int>)"), "ozra::a::b");
}

TEST(Exceptions, DescribeAndWhatCarryLocationAndMessage) {
    const int line = __LINE__ + 2;
    try {
        OZRA_THROW("it broke");
    } catch (const core::exception& e) {
        EXPECT_EQ(e.what(), this_file_inside_tree() + ":" + std::to_string(line) + " it broke");
        EXPECT_EQ(e.get_string_error(), "it broke");
        return;
    }
    FAIL() << "nothing was thrown";
}

TEST(Exceptions, CheckFailedNamesTheCondition) {
    const int value = 3;
    try {
        OZRA_CHECK(value == 4);
    } catch (const core::check_failed_exception& e) {
        EXPECT_EQ(e.get_string_error(), "check failed: value == 4");
        return;
    }
    FAIL() << "nothing was thrown";
}

TEST(ScopeGuard, RunsOnceWhenDestroyedAndMovesWithItsPointer) {
    int runs = 0;
    core::scope_guard moved;
    {
        auto guard = core::execute_on_scope_exit([&runs] { ++runs; });
        moved = std::move(guard);
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 0);
    moved.reset();
    EXPECT_EQ(runs, 1);
}

TEST(Json, TryParse) {
    const auto empty_text = core::json::try_parse("");
    EXPECT_FALSE(empty_text.ok);
    EXPECT_FALSE(empty_text.error.empty());
    EXPECT_TRUE(empty_text.result.isNull());
    const auto with_comment = core::json::try_parse("{\"a\": 1 /* note */}");
    EXPECT_TRUE(with_comment.ok);
    EXPECT_TRUE(with_comment.error.empty());
    EXPECT_EQ(with_comment.result["a"].asInt(), 1);
}

namespace {

// An object with a lifetime; its other member goes after the lifetime, as in the adapters, and tells when.
struct living {
    struct member {
        ~member() {
            std::lock_guard lock(*mutex);
            *gone = true;
            changed->notify_all();
        }
        std::mutex* mutex;
        bool* gone;
        std::condition_variable* changed;
    };

    living(std::mutex& mutex, bool& gone, std::condition_variable& changed)
        : other{&mutex, &gone, &changed} {}

    member other;
    core::lifetime life;
};

}  // namespace

TEST(Lifetime, DestructionOnAnotherThreadWaitsForAHeldCompletion) {
    std::mutex mutex;
    bool gone = false;
    std::condition_variable changed;
    auto object = std::make_unique<living>(mutex, gone, changed);
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

TEST(Lifetime, AGuardedCallMayDestroyItsOwnObjectAndLaterCallsDoNothing) {
    auto life = std::make_unique<core::lifetime>();
    int calls = 0;
    auto call = life->guard([&] {
        ++calls;
        life.reset();
    });
    call();
    call();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(life, nullptr);
}
