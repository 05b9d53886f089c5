#include "srv-state.h"

namespace ozra {

const char* SrvStateName(srvState state) {
    switch (state) {
        case srvState::NEW:
            return "NEW";
        case srvState::UPDATED:
            return "UPDATED";
        case srvState::NOT_CHANGED:
            return "NOT_CHANGED";
        case srvState::DELETED:
            return "DELETED";
    }
    return "";
}

}  // namespace ozra
