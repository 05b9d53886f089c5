#pragma once

#include "simulator/simulated_site.h"

#include <ostream>
#include <string>
#include <vector>

namespace varnok::test_tools {

// A heading with the daemon's metrics URL once known, then one line per tag: uid, shown status, reason, the
// tag's zone count and CRC.
void write_live_table(std::ostream& out, double elapsed_s, const std::string& metrics_url,
                      const std::vector<tag_view>& tags);
// One line per tag: uid, expected, final status, reason, PASS/FAIL (or "-" without an expectation).
// Answers whether every expectation is met.
bool write_summary_table(std::ostream& out, const std::vector<tag_view>& tags);

}  // namespace varnok::test_tools
