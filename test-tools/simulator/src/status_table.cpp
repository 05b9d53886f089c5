#include "simulator/status_table.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>

namespace varnok::test_tools {

namespace {

std::size_t uid_width(const std::vector<tag_view>& tags) {
    std::size_t width = 3;
    for (const auto& tag : tags) {
        width = std::max(width, tag.uid.size());
    }
    return width;
}

std::string expected_text(const tag_view& tag) {
    if (!tag.expected) {
        return "-";
    }
    return tag.expected->reason ? tag.expected->status + " (" + *tag.expected->reason + ")"
                                : tag.expected->status;
}

std::string crc_text(std::uint16_t crc) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", crc);
    return text;
}

}  // namespace

void write_live_table(std::ostream& out, double elapsed_s, const std::string& metrics_url,
                      const std::vector<tag_view>& tags) {
    const auto width = uid_width(tags);
    out << "--- t=" << std::fixed << std::setprecision(0) << elapsed_s << "s ---";
    if (!metrics_url.empty()) {
        out << " metrics " << metrics_url;
    }
    out << '\n';
    for (const auto& tag : tags) {
        out << std::left << std::setw(static_cast<int>(width)) << tag.uid << "  " << std::setw(10)
            << tag.status << " zones " << std::setw(3) << tag.zone_ids.size() << " crc " << crc_text(tag.crc);
        if (!tag.reason.empty()) {
            out << "  " << tag.reason;
        }
        out << '\n';
    }
    out << std::flush;
}

bool write_summary_table(std::ostream& out, const std::vector<tag_view>& tags) {
    const auto width = uid_width(tags);
    std::size_t expected_width = 8;
    for (const auto& tag : tags) {
        expected_width = std::max(expected_width, expected_text(tag).size());
    }
    out << std::left << std::setw(static_cast<int>(width)) << "tag"
        << "  " << std::setw(static_cast<int>(expected_width)) << "expected"
        << "  " << std::setw(10) << "final"
        << "  " << std::setw(5) << "check"
        << "  reason\n";
    bool all_met = true;
    for (const auto& tag : tags) {
        const bool met = expectation_met(tag);
        all_met = all_met && (met || !tag.expected);
        out << std::setw(static_cast<int>(width)) << tag.uid << "  "
            << std::setw(static_cast<int>(expected_width)) << expected_text(tag) << "  " << std::setw(10)
            << tag.status << "  " << std::setw(5) << (tag.expected ? (met ? "PASS" : "FAIL") : "-") << "  "
            << tag.reason;
        if (tag.counters.protocol_errors > 0) {
            out << "  [" << tag.counters.protocol_errors
                << " bad frames, last: " << tag.counters.last_protocol_error << "]";
        }
        out << '\n';
    }
    out << std::flush;
    return all_met;
}

}  // namespace varnok::test_tools
