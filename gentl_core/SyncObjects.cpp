#include "gentl_core/SyncObjects.h"

#include <cstdint>
#include <optional>

#include "platform/Assert.h"

namespace GenTLCore {

namespace {

// Whole milliseconds, cut. Negative or NaN means no limit, and so does a value
// beyond int64: the platform waits without limit for what its clock cannot
// reach, instead of wrapping into a short wait.
int64_t TimeoutToMilliseconds(double timeout_s)
{
    constexpr double UNREACHABLE_MS = 9.0e18;
    if (!(timeout_s >= 0.0))
        return -1;
    const double timeout_ms = timeout_s * 1000.0;
    if (timeout_ms >= UNREACHABLE_MS)
        return -1;
    return static_cast<int64_t>(timeout_ms);
}

}  // namespace

WaitResult Condition::Wait(Mutex& mutex, double timeout_s)
{
    return condition.Wait(mutex, TimeoutToMilliseconds(timeout_s));
}

void Condition::NotifyOne()
{
    condition.NotifyOne();
}

void Condition::Broadcast()
{
    condition.Broadcast();
}

void Signal::Post()
{
    ScopedLock hold(mutex);
    ++count;
    condition.NotifyOne();
}

void Signal::Cancel()
{
    ScopedLock hold(mutex);
    cancelled = true;
    condition.Broadcast();
}

bool Signal::TryPass()
{
    if (cancelled)
        return true;
    if (count < 1)
        return false;
    --count;
    return true;
}

int Signal::Wait(double timeout_s)
{
    // Taken only when the caller does not hold it: a second hold would stay
    // held during the condition wait.
    std::optional<ScopedLock> hold;
    if (!mutex.IsLockedByCurrentThread())
        hold.emplace(mutex);
    if (TryPass())
        return COUNT_TAKEN_OR_CANCELLED;
    const WaitResult result = condition.Wait(mutex, timeout_s);
    if (TryPass())
        return COUNT_TAKEN_OR_CANCELLED;
    switch (result) {
        case WaitResult::TimedOut: return TIMED_OUT;
        case WaitResult::Woken: return WOKEN_WITHOUT_COUNT;
        case WaitResult::Failed: return FAILED;
    }
    return FAILED;
}

int Signal::WaitInfinite()
{
    return Wait(-1.0);
}

SimpleThread::~SimpleThread()
{
    ScopedLock hold(lock);
    TL_ASSERT(!thread_started);
}

bool SimpleThread::Start()
{
    ScopedLock hold(lock);
    if (!TL_ASSERT(!thread_started))
        return false;
    std::optional<int> start_priority;
    if (priority_configured)
        start_priority = priority;
    if (!thread.Start(&SimpleThread::Entry, this, start_priority))
        return false;
    thread_started = true;
    return true;
}

void SimpleThread::Entry(void* self)
{
    static_cast<SimpleThread*>(self)->Run();
}

void SimpleThread::Join()
{
    ScopedLock hold(lock);
    if (!TL_ASSERT(thread_started))
        return;
    thread.Join();
    thread_started = false;
}

void SimpleThread::JoinIfStarted()
{
    ScopedLock hold(lock);
    if (thread_started) Join();
}

bool SimpleThread::SetPriority(int new_policy, int new_priority)
{
    ScopedLock hold(lock);
    if (!Platform::IsValidThreadPriority(new_priority))
        return false;
    policy = new_policy;
    priority = new_priority;
    priority_configured = true;
    return !thread_started || thread.ApplyPriority(priority);
}

bool SimpleThread::GetPriority(int* policy_out, int* priority_out)
{
    ScopedLock hold(lock);
    if (!TL_ASSERT(policy_out != nullptr && priority_out != nullptr))
        return false;
    if (thread_started) {
        // What the thread really has: a refused change left it as it was.
        const std::optional<int> current = thread.CurrentPriority();
        *policy_out = 0;
        *priority_out = current ? *current : (priority_configured ? priority : 0);
    } else {
        *policy_out = policy;
        *priority_out = priority;
    }
    return true;
}

void SimpleThread::ClearPriority()
{
    ScopedLock hold(lock);
    priority_configured = false;
}

MemFunThread::~MemFunThread()
{
    TL_ASSERT(thr_executor);
}

void MemFunThread::Run()
{
    if (TL_ASSERT(thr_executor))
        thr_executor->Run();
}

bool GlobalLock::Acquire()
{
    if (lock.IsHeld()) {
        Platform::ReportAssertion("Global lock applied twice within the same process", __FILE__,
                                  __LINE__);
        return false;
    }
    return lock.TryAcquire(name);
}

void GlobalLock::Release()
{
    lock.Release();
}

}  // namespace GenTLCore
