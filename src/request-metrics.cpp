#include "request-metrics.h"

namespace ozra {

CMeasuredRequest::~CMeasuredRequest() {
    Ended(false);
}

void CMeasuredRequest::Ended(bool ok) {
    if (!mEnded) {
        mEnded = true;
        Metrics().RequestEnded(mResource, ok, std::chrono::steady_clock::now() - mStart);
    }
}

}  // namespace ozra
