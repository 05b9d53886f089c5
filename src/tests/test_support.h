#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "core/exception.h"
#include "core/json.h"

namespace ozra::tests {

// The parsed JSON text; a test failure and null when it is no valid JSON.
inline Json::Value ParseJson(const std::string& text) {
    const auto parsed = libs::core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << text;
    return parsed.result;
}

// Each member of the patch replaces the element's (an object patches the element's object), null removes it.
inline void Patch(Json::Value& element, const Json::Value& patch) {
    for (const std::string& name : patch.getMemberNames()) {
        if (patch[name].isNull()) {
            element.removeMember(name);
        } else if (patch[name].isObject() && element[name].isObject()) {
            Patch(element[name], patch[name]);
        } else {
            element[name] = patch[name];
        }
    }
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Checks the condition every 20 ms until it holds; false when it does not by the deadline.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::seconds deadline = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A fresh directory under /tmp, removed with its content at the end.
class CTemporaryDirectory {
public:
    CTemporaryDirectory() = default;
    CTemporaryDirectory(const CTemporaryDirectory&) = delete;
    ~CTemporaryDirectory() { std::filesystem::remove_all(mPath); }
    const std::string& Path() const { return mPath; }

private:
    std::string mPath = [] {
        char pattern[] = "/tmp/varnok_test.XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
};

}  // namespace ozra::tests
