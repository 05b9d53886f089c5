#include <gtest/gtest.h>

#include <boost/optional/bad_optional_access.hpp>

#include <string>
#include <tuple>
#include <type_traits>

#include "config_parser/result.h"

namespace cfg = ozra::libs::config;

namespace {

cfg::result<int> failed(const std::string& reason) {
    return cfg::error_reason{reason};
}

}  // namespace

TEST(ResultTest, HoldsAValueOrAReason) {
    const cfg::result<int> good(5);
    EXPECT_TRUE(good.ok());
    EXPECT_EQ(*good.try_get(), 5);
    EXPECT_EQ(good.value(), 5);
    EXPECT_EQ(good.reason(), "");

    const cfg::result<int> bad = failed("why");
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.try_get(), nullptr);
    EXPECT_EQ(bad.reason(), "why");
    try {
        bad.value();
        FAIL() << "no exception";
    } catch (const boost::bad_optional_access& e) {
        EXPECT_STREQ(e.what(), "Attempted to access the value of an uninitialized optional object.");
    }
}

TEST(ResultTest, ChainsJoinValuesIntoOneFlatTuple) {
    const auto joined =
        cfg::result<int>(1) + cfg::result<std::string>(std::string("two")) + cfg::result<bool>(true);
    static_assert(std::is_same_v<std::decay_t<decltype(joined.value())>, std::tuple<int, std::string, bool>>);
    ASSERT_TRUE(joined.ok());
    EXPECT_EQ(joined.value(), std::make_tuple(1, std::string("two"), true));
}

TEST(ResultTest, ChainsCollectEveryReasonInOrder) {
    EXPECT_EQ((failed("a") + failed("b") + failed("c")).reason(), "a\nb\nc");
    EXPECT_EQ((cfg::result<int>(1) + failed("b")).reason(), "b");
    EXPECT_EQ((failed("a") + cfg::result<int>(2)).reason(), "a");
    EXPECT_EQ((failed("a") + cfg::result<int>(2) + failed("c") + cfg::result<int>(4)).reason(), "a\nc");
}
