#include "floors.h"

#include <json/reader.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace varnok::bench {

namespace {
constexpr int parse_tries = 5;
}

double parse_seconds(const std::string& body) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    double best = 0;
    for (int i = 0; i < parse_tries; ++i) {
        std::istringstream in(body);
        Json::Value root;
        std::string errors;
        const auto start = std::chrono::steady_clock::now();
        Json::parseFromStream(builder, in, &root, &errors);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = i == 0 ? took.count() : std::min(best, took.count());
    }
    return best;
}

std::optional<double> wrk_requests_per_second(const std::string& url, const std::string& body,
                                              const std::string& workdir, int connections, int seconds) {
    const std::string script = workdir + "/wrk-post.lua";
    std::ofstream(script) << "wrk.method = \"POST\"\n"
                          << "wrk.body = '" << body << "'\n"
                          << "wrk.headers[\"Content-Type\"] = \"application/json\"\n";
    const std::string command = "wrk -t1 -c" + std::to_string(connections) + " -d" + std::to_string(seconds) +
                                "s --timeout 2s -s " + script + " " + url + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> output(popen(command.c_str(), "r"), pclose);
    if (!output) {
        return std::nullopt;
    }
    std::optional<double> rate;
    char line[512];
    while (std::fgets(line, sizeof line, output.get())) {
        double value = 0;
        if (std::sscanf(line, " Requests/sec: %lf", &value) == 1) {
            rate = value;
        }
    }
    return rate;
}

}  // namespace varnok::bench
