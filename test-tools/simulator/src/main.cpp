#include "simulator/scenario_reader.h"
#include "simulator/simulation_run.h"

#include <cstring>
#include <exception>
#include <iostream>

namespace {

constexpr const char* usage =
    "usage: varnok-sim --scenario FILE --daemon PATH [--workdir DIR] [--quiet] [--stop-when-reached]\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace varnok::test_tools;
    std::string scenario_path;
    run_options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--scenario" && has_value) {
            scenario_path = argv[++i];
        } else if (argument == "--daemon" && has_value) {
            options.daemon = argv[++i];
        } else if (argument == "--workdir" && has_value) {
            options.workdir = argv[++i];
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--stop-when-reached") {
            options.stop_when_reached = true;
        } else {
            std::cerr << "varnok-sim: unexpected argument " << argument << '\n' << usage;
            return 2;
        }
    }
    if (scenario_path.empty() || options.daemon.empty()) {
        std::cerr << usage;
        return 2;
    }
    try {
        return run_simulation(read_scenario_file(scenario_path), options, std::cout);
    } catch (const scenario_error& error) {
        std::cerr << "varnok-sim: bad scenario: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "varnok-sim: " << error.what() << '\n';
        return 2;
    }
}
