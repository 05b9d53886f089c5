#include "simulator/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace varnok::test_tools {
namespace {

command_line parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "varnok-sim");
    return parse_command_line(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLineTest, ReadsEveryOptionAndHelpNeedsNothingElse) {
    const command_line parsed = parse({"--quiet", "--scenario", "s.json", "--workdir", "/tmp/w", "--daemon",
                                       "bin/varnok", "--stop-when-reached"});
    const auto& [daemon, workdir, quiet, stop_when_reached] = parsed.options;
    EXPECT_EQ(std::tie(parsed.help, parsed.scenario_path, daemon, workdir, quiet, stop_when_reached),
              std::make_tuple(false, "s.json", "bin/varnok", "/tmp/w", true, true));
    for (const auto& arguments : std::vector<std::vector<const char*>>{
             {"--help"}, {"-h"}, {"--scenario", "s.json", "--help", "--unknown"}}) {
        EXPECT_TRUE(parse(arguments).help);
    }
}

TEST(CommandLineTest, RejectsUnknownOptionsMissingValuesAndMissingRequiredOptions) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--scenario", "s.json", "--daemon", "d", "--fast"}, "unexpected argument --fast"},
        {{"--daemon", "d", "--scenario"}, "--scenario needs a value"},
        {{"--scenario", "s.json"}, "--scenario and --daemon are required"},
    };
    for (const auto& [arguments, message] : cases) {
        try {
            parse(arguments);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const command_line_error& error) {
            EXPECT_EQ(error.what(), message);
        }
    }
}

}  // namespace
}  // namespace varnok::test_tools
