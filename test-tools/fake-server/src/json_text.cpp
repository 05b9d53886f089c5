#include "json_text.h"

#include <json/writer.h>

namespace varnok::test_tools {

std::string to_compact_json(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

}  // namespace varnok::test_tools
