#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace varnok::fuzz {

// What is wrong with a user message body {"uid": ..., "data": {"hex": frame}}; empty when well formed:
// the frame is uppercase digit pairs, of frame type 0001, with a payload length that matches the records,
// known commands with their data lengths, a single command or a zone batch of Add zone and Delete zone
// records within the batch limit.
std::string user_message_defect(std::string_view body);

// Runs a reader or handler, dropping the exceptions it raises: its answer to bad input. Anything else it
// throws escapes and ends the run.
template <class F>
void quietly(F&& run) {
    try {
        run();
    } catch (const std::exception&) {
    }
}

// Aborts the process, naming the defect and the text, when the defect is not empty.
void require_no_defect(const std::string& defect, std::string_view text);

}  // namespace varnok::fuzz
