#pragma once

#include <map>
#include <string>

#include "config_parser/dictionary.h"
#include "value_impl.h"

namespace ozra::libs::config {

class dictionary_impl final : public dictionary {
public:
    boost::optional<const value&> get_value(const std::string& key) const override;
    std::vector<std::string> get_keys() const override;

    // Keeps the first value of a key.
    void add(const std::string& key, value_impl item);

private:
    std::map<std::string, value_impl> m_data;
};

}  // namespace ozra::libs::config
