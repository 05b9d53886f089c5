#include "core/redis/reply.h"

#include <hiredis/hiredis.h>

#include <utility>

#include "core/exception.h"

namespace ozra::libs::core::redis {

namespace {

bool carries_text(reply_type type) {
    return type == reply_type::STRING || type == reply_type::STATUS || type == reply_type::ERROR;
}

}  // namespace

reply_type reply_element::get_type() const {
    return static_cast<reply_type>(m_node->type);
}

std::string reply_element::to_string() const {
    return std::string(as_string_view());
}

std::string_view reply_element::as_string_view() const {
    if (const auto text = try_string_view()) {
        return *text;
    }
    OZRA_THROW("Reply is not string, actual type: " + std::string(redis::to_string(get_type())));
}

std::optional<std::string_view> reply_element::try_string_view() const {
    if (!carries_text(get_type())) {
        return std::nullopt;
    }
    return std::string_view(m_node->str, m_node->len);
}

long long reply_element::to_long_long() const {
    if (get_type() == reply_type::INTEGER) {
        return m_node->integer;
    }
    return std::stoll(to_string());
}

int reply_element::to_int() const {
    return std::stoi(to_string());
}

reply_array reply_element::as_array() const {
    if (get_type() != reply_type::ARRAY) {
        OZRA_THROW("Reply is not array, actual type: " + std::string(redis::to_string(get_type())));
    }
    return reply_array(m_node->element, m_node->elements);
}

reply::~reply() {
    if (m_node != nullptr) {
        freeReplyObject(const_cast<redisReply*>(m_node));
    }
}

reply::reply(reply&& other) noexcept : reply_element(std::exchange(other.m_node, nullptr)) {}

reply& reply::operator=(reply&& other) noexcept {
    std::swap(m_node, other.m_node);
    return *this;
}

reply_element reply_array::operator[](std::size_t index) const {
    if (index >= m_size) {
        OZRA_THROW("Index out of range");
    }
    return reply_element(m_elements[index]);
}

iteration_result reply_array::for_each_element(
    const std::function<bool(const reply_element&)>& callback) const {
    for (std::size_t index = 0; index < m_size; ++index) {
        if (!callback(reply_element(m_elements[index]))) {
            return iteration_result::interrupted;
        }
    }
    return iteration_result::finished;
}

}  // namespace ozra::libs::core::redis
