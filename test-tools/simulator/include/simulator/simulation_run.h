#pragma once

#include "simulator/scenario.h"

#include <ostream>
#include <string>

namespace varnok::test_tools {

struct run_options {
    std::string daemon;   // path of the daemon binary
    std::string workdir;  // a fresh directory under /tmp when empty
    bool quiet = false;   // no live table
    bool stop_when_reached = false;
};

// Runs the daemon against the scenario and prints the summary. Exit status: 0 when every expected
// status was reached and the daemon exited 0 after SIGTERM, else 1.
int run_simulation(const scenario& s, const run_options& options, std::ostream& out);

}  // namespace varnok::test_tools
