#include "core/json.h"

#include <json/reader.h>

#include <memory>

namespace ozra::libs::core::json {

parse_result try_parse(std::string_view text) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    parse_result parsed;
    parsed.ok = reader->parse(text.data(), text.data() + text.size(), &parsed.result, &parsed.error);
    if (!parsed.ok) {
        parsed.result = Json::Value();
    } else {
        parsed.error.clear();
    }
    return parsed;
}

}  // namespace ozra::libs::core::json
