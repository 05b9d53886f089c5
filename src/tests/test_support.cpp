#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/json.h"

namespace ozra::tests {

Json::Value ValidConfigDocument() {
    Json::Value document;
    document["system"]["pidfile"] = "/tmp/varnok.pid";
    document["system"]["debug_port"] = "tcp://127.0.0.1:5560";
    document["system"]["local_debug"] = false;
    document["proxy"]["address"] = "127.0.0.1";
    document["proxy"]["output_port"] = 5556;
    document["server"]["protocol"] = "http";
    document["server"]["address"] = "127.0.0.2";
    document["server"]["port"] = 8080;
    document["server"]["timeout_s"] = 10;
    document["zone_types"].append("boundary_out");
    document["zone_types"].append("boundary_in");
    return document;
}

Json::Value ParseJson(const std::string& text) {
    const auto parsed = libs::core::json::try_parse(text);
    EXPECT_TRUE(parsed.ok) << text;
    return parsed.result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path) << content;
}

CTemporaryDirectory::CTemporaryDirectory() {
    char pattern[] = "/tmp/varnok_test.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    mPath = pattern;
}

CTemporaryDirectory::~CTemporaryDirectory() {
    std::filesystem::remove_all(mPath);
}

}  // namespace ozra::tests
