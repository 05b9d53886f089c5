#include "json-access.h"

#include <cstdio>
#include <cstring>

#include "core/exception.h"
#include "globals.h"

namespace ozra {

const Json::Value& JsonMember(const Json::Value& value, const char* key) {
    if (!value.isObject()) {
        return Json::Value::nullSingleton();
    }
    const Json::Value* const found = value.find(key, key + std::strlen(key));
    return found != nullptr ? *found : Json::Value::nullSingleton();
}

const Json::Value& JsonElements(const Json::Value& value) {
    static const Json::Value empty(Json::arrayValue);
    return value.isArray() ? value : empty;
}

const Json::Value& JsonList(const std::string& caller, const Json::Value& answer, const char* key) {
    const Json::Value& list = JsonMember(answer, key);
    if (!list.isArray()) {
        OZRA_THROW(caller + ": the answer has no \"" + key + "\" list");
    }
    return list;
}

std::string JsonQuoted(const std::string& text) {
    std::string quoted;
    for (const char c : Quoted(text, '"', '\\')) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted;
}

}  // namespace ozra
