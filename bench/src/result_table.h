#pragma once

#include "bench_run.h"

#include <ostream>
#include <vector>

namespace varnok::bench {

// One Markdown table: a row per figure with its target, a column per site size, each value marked
// PASS or FAIL against the target where there is one.
void write_result_table(std::ostream& out, const std::vector<size_result>& results);

}  // namespace varnok::bench
