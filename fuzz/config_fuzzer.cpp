// Configuration reader: the input is a configuration file. It goes through the daemon's reader and
// through the reader library's tree, walked completely and looked up by paths of one to three keys.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "config.h"
#include "config_parser/config.h"

namespace {

namespace cfg = ozra::libs::config;

void walk(const cfg::value& value);

void walk(const cfg::dictionary& dictionary) {
    for (const std::string& key : dictionary.get_keys()) {
        const auto value = dictionary.get_value(key);
        if (!value) {
            std::abort();  // a listed key must be found
        }
        walk(*value);
    }
}

void walk(const cfg::value& value) {
    value.as_bool();
    value.as_double();
    value.as_string();
    try {
        value.as_int();
    } catch (const std::exception&) {
        // an integral number outside the 32-bit range
    }
    if (const auto object = value.as_object()) {
        walk(*object);
    }
    if (const auto array = value.as_array()) {
        for (const cfg::value& element : *array) {
            walk(element);
        }
    }
}

void look_up(const cfg::config& document) {
    try {
        const auto combined = document.get_by_path<std::string>({"system", "pidfile"}) +
                              document.get_by_path<bool>({"system", "local_debug"}) +
                              document.get_by_path<int>({"server", "port"}) +
                              document.get_by_path<int>({"a", "b", "c"}) +
                              document.get_by_path<bool>({"debug"});
        if (combined.ok() != combined.reason().empty()) {
            std::abort();  // a result holds either a value or a reason
        }
    } catch (const std::exception&) {
        // an integer outside the 32-bit range
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        std::istringstream stream(text);
        const ozra::config settings(stream);
    } catch (const std::exception&) {
        // an invalid file is reported by the daemon's start-up
    }
    try {
        std::istringstream stream(text);
        const auto document = cfg::config::create<cfg::type::json>(stream);
        walk(document->get_root());
        look_up(*document);
    } catch (const std::exception&) {
        // a document that does not parse
    }
    return 0;
}
