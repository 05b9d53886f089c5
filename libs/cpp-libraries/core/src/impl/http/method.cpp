#include "core/http/method.h"

#include "core/exception.h"

namespace ozra::libs::core::http {

std::string_view to_string(method value) {
    switch (value) {
        case method::get:
            return "GET";
        case method::post:
            return "POST";
        case method::put:
            return "PUT";
        case method::del:
            return "DELETE";
        case method::_count:
            break;
    }
    OZRA_THROW("Unknown enumeration value");
}

}  // namespace ozra::libs::core::http
