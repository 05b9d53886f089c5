#pragma once

#include <json/value.h>

#include <string>

namespace ozra {

// The value of the member key, or null when value is no object or lacks the member.
const Json::Value& JsonMember(const Json::Value& value, const char* key);

// value itself when it is an array, else an empty array.
const Json::Value& JsonElements(const Json::Value& value);

// The array under key of an answer; raises, naming the caller, when the answer has no such list.
const Json::Value& JsonList(const std::string& caller, const Json::Value& answer, const char* key);

// text as a JSON string literal: Quoted with double quote and backslash, control characters as \u00XX.
std::string JsonQuoted(const std::string& text);

}  // namespace ozra
