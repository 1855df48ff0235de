// SyncObjects.h: the framework's locks, conditions, counting signal, thread
// objects and the cross-process lock.
#pragma once

#include <memory>
#include <string>

#include "platform/NamedLock.h"
#include "platform/Threading.h"

namespace GenTLCore {

// Re-entrant lock: the thread that holds it may take it again. Every lock of
// the framework is one.
class Mutex : public Platform::RecursiveMutex {};

// Holds a Mutex for its scope.
class ScopedLock {
public:
    explicit ScopedLock(Mutex& locked) : mutex(locked) { mutex.Lock(); }
    ~ScopedLock() { mutex.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mutex;  // outlives the scope by construction
};

using WaitResult = Platform::WaitResult;

// Condition over a caller's Mutex. A notify wakes only the threads that were
// waiting when it was given; a wait never reports Woken without one.
//
// Threads: any; Wait's caller holds its mutex exactly once (a deeper hold
// asserts and gives Failed).
class Condition {
public:
    using WaitResult = GenTLCore::WaitResult;

    // `timeout_s` is cut to whole milliseconds; negative waits without limit,
    // and so does a value too large for the clock. The wait ends by its
    // deadline, however often others are notified meanwhile.
    WaitResult Wait(Mutex& mutex, double timeout_s);
    void NotifyOne();
    void Broadcast();

private:
    Platform::ConditionVariable condition;
};

// Counting signal with cancel. Every Post lets one Wait through; a Cancel lets
// every present and future Wait through, whatever the count.
//
// Threads: any. Post, Cancel and Wait take GetMutex() themselves; a caller
// that pairs them with state of its own holds it around both. Wait's caller
// holds it at most once.
class Signal {
public:
    // Results of Wait.
    static constexpr int WOKEN_WITHOUT_COUNT = 0;
    static constexpr int TIMED_OUT = 1;
    static constexpr int COUNT_TAKEN_OR_CANCELLED = 2;
    static constexpr int FAILED = 3;

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    Mutex& GetMutex() { return mutex; }
    void Post();
    void Cancel();
    // Cancelled wins over a pending count, and takes none.
    int Wait(double timeout_s);
    int WaitInfinite();

private:
    // Takes one count or sees a cancel: true when the wait is over.
    bool TryPass();

    Mutex mutex;
    Condition condition;
    // Guarded by mutex.
    int32_t count = 0;
    bool cancelled = false;
};

// A thread object; subclasses supply Run, the body. Start it once, Join it
// before destruction; Start again after Join is allowed.
//
// Threads: every member takes the object's lock, and Join keeps it while it
// waits, so the body must not call its own thread object.
class SimpleThread {
public:
    SimpleThread() = default;
    SimpleThread(const SimpleThread&) = delete;
    SimpleThread& operator=(const SimpleThread&) = delete;
    // Asserts the thread was joined.
    virtual ~SimpleThread();

    // False (with an assertion) when started already; false when the OS
    // refuses a thread. A configured priority is in force before Run begins.
    bool Start();
    // Asserts the thread was started; waits for it without limit.
    void Join();
    // Join, when started and not yet joined. For stop paths that may run
    // again (a stop, then a close).
    void JoinIfStarted();

    // Windows priority values (-15, -2..2, 15); others are refused. The
    // policy is only kept. Applied at once when started, else at Start;
    // false when the started thread refuses it (kept for the next Start).
    bool SetPriority(int policy, int priority);
    // The configured values; for a started thread policy 0 and the
    // priority the thread really has.
    bool GetPriority(int* policy, int* priority);
    // The next Start applies no priority.
    void ClearPriority();

protected:
    virtual void Run() = 0;

private:
    static void Entry(void* self);

    Mutex lock;
    // Guarded by lock.
    bool thread_started = false;  // stays true after Run returned, until Join
    int policy = 0;
    int priority = 0;
    bool priority_configured = false;
    Platform::Thread thread;
};

// A thread that runs a member function of an object.
//
// Lifetime: the object must outlive the thread (Join before it goes).
class MemFunThread : public SimpleThread {
public:
    class ThreadExecutor {
    public:
        virtual ~ThreadExecutor() = default;
        virtual void Run() = 0;
    };

    template <class T>
    MemFunThread(T* object, void (T::*function)());
    template <class T>
    MemFunThread(T& object, void (T::*function)()) : MemFunThread(&object, function)
    {
    }
    ~MemFunThread() override;

protected:
    void Run() override;

private:
    std::unique_ptr<ThreadExecutor> thr_executor;
};

template <class T>
class MemFunThreadExecutor : public MemFunThread::ThreadExecutor {
public:
    MemFunThreadExecutor(T* target, void (T::*member)()) : object(target), function(member) {}
    void Run() override { (object->*function)(); }

private:
    T* object;  // outlives the thread: see MemFunThread
    void (T::*function)();
};

template <class T>
MemFunThread::MemFunThread(T* object, void (T::*function)())
    : thr_executor(std::make_unique<MemFunThreadExecutor<T>>(object, function))
{
}

// The machine-wide lock of the library, by name: held by at most one
// GlobalLock in all processes. Released by Release, by destruction, or when
// the holding process ends.
//
// Threads: one owner thread at a time.
class GlobalLock {
public:
    explicit GlobalLock(const std::string& lock_name) : name(lock_name) {}
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;

    // False when the name is held, here or elsewhere; acquiring twice
    // through this object also asserts.
    bool Acquire();
    void Release();

private:
    const std::string name;
    Platform::NamedLock lock;
};

}  // namespace GenTLCore
