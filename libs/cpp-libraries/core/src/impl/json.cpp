#include "core/json.h"

#include <json/reader.h>

#include <memory>

namespace ozra::libs::core::json {

namespace {

// A reader is reusable but not shared between threads; building one costs more than a short parse.
Json::CharReader& thread_reader() {
    thread_local const std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    return *reader;
}

}  // namespace

parse_result try_parse(std::string_view text) {
    Json::CharReader& reader = thread_reader();
    parse_result parsed;
    parsed.ok = reader.parse(text.data(), text.data() + text.size(), &parsed.result, &parsed.error);
    if (!parsed.ok) {
        parsed.result = Json::Value();
    } else {
        parsed.error.clear();
    }
    return parsed;
}

}  // namespace ozra::libs::core::json
