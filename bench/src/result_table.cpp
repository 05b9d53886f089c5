#include "result_table.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace varnok::bench {

namespace {

// A value as shown, and whether it meets its target (nothing: no target for this size).
struct cell {
    std::string text;
    std::optional<bool> pass;
};

struct row {
    const char* figure;
    const char* target;
    std::function<cell(const size_result&)> value;
};

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string grouped(std::size_t number) {
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

std::string duration(double seconds) {
    return seconds < 1 ? format("%.1f ms", seconds * 1000) : format("%.2f s", seconds);
}

// The scale targets hold against an instant server; a slow one adds its latency to every request.
bool instant(const size_result& r) {
    return r.latency.count() == 0;
}

cell against_floor(const size_result& r, const std::optional<double>& seconds, double floor) {
    if (!seconds) {
        return {"timeout", false};
    }
    const double ratio = *seconds / floor;
    return {duration(*seconds) + " = " + format("%.0f", ratio) + "× parse",
            instant(r) ? std::optional(ratio <= 10) : std::nullopt};
}

std::optional<double> frame_rate(const size_result& r) {
    if (r.download_frames == 0 || r.download_s <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(r.download_frames) / r.download_s;
}

// Frames a second the connections carry when each request takes the server's latency.
std::optional<double> latency_bound(const size_result& r) {
    if (r.latency.count() == 0) {
        return std::nullopt;
    }
    return static_cast<double>(r.connections) * 1000.0 / static_cast<double>(r.latency.count());
}

std::string column(const size_result& r) {
    std::string name = grouped(r.tags) + " × " + grouped(r.zones);
    return r.latency.count() ? name + " at " + std::to_string(r.latency.count()) + " ms" : name;
}

std::optional<double> rss_limit_mb(const size_result& r) {
    if (r.zones == 1000 && r.tags == 1000) {
        return 60;
    }
    if (r.zones == 1000 && r.tags == 10000) {
        return 400;
    }
    return std::nullopt;
}

const std::vector<row>& rows() {
    static const std::vector<row> all{
        {"tag-zone entries", "",
         [](const size_result& r) {
             return cell{grouped(r.entries), {}};
         }},
        {"start-up: launch → every table computed (subscribed)", "≤ 10× parse",
         [](const size_result& r) { return against_floor(r, r.startup_s, r.startup_parse_s); }},
        {"  parse floor: jsoncpp on the 4 start-up responses", "",
         [](const size_result& r) {
             return cell{duration(r.startup_parse_s), {}};
         }},
        {"  first CRC request after launch", "",
         [](const size_result& r) {
             return cell{r.first_crc_request_s ? duration(*r.first_crc_request_s) : "none", {}};
         }},
        {"tags verified UPDATED at start-up", "100%",
         [](const size_result& r) {
             const double share = r.tags ? 100.0 * static_cast<double>(r.verified_updated) / r.tags : 0;
             std::string text =
                 format("%.1f%%", share) + " (" + grouped(r.verified_updated) + "/" + grouped(r.tags);
             text += r.verified_reported < r.tags ? ", timeout)" : ")";
             return cell{text, r.verified_updated == r.tags};
         }},
        {"  other statuses at start-up", "",
         [](const size_result& r) {
             std::string text;
             for (const auto& [status, count] : r.verified_other) {
                 text += (text.empty() ? "" : "; ") + status + ": " + grouped(count);
             }
             return cell{text.empty() ? "none" : text, {}};
         }},
        {"re-read after one zone change: GET zones → status report", "≤ 10× parse",
         [](const size_result& r) { return against_floor(r, r.reread_s, r.reread_parse_s); }},
        {"  parse floor: jsoncpp on zones + tags", "",
         [](const size_result& r) {
             return cell{duration(r.reread_parse_s), {}};
         }},
        {"RSS idle", "≤ 60 MB at 1,000 × 1,000; ≤ 400 MB at 10,000 × 1,000",
         [](const size_result& r) {
             if (!r.rss_idle) {
                 return cell{"-", false};
             }
             const double mb = static_cast<double>(*r.rss_idle) / (1024 * 1024);
             const auto limit = rss_limit_mb(r);
             return cell{format("%.0f MB", mb), limit ? std::optional(mb <= *limit) : std::nullopt};
         }},
        {"idle CPU per processing run (share of one core)", "≤ 2%",
         [](const size_result& r) {
             if (!r.idle_cpu_share) {
                 return cell{"-", false};
             }
             return cell{format("%.1f%%", *r.idle_cpu_share * 100), *r.idle_cpu_share <= 0.02};
         }},
        {"download frames/s against the wrk floor", "≥ 25% of wrk",
         [](const size_result& r) {
             const auto rate = frame_rate(r);
             if (!rate || !r.wrk_rate) {
                 return cell{rate ? format("%.0f/s", *rate) : "-", false};
             }
             const double share = *rate / *r.wrk_rate;
             // Against a slow server the rate follows its latency instead.
             const std::optional<bool> pass = instant(r) ? std::optional(share >= 0.25) : std::nullopt;
             return cell{format("%.0f/s", *rate) + " = " + format("%.1f%%", share * 100), pass};
         }},
        {"  download frames/s against C/L (C connections, server latency L)", "≥ 90% of C/L",
         [](const size_result& r) {
             const auto rate = frame_rate(r);
             const auto bound = latency_bound(r);
             if (!bound) {
                 return cell{"instant server", {}};
             }
             if (!rate) {
                 return cell{"-", false};
             }
             const double share = *rate / *bound;
             return cell{format("%.0f/s", *rate) + " = " + format("%.0f%%", share * 100) + " of " +
                             format("%.0f/s", *bound),
                         share >= 0.9};
         }},
        {"tags reported \"disconnected\" during the run", "none",
         [](const size_result& r) {
             return cell{grouped(r.disconnected), r.disconnected == 0};
         }},
        {"  wrk floor: 32 keep-alive connections, same server", "",
         [](const size_result& r) {
             return cell{r.wrk_rate ? format("%.0f/s", *r.wrk_rate) : "wrk failed", {}};
         }},
        {"  download measured", "",
         [](const size_result& r) {
             std::string text = grouped(r.download_frames) + " frames in " + duration(r.download_s) + ", " +
                                grouped(r.download_tags_done) + "/" + grouped(r.tags) + " tags UPDATED";
             return cell{r.download_tags_done < r.tags ? text + " (limit reached)" : text, {}};
         }},
        {"  longest time between two status reports while downloading", "≤ 2 s",
         [](const size_result& r) {
             if (r.download_report_gap_s <= 0) {
                 return cell{"-", {}};
             }
             return cell{duration(r.download_report_gap_s), r.download_report_gap_s <= 2};
         }},
        {"daemon CPU per frame", "≤ 60 µs",
         [](const size_result& r) {
             if (r.download_frames == 0) {
                 return cell{"-", false};
             }
             const double us = r.download_daemon_cpu_s * 1e6 / static_cast<double>(r.download_frames);
             return cell{format("%.0f µs", us), instant(r) ? std::optional(us <= 60) : std::nullopt};
         }},
        {"peak threads", "≤ 32",
         [](const size_result& r) {
             return cell{grouped(r.peak_threads), r.peak_threads <= 32};
         }},
        {"machine load before the run (1-minute average)", "",
         [](const size_result& r) {
             return cell{format("%.1f", r.load_average), {}};
         }},
        {"server + emulators CPU: start-up / download / wrk", "not the bottleneck",
         [](const size_result& r) {
             return cell{format("%.0f%%", r.site_cpu_startup * 100) + " / " +
                             format("%.0f%%", r.site_cpu_download * 100) + " / " +
                             format("%.0f%%", r.site_cpu_wrk * 100),
                         {}};
         }},
    };
    return all;
}

std::string shown(const cell& c) {
    if (!c.pass) {
        return c.text;
    }
    return c.text + (*c.pass ? " PASS" : " **FAIL**");
}

}  // namespace

void write_result_table(std::ostream& out, const std::vector<size_result>& results) {
    out << "| figure | target |";
    for (const auto& r : results) {
        out << " " << column(r) << " |";
    }
    out << "\n|---|---|";
    for (std::size_t i = 0; i < results.size(); ++i) {
        out << "---|";
    }
    out << "\n";
    for (const auto& r : rows()) {
        out << "| " << r.figure << " | " << r.target << " |";
        for (const auto& result : results) {
            out << " " << shown(r.value(result)) << " |";
        }
        out << "\n";
    }
    for (const auto& r : results) {
        if (!r.fault.empty()) {
            out << "\n" << column(r) << ": " << r.fault << "\n";
        }
        if (r.protocol_errors) {
            out << "\n" << column(r) << ": " << r.protocol_errors << " frames the tags could not apply\n";
        }
    }
}

}  // namespace varnok::bench
