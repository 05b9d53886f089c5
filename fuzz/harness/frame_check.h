#pragma once

#include <string>
#include <string_view>

namespace varnok::fuzz {

// What is wrong with a frame to a device (hexadecimal text); empty when it is well formed: uppercase
// digit pairs, frame type 0001, a payload length that matches the records, known commands with their
// data lengths, a single-command frame or a zone batch of Add zone and Delete zone records within the
// batch limit.
std::string frame_defect(std::string_view hex);

// What is wrong with a user message body {"uid": ..., "data": {"hex": frame}}; empty when well formed.
std::string user_message_defect(std::string_view body);

// Aborts the process, naming the defect and the text, when the defect is not empty.
void require_no_defect(const std::string& defect, std::string_view text);

}  // namespace varnok::fuzz
