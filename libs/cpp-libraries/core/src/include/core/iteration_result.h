#pragma once

namespace ozra::libs::core {

// Whether a visit through a callback ran to the end or the callback stopped it.
enum class iteration_result { finished = 0, interrupted = 1 };

}  // namespace ozra::libs::core
