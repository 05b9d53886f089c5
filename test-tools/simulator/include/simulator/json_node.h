#pragma once

#include <json/value.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace varnok::test_tools {

// A JSON value with its place in a document, for reading with messages that name the member.
class json_node {
public:
    json_node(const Json::Value& value, std::string source, std::string path = "");

    // Raises scenario_error "<source>: <path>: <problem>".
    [[noreturn]] void fail(const std::string& problem) const;

    const Json::Value& value() const { return *m_value; }
    const std::string& path() const { return m_path; }
    bool has(const char* name) const;
    // Another value read as if it stood at this node's place.
    json_node with_value(const Json::Value& value) const { return {value, m_source, m_path}; }
    json_node member(const char* name) const;
    // The object's members must be among the names.
    void expect_object(std::initializer_list<const char*> names) const;
    std::vector<json_node> elements() const;

    std::string text() const;
    bool flag() const;
    std::int64_t integer(std::int64_t min, std::int64_t max) const;
    double seconds() const;  // a number not below 0
    std::vector<std::string> texts() const;

    // The member's value when present, else the fallback.
    std::string text_or(const char* name, const std::string& fallback) const;
    bool flag_or(const char* name, bool fallback) const;
    std::int64_t integer_or(const char* name, std::int64_t min, std::int64_t max,
                            std::int64_t fallback) const;
    double seconds_or(const char* name, double fallback) const;
    std::vector<std::string> texts_or_empty(const char* name) const;

private:
    const Json::Value* m_value;
    std::string m_source;
    std::string m_path;
};

}  // namespace varnok::test_tools
