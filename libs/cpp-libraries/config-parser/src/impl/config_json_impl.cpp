#include "config_json_impl.h"

#include <json/reader.h>

#include <boost/exception/info.hpp>
#include <boost/throw_exception.hpp>

#include <stdexcept>

namespace ozra::libs::config {

namespace {

Json::Value parse(std::istream& stream) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    Json::Value document;
    std::string errors;
    if (!Json::parseFromStream(builder, stream, &document, &errors)) {
        throw boost::enable_error_info(std::runtime_error("Cannot parse json: " + errors))
            << boost::throw_function("config_json_impl") << boost::throw_file(__FILE__)
            << boost::throw_line(__LINE__);
    }
    return document;
}

}  // namespace

config_json_impl::config_json_impl(std::istream& stream) {
    const Json::Value document = parse(stream);
    dictionary_impl& root = m_dictionaries.emplace_back();
    if (document.isObject()) {
        add_members(document, root);
    }
}

void config_json_impl::add_members(const Json::Value& json, dictionary_impl& target) {
    for (const std::string& name : json.getMemberNames()) {
        process_value(json[name], name, target);
    }
}

void config_json_impl::process_value(const Json::Value& json, const std::string& key,
                                     dictionary_impl& target) {
    if (json.isObject()) {
        target.add(key, value_impl(add_object(json)));
    } else if (json.isArray()) {
        target.add(key, value_impl(add_array(json)));
    } else {
        target.add(key, value_impl(json));
    }
}

void config_json_impl::process_array(const Json::Value& json, array_storage& target) {
    for (const Json::Value& element : json) {
        if (element.isObject()) {
            target.emplace_back(add_object(element));
        } else if (element.isArray()) {
            target.emplace_back(add_array(element));
        } else {
            target.emplace_back(element);
        }
    }
}

dictionary_impl& config_json_impl::add_object(const Json::Value& json) {
    dictionary_impl& object = m_dictionaries.emplace_back();
    add_members(json, object);
    return object;
}

array_storage& config_json_impl::add_array(const Json::Value& json) {
    array_storage& array = m_arrays.emplace_back();
    process_array(json, array);
    return array;
}

template <>
std::unique_ptr<config> config::create<type::json>(std::istream& stream) {
    return std::make_unique<config_json_impl>(stream);
}

}  // namespace ozra::libs::config
