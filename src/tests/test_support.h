#pragma once

#include <json/value.h>

#include <string>

#include "core/exception.h"

namespace ozra::tests {

// A complete, valid configuration document with loopback addresses.
Json::Value ValidConfigDocument();

// The parsed JSON text; a test failure and null when it is no valid JSON.
Json::Value ParseJson(const std::string& text);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// A fresh directory under /tmp, removed with its content at the end.
class CTemporaryDirectory {
public:
    CTemporaryDirectory();
    ~CTemporaryDirectory();
    CTemporaryDirectory(const CTemporaryDirectory&) = delete;
    CTemporaryDirectory& operator=(const CTemporaryDirectory&) = delete;

    const std::string& Path() const { return mPath; }

private:
    std::string mPath;
};

// The message of the exception that call raises; "<no exception>" when it raises none.
template <class Call>
std::string RaisedText(Call&& call) {
    try {
        call();
    } catch (const libs::core::exception& e) {
        return e.get_string_error();
    }
    return "<no exception>";
}

}  // namespace ozra::tests
