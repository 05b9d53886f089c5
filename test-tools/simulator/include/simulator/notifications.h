#pragma once

#include <string>
#include <vector>

namespace varnok::test_tools {

// The server's "ZONE_DOWNLOAD_REQUEST" notification for the trackable uids, as compact JSON text.
std::string download_request_notification(const std::string& action, const std::vector<std::string>& uids);

}  // namespace varnok::test_tools
