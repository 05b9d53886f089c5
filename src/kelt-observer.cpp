#include "kelt-observer.h"

#include <exception>

namespace ozra {

void TellStartupFailed(CKeltObserver* observer) {
    if (observer != nullptr) {
        observer->StartupFailed();
    }
}

CObservedRun::CObservedRun(CKeltObserver* observer, const kelt& controller)
    : mObserver(observer), mController(controller), mExceptions(std::uncaught_exceptions()) {
    if (mObserver != nullptr) {
        mObserver->RunStarting(mController);
    }
}

CObservedRun::~CObservedRun() {
    if (mObserver != nullptr) {
        mObserver->RunEnded(mController, std::uncaught_exceptions() > mExceptions);
    }
}

}  // namespace ozra
