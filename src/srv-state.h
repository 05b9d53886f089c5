#pragma once

#include <cstdint>

namespace ozra {

// What the last synchronisation with the server found for a record.
enum class srvState : int8_t { NEW = 0, UPDATED = 1, NOT_CHANGED = 2, DELETED = 3 };

// "NEW", "UPDATED", "NOT_CHANGED" or "DELETED"; empty for another value.
const char* SrvStateName(srvState state);

}  // namespace ozra
