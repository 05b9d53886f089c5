#pragma once

#include <array>
#include <cstddef>

#include "download-status.h"

namespace ozra {

// Tags by their current download status, indexed by downloadStatusName_t.
struct CTagCounts {
    std::array<std::size_t, DLS_OOSYNC + 1> mByStatus{};
    // The OOSYNC tags whose device stopped answering.
    std::size_t mDisconnected = 0;
};

}  // namespace ozra
