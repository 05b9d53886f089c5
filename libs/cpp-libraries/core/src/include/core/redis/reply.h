#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/iteration_result.h"
#include "core/redis/reply_type.h"

struct redisReply;

namespace ozra::libs::core::redis {

class reply_array;

// A view of one node of a hiredis reply tree.
class reply_element {
public:
    explicit reply_element(const redisReply* node) : m_node(node) {}
    virtual ~reply_element() = default;

    reply_type get_type() const;
    // The text of a STRING, STATUS or ERROR reply; raises for other types.
    std::string to_string() const;
    std::string_view as_string_view() const;
    // Empty when the reply carries no text.
    std::optional<std::string_view> try_string_view() const;
    // The value of an INTEGER reply, or the text converted to a number.
    long long to_long_long() const;
    int to_int() const;
    reply_array as_array() const;

protected:
    const redisReply* m_node;
};

// Owns a hiredis reply tree.
class reply final : public reply_element {
public:
    explicit reply(redisReply* tree) : reply_element(tree) {}
    ~reply() override;
    reply(reply&& other) noexcept;
    reply& operator=(reply&& other) noexcept;
    reply(const reply&) = delete;
    reply& operator=(const reply&) = delete;
};

class reply_array {
public:
    reply_array(redisReply* const* elements, std::size_t size) : m_elements(elements), m_size(size) {}

    std::size_t size() const { return m_size; }
    reply_element operator[](std::size_t index) const;
    // The callback returns false to stop the visit.
    iteration_result for_each_element(const std::function<bool(const reply_element&)>& callback) const;

private:
    redisReply* const* m_elements;
    std::size_t m_size;
};

}  // namespace ozra::libs::core::redis
