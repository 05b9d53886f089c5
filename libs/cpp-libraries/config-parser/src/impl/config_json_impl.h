#pragma once

#include <json/value.h>

#include <istream>
#include <list>

#include "config_parser/config.h"
#include "dictionary_impl.h"

namespace ozra::libs::config {

// The tree of a JSON document. Lists keep every dictionary and array at its address while more are added.
class config_json_impl final : public config {
public:
    explicit config_json_impl(std::istream& stream);

    const dictionary& get_root() const override { return m_dictionaries.front(); }

private:
    void add_members(const Json::Value& json, dictionary_impl& target);
    void process_value(const Json::Value& json, const std::string& key, dictionary_impl& target);
    void process_array(const Json::Value& json, array_storage& target);
    dictionary_impl& add_object(const Json::Value& json);
    array_storage& add_array(const Json::Value& json);

    std::list<dictionary_impl> m_dictionaries;
    std::list<array_storage> m_arrays;
};

}  // namespace ozra::libs::config
