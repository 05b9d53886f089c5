#include "core/redis/reply_type.h"

#include "core/exception.h"

namespace ozra::libs::core::redis {

std::string_view to_string(reply_type type) {
    switch (type) {
        case reply_type::STRING:
            return "string";
        case reply_type::ARRAY:
            return "array";
        case reply_type::INTEGER:
            return "integer";
        case reply_type::NIL:
            return "nil";
        case reply_type::STATUS:
            return "status";
        case reply_type::ERROR:
            return "error";
        case reply_type::_count:
            break;
    }
    OZRA_THROW("Unknown enumeration value");
}

}  // namespace ozra::libs::core::redis
