#include "simulator/json_node.h"

#include "simulator/scenario_reader.h"

#include <algorithm>

namespace varnok::test_tools {

json_node::json_node(const Json::Value& value, std::string source, std::string path)
    : m_value(&value), m_source(std::move(source)), m_path(std::move(path)) {}

void json_node::fail(const std::string& problem) const {
    throw scenario_error(m_source + ": " + (m_path.empty() ? "top level" : m_path) + ": " + problem);
}

bool json_node::has(const char* name) const {
    return m_value->isObject() && m_value->isMember(name);
}

json_node json_node::member(const char* name) const {
    if (!m_value->isObject()) {
        fail("expected an object");
    }
    json_node child((*m_value)[name], m_source, m_path.empty() ? name : m_path + "." + name);
    if (child.m_value->isNull()) {
        child.fail("missing");
    }
    return child;
}

void json_node::expect_object(std::initializer_list<const char*> names) const {
    if (!m_value->isObject()) {
        fail("expected an object");
    }
    for (const auto& name : m_value->getMemberNames()) {
        if (std::none_of(names.begin(), names.end(), [&](const char* known) { return name == known; })) {
            json_node((*m_value)[name], m_source, m_path.empty() ? name : m_path + "." + name)
                .fail("unknown member");
        }
    }
}

std::vector<json_node> json_node::elements() const {
    if (!m_value->isArray()) {
        fail("expected an array");
    }
    std::vector<json_node> nodes;
    for (Json::ArrayIndex i = 0; i < m_value->size(); ++i) {
        nodes.emplace_back((*m_value)[i], m_source, m_path + "[" + std::to_string(i) + "]");
    }
    return nodes;
}

std::string json_node::text() const {
    if (!m_value->isString()) {
        fail("expected a string");
    }
    return m_value->asString();
}

bool json_node::flag() const {
    if (!m_value->isBool()) {
        fail("expected true or false");
    }
    return m_value->asBool();
}

std::int64_t json_node::integer(std::int64_t min, std::int64_t max) const {
    if (!m_value->isIntegral() || m_value->asInt64() < min || m_value->asInt64() > max) {
        fail("expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return m_value->asInt64();
}

double json_node::seconds() const {
    if (!m_value->isNumeric() || m_value->asDouble() < 0) {
        fail("expected a number of seconds, not negative");
    }
    return m_value->asDouble();
}

std::vector<std::string> json_node::texts() const {
    std::vector<std::string> result;
    for (const auto& element : elements()) {
        result.push_back(element.text());
    }
    return result;
}

std::string json_node::text_or(const char* name, const std::string& fallback) const {
    return has(name) ? member(name).text() : fallback;
}

bool json_node::flag_or(const char* name, bool fallback) const {
    return has(name) ? member(name).flag() : fallback;
}

std::int64_t json_node::integer_or(const char* name, std::int64_t min, std::int64_t max,
                                   std::int64_t fallback) const {
    return has(name) ? member(name).integer(min, max) : fallback;
}

double json_node::seconds_or(const char* name, double fallback) const {
    return has(name) ? member(name).seconds() : fallback;
}

std::vector<std::string> json_node::texts_or_empty(const char* name) const {
    return has(name) ? member(name).texts() : std::vector<std::string>{};
}

}  // namespace varnok::test_tools
