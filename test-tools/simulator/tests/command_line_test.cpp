#include "simulator/command_line.h"

#include <gtest/gtest.h>

namespace varnok::test_tools {

// What a command line gives: "help", the options read, or the message of the error it raises.
std::string outcome(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "varnok-sim");
    try {
        const command_line parsed = parse_command_line(static_cast<int>(arguments.size()), arguments.data());
        const run_options& options = parsed.options;
        return parsed.help ? "help"
                           : parsed.scenario_path + " " + options.daemon + " " + options.workdir +
                                 (options.quiet ? " quiet" : "") + (options.stop_when_reached ? " stop" : "");
    } catch (const command_line_error& error) {
        return error.what();
    }
}

TEST(CommandLineTest, ReadsEveryOptionHelpNeedsNothingElseAndFaultsAreNamed) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--quiet", "--scenario", "s.json", "--workdir", "/tmp/w", "--daemon", "bin/varnok",
          "--stop-when-reached"},
         "s.json bin/varnok /tmp/w quiet stop"},
        {{"--help"}, "help"},
        {{"-h"}, "help"},
        {{"--scenario", "s.json", "--help", "--unknown"}, "help"},
        {{"--scenario", "s.json", "--daemon", "d", "--fast"}, "unexpected argument --fast"},
        {{"--daemon", "d", "--scenario"}, "--scenario needs a value"},
        {{"--scenario", "s.json"}, "--scenario and --daemon are required"},
    };
    for (const auto& [arguments, expected] : cases) {
        EXPECT_EQ(outcome(arguments), expected);
    }
}

}  // namespace varnok::test_tools
