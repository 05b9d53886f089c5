#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <json/value.h>

#include <sstream>
#include <stdexcept>
#include <vector>

#include "config_parser/config.h"

namespace cfg = ozra::libs::config;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::unique_ptr<cfg::config> parse(const std::string& text) {
    std::istringstream stream(text);
    return cfg::config::create<cfg::type::json>(stream);
}

std::string parse_error(const std::string& text) {
    try {
        parse(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace

TEST(ConfigParserTest, FindsTypedValuesByPath) {
    const auto document = parse(R"({"server": {"port": 8080, "address": "127.0.0.1"}, "debug": true,
                                    "a": {"b": {"c": 3}}})");
    EXPECT_EQ(document->get_by_path<int>({"server", "port"}).value(), 8080);
    EXPECT_EQ(document->get_by_path<std::string>({"server", "address"}).value(), "127.0.0.1");
    EXPECT_TRUE(document->get_by_path<bool>({"debug"}).value());
    EXPECT_EQ(document->get_by_path<int>({"a", "b", "c"}).value(), 3);
}

TEST(ConfigParserTest, WrongKindsAreReportedLikeMissingFields) {
    const auto document = parse(R"({"server": {"port": "8080", "address": 7}, "debug": 1, "flag": "true"})");
    EXPECT_EQ(document->get_by_path<int>({"server", "port"}).reason(),
              "Can not find field <int>: server.port");
    EXPECT_EQ(document->get_by_path<std::string>({"server", "address"}).reason(),
              "Can not find field <string>: server.address");
    EXPECT_EQ(document->get_by_path<bool>({"debug"}).reason(), "Can not find field <bool>: debug");
    EXPECT_EQ(document->get_by_path<bool>({"flag"}).reason(), "Can not find field <bool>: flag");
    EXPECT_EQ(document->get_by_path<int>({"server", "missing"}).reason(),
              "Can not find field <int>: server.missing");
}

TEST(ConfigParserTest, NamesTheFirstMissingObjectOnThePath) {
    const auto document = parse(R"({"srv": {}, "a": {"x": 1}, "s": "text"})");
    EXPECT_EQ(document->get_by_path<std::string>({"server", "address"}).reason(),
              "Can not find object <object>: server, path: server.address");
    EXPECT_EQ(document->get_by_path<int>({"a", "b", "c"}).reason(),
              "Can not find object <object>: a.b, path: a.b.c");
    EXPECT_EQ(document->get_by_path<int>({"a", "x", "c"}).reason(),
              "Can not find object <object>: a.x, path: a.x.c");
    EXPECT_EQ(document->get_by_path<int>({"s", "t"}).reason(), "Can not find object <object>: s, path: s.t");
    EXPECT_EQ(document->get_by_path<int>({}).reason(), "Can not find field <int>: ");
}

TEST(ConfigParserTest, IntegersAcceptRealsWithoutFractionInsideTheSigned32BitRange) {
    const auto document = parse(R"({"whole": 3.0, "half": 3.5, "negative": -7, "largest": 2147483647,
                                    "too_large": 2147483648, "too_small": -2147483649, "huge": 1e300})");
    EXPECT_EQ(document->get_by_path<int>({"whole"}).value(), 3);
    EXPECT_FALSE(document->get_by_path<int>({"half"}).ok());
    EXPECT_EQ(document->get_by_path<int>({"negative"}).value(), -7);
    EXPECT_EQ(document->get_by_path<int>({"largest"}).value(), 2147483647);
    EXPECT_EQ(document->get_by_path<int>({"too_large"}).reason(), "Can not find field <int>: too_large");
    EXPECT_FALSE(document->get_by_path<int>({"too_small"}).ok());
    EXPECT_FALSE(document->get_by_path<int>({"huge"}).ok());
    EXPECT_DOUBLE_EQ(*document->get_root().get<double>("half"), 3.5);
    EXPECT_FALSE(document->get_root().get<double>("missing"));
}

TEST(ConfigParserTest, BuildsNestedArraysAndObjects) {
    const auto document = parse(R"({"list": [1, "two", {"k": true}, [3, 4], null]})");
    const auto list = document->get_root().get_value("list")->as_array();
    ASSERT_TRUE(list);
    std::vector<const cfg::value*> items;
    for (const cfg::value& item : *list) {
        items.push_back(&item);
    }
    ASSERT_EQ(items.size(), 5U);
    EXPECT_EQ(items[0]->as_int(), 1);
    EXPECT_EQ(items[1]->as_string(), std::string("two"));
    ASSERT_TRUE(items[2]->as_object());
    EXPECT_EQ(items[2]->as_object()->get<bool>("k"), true);
    const auto inner = items[3]->as_array();
    ASSERT_TRUE(inner);
    std::vector<int> numbers;
    for (const cfg::value& item : *inner) {
        numbers.push_back(*item.as_int());
    }
    EXPECT_THAT(numbers, ElementsAre(3, 4));
    EXPECT_FALSE(items[4]->as_int() || items[4]->as_bool() || items[4]->as_string() ||
                 items[4]->as_object() || items[4]->as_array());
    EXPECT_FALSE(items[1]->as_array());
    EXPECT_FALSE(document->get_root().get_value("list")->as_string());
}

TEST(ConfigParserTest, KeysAreSortedByteWise) {
    const auto document = parse(R"({"b": 1, "B": 2, "a": {"z": 1, "y": 2}, "_": 3})");
    EXPECT_THAT(document->get_root().get_keys(), ElementsAre("B", "_", "a", "b"));
    EXPECT_THAT(document->get_root().get_value("a")->as_object()->get_keys(), ElementsAre("y", "z"));
}

TEST(ConfigParserTest, DuplicateKeysKeepTheLastOccurrence) {
    EXPECT_EQ(parse(R"({"port": 1, "port": 2})")->get_by_path<int>({"port"}).value(), 2);
}

TEST(ConfigParserTest, ATopLevelValueOtherThanAnObjectGivesAnEmptyRoot) {
    EXPECT_TRUE(parse("[1, 2]")->get_root().get_keys().empty());
    EXPECT_TRUE(parse("7")->get_root().get_keys().empty());
}

TEST(ConfigParserTest, MalformedDocumentsRaiseWithTheParserText) {
    EXPECT_THAT(parse_error(""), StartsWith("Cannot parse json: * Line 1, Column 1"));
    EXPECT_THAT(parse_error("{\"a\": }"), StartsWith("Cannot parse json: "));
    EXPECT_THAT(parse_error("{\"a\": 1"), HasSubstr("Line 1"));
    EXPECT_THAT(parse_error("{} // a comment"), "<no error>");
}

TEST(ConfigParserTest, ParseFailureCarriesItsOrigin) {
    std::istringstream stream("not json");
    try {
        cfg::config::create<cfg::type::json>(stream);
        FAIL() << "no exception";
    } catch (const boost::exception& e) {
        ASSERT_NE(boost::get_error_info<boost::throw_function>(e), nullptr);
        EXPECT_STREQ(*boost::get_error_info<boost::throw_function>(e), "config_json_impl");
        ASSERT_NE(boost::get_error_info<boost::throw_file>(e), nullptr);
        EXPECT_THAT(*boost::get_error_info<boost::throw_file>(e), HasSubstr("config_json_impl.cpp"));
    }
}
