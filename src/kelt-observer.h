#pragma once

namespace ozra {

class kelt;

// Watches the controller's start-up attempts and processing runs; every call comes from the events-loop
// thread.
class CKeltObserver {
public:
    virtual ~CKeltObserver() = default;

    // A start-up synchronisation failed; called inside the handler of its exception.
    virtual void StartupFailed() = 0;
    virtual void RunStarting(const kelt& controller) = 0;
    // Also called when the run raised, while its exception unwinds; must not raise.
    virtual void RunEnded(const kelt& controller, bool failed) noexcept = 0;
};

// Tells an observer, if any, that a start-up synchronisation failed; call inside the exception's handler.
void TellStartupFailed(CKeltObserver* observer);

// Tells an observer, if any, of the start and the end of the processing run that it spans.
class CObservedRun {
public:
    CObservedRun(CKeltObserver* observer, const kelt& controller);
    ~CObservedRun();
    CObservedRun(const CObservedRun&) = delete;
    CObservedRun& operator=(const CObservedRun&) = delete;

private:
    CKeltObserver* mObserver;
    const kelt& mController;
    int mExceptions;
};

}  // namespace ozra
