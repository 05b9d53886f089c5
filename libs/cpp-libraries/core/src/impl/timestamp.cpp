#include "core/timestamp.h"

#include <time.h>

namespace ozra::libs::core {

timestamp timestamp::now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return from_milliseconds(static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

}  // namespace ozra::libs::core
