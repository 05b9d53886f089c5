#include "simulator/command_line.h"

namespace varnok::test_tools {

const char* const usage_text =
    "usage: varnok-sim --scenario FILE --daemon PATH [--workdir DIR] [--quiet] [--stop-when-reached]\n"
    "\n"
    "Plays a location system (REST server, ZeroMQ proxy, the tags' zone managers) from a scenario, runs\n"
    "the varnok daemon against it, shows each tag's status as the daemon reports it, stops the daemon with\n"
    "SIGTERM at the end and prints a summary. Exit status 0 when every tag reached its expected status.\n"
    "\n"
    "options:\n"
    "  --scenario FILE       the scenario, a JSON file (e.g. test-tools/scenarios/demo.json)\n"
    "  --daemon PATH         the varnok binary to run\n"
    "  --workdir DIR         directory for the daemon's configuration, output and debug log\n"
    "                        (default: a new directory under /tmp)\n"
    "  --quiet               no live status table, only the summary\n"
    "  --stop-when-reached   end once the last event has settled and every tag has its expected status\n"
    "  -h, --help            print this help and exit\n";

command_line parse_command_line(int argc, const char* const argv[]) {
    command_line parsed;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw command_line_error(argument + " needs a value");
            }
            return argv[++i];
        };
        if (argument == "-h" || argument == "--help") {
            parsed.help = true;
            return parsed;
        } else if (argument == "--scenario") {
            parsed.scenario_path = value();
        } else if (argument == "--daemon") {
            parsed.options.daemon = value();
        } else if (argument == "--workdir") {
            parsed.options.workdir = value();
        } else if (argument == "--quiet") {
            parsed.options.quiet = true;
        } else if (argument == "--stop-when-reached") {
            parsed.options.stop_when_reached = true;
        } else {
            throw command_line_error("unexpected argument " + argument);
        }
    }
    if (parsed.scenario_path.empty() || parsed.options.daemon.empty()) {
        throw command_line_error("--scenario and --daemon are required");
    }
    return parsed;
}

}  // namespace varnok::test_tools
