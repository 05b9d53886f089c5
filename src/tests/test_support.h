#pragma once

#include <json/value.h>

#include <chrono>
#include <functional>
#include <string>

#include "core/exception.h"

namespace ozra::tests {

// The parsed JSON text; a test failure and null when it is no valid JSON.
Json::Value ParseJson(const std::string& text);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// Checks the condition every 20 ms until it holds; false when it does not by the deadline.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::seconds deadline = std::chrono::seconds(30));

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
