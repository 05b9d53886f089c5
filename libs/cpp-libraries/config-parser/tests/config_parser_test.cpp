#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/optional/bad_optional_access.hpp>

#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "config_parser/config.h"
#include "config_parser/result.h"

namespace cfg = ozra::libs::config;
using ::testing::ElementsAre;

std::unique_ptr<cfg::config> parse(const std::string& text) {
    std::istringstream stream(text);
    return cfg::config::create<cfg::type::json>(stream);
}

cfg::result<int> failed(const std::string& reason) {
    return cfg::error_reason{reason};
}

// "=<value>" for a value found, the reason otherwise.
template <class T>
std::string look_up(const cfg::config& document, const std::vector<std::string>& keys) {
    const auto& k = keys;
    const cfg::result<T> found = k.empty()       ? document.get_by_path<T>({})
                                 : k.size() == 1 ? document.get_by_path<T>({k[0]})
                                 : k.size() == 2 ? document.get_by_path<T>({k[0], k[1]})
                                                 : document.get_by_path<T>({k[0], k[1], k[2]});
    if (!found.ok()) {
        return found.reason();
    }
    std::ostringstream text;
    text << std::boolalpha << "=" << found.value();
    return text.str();
}

// Integers take reals without a fraction, inside the signed 32-bit range; a value of another kind is missing.
TEST(ConfigParserTest, LooksUpTypedValuesByPath) {
    const auto document = parse(R"({"server": {"port": 8080, "address": "127.0.0.1", "seven": 7},
        "debug": true, "flag": "true", "a": {"b": {"c": 3}}, "s": "text", "whole": 3.0,
        "half": 3.5, "too_large": 2147483648, "port": 1, "port": 2})");
    const auto i = look_up<int>, s = look_up<std::string>, b = look_up<bool>, d = look_up<double>;
    for (const auto& [look, keys, expected] :
         std::vector<std::tuple<decltype(i), std::vector<std::string>, std::string>>{
             {i, {"server", "port"}, "=8080"},
             {s, {"server", "address"}, "=127.0.0.1"},
             {b, {"debug"}, "=true"},
             {i, {"a", "b", "c"}, "=3"},
             {i, {"port"}, "=2"},
             {s, {"server", "seven"}, "Can not find field <string>: server.seven"},
             {b, {"flag"}, "Can not find field <bool>: flag"},
             {i, {"server", "missing"}, "Can not find field <int>: server.missing"},
             {i, {}, "Can not find field <int>: "},
             {i, {"a", "y", "c"}, "Can not find object <object>: a.y, path: a.y.c"},
             {i, {"s", "t"}, "Can not find object <object>: s, path: s.t"},
             {i, {"whole"}, "=3"},
             {i, {"half"}, "Can not find field <int>: half"},
             {d, {"half"}, "=3.5"},
             {d, {"s"}, "Can not find field <double>: s"},
             {i, {"too_large"}, "Can not find field <int>: too_large"}}) {
        EXPECT_EQ(look(*document, keys), expected);
    }
}

TEST(ConfigParserTest, BuildsNestedArraysAndObjectsWithKeysSortedByteWise) {
    const auto document =
        parse(R"({"list": [1, "two", {"k": true}, [3, 4], null], "B": 2, "_": {"z": 1, "y": 2}})");
    const cfg::dictionary& root = document->get_root();
    EXPECT_THAT(root.get_keys(), ElementsAre("B", "_", "list"));
    EXPECT_THAT(root.get_value("_")->as_object()->get_keys(), ElementsAre("y", "z"));
    const auto list = root.get_value("list")->as_array();
    const std::vector<std::reference_wrapper<const cfg::value>> items(list->begin(), list->end());
    ASSERT_EQ(items.size(), 5U);
    EXPECT_EQ(items[0].get().as_int(), 1);
    EXPECT_EQ(items[1].get().as_string(), std::string("two"));
    EXPECT_FALSE(items[1].get().as_array());
    EXPECT_EQ(items[2].get().as_object()->get<bool>("k"), true);
    std::vector<int> numbers;
    const auto inner = items[3].get().as_array();
    for (const cfg::value& item : *inner) {
        numbers.push_back(*item.as_int());
    }
    EXPECT_THAT(numbers, ElementsAre(3, 4));
    const cfg::value& null = items[4];
    EXPECT_FALSE(null.as_int() || null.as_bool() || null.as_string() || null.as_double() ||
                 null.as_object() || null.as_array() || root.get_value("list")->as_string() ||
                 root.get<double>("missing"));
}

TEST(ConfigParserTest, TopLevelValuesAndMalformedDocuments) {
    EXPECT_TRUE(parse("[1, 2]")->get_root().get_keys().empty());
    EXPECT_THROW(parse("{\"a\": 1"), std::runtime_error);
}

TEST(ResultTest, ChainsJoinValuesIntoOneFlatTupleOrCollectEveryReasonInOrder) {
    const auto joined =
        cfg::result<int>(1) + cfg::result<std::string>(std::string("two")) + cfg::result<bool>(true);
    static_assert(std::is_same_v<std::decay_t<decltype(joined.value())>, std::tuple<int, std::string, bool>>);
    EXPECT_EQ(joined.value(), std::make_tuple(1, std::string("two"), true));
    EXPECT_THROW(failed("a").value(), boost::bad_optional_access);
    EXPECT_EQ((failed("a") + failed("b") + failed("c")).reason(), "a\nb\nc");
    EXPECT_EQ((cfg::result<int>(1) + failed("b")).reason(), "b");
    EXPECT_EQ((failed("a") + cfg::result<int>(2) + failed("c") + cfg::result<int>(4)).reason(), "a\nc");
}
