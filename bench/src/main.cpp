#include "bench_run.h"
#include "result_table.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* usage =
    "usage: varnok-bench --daemon PATH [--sizes NxM[@D][,NxM[@D]...] | --tags N --zones M] [--latency D]\n"
    "                    [--connections C] [--workdir DIR] [--timeout S] [--download-limit S] [--idle S]\n"
    "                    [--wrk-seconds S]\n"
    "D: the server answers every request D ms late (default --latency, else 0)\n";

// "NxM" or "NxM@D", separated by commas.
std::vector<varnok::bench::site_size> parse_sizes(const std::string& text,
                                                  std::chrono::milliseconds latency) {
    std::vector<varnok::bench::site_size> sizes;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = std::min(text.find(',', start), text.size());
        const std::string size = text.substr(start, end - start);
        const auto x = size.find('x');
        const auto at = size.find('@');
        if (x == std::string::npos) {
            throw std::invalid_argument("a size is written NxM or NxM@D: " + size);
        }
        sizes.push_back(
            {std::stoul(size.substr(0, x)), std::stoul(size.substr(x + 1, at - x - 1)),
             at == std::string::npos ? latency : std::chrono::milliseconds(std::stoul(size.substr(at + 1)))});
        start = end + 1;
    }
    return sizes;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace varnok::bench;
    run_options options;
    std::string sizes = "1000x100,1000x1000";
    std::string tags;
    std::string zones;
    std::chrono::milliseconds latency{0};
    try {
        for (int i = 1; i + 1 < argc; i += 2) {
            const std::string option = argv[i];
            const std::string value = argv[i + 1];
            if (option == "--daemon") {
                options.daemon = value;
            } else if (option == "--sizes") {
                sizes = value;
            } else if (option == "--tags") {
                tags = value;
            } else if (option == "--zones") {
                zones = value;
            } else if (option == "--workdir") {
                options.workdir = value;
            } else if (option == "--timeout") {
                options.timeout = std::chrono::seconds(std::stoul(value));
            } else if (option == "--download-limit") {
                options.download_limit = std::chrono::seconds(std::stoul(value));
            } else if (option == "--idle") {
                options.idle = std::chrono::seconds(std::stoul(value));
            } else if (option == "--latency") {
                latency = std::chrono::milliseconds(std::stoul(value));
            } else if (option == "--connections") {
                options.connections = std::stoul(value);
            } else if (option == "--wrk-seconds") {
                options.wrk_seconds = std::stoi(value);
            } else {
                throw std::invalid_argument("unknown option " + option);
            }
        }
        if (argc % 2 == 0 || options.daemon.empty() || tags.empty() != zones.empty()) {
            throw std::invalid_argument("missing or unpaired options");
        }
        if (!tags.empty()) {
            sizes = tags + "x" + zones;
        }
        if (options.workdir.empty()) {
            options.workdir = std::filesystem::temp_directory_path() / "varnok-bench";
        }
        std::filesystem::create_directories(options.workdir);
        std::vector<size_result> results;
        for (const site_size& size : parse_sizes(sizes, latency)) {
            results.push_back(run_size(options, size, std::cerr));
        }
        write_result_table(std::cout, results);
    } catch (const std::exception& error) {
        std::cerr << "varnok-bench: " << error.what() << "\n" << usage;
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
