#include "simulator/command_line.h"
#include "simulator/scenario_reader.h"
#include "simulator/simulation_run.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace varnok::test_tools;
    try {
        const command_line parsed = parse_command_line(argc, argv);
        if (parsed.help) {
            std::cout << usage_text;
            return 0;
        }
        return run_simulation(read_scenario_file(parsed.scenario_path), parsed.options, std::cout);
    } catch (const command_line_error& error) {
        std::cerr << "varnok-sim: " << error.what() << "\n\n" << usage_text;
        return 2;
    } catch (const scenario_error& error) {
        std::cerr << "varnok-sim: bad scenario: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "varnok-sim: " << error.what() << '\n';
        return 2;
    }
}
