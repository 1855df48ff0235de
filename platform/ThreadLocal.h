// ThreadLocal.h: one pointer-sized slot per thread, with a clean-up callback
// when a thread ends (our replacement for a DLL's thread-detach notice).
#pragma once

namespace Platform {

// Owned by one object for the life of the process or library; not copyable.
// Threads: Get and Set touch only the calling thread's slot. The destructor
// (or DeleteKey) must not race with threads still using the slot.
class ThreadLocal {
public:
    // Runs on an ending thread whose slot holds a non-null value, after the
    // slot has been cleared; receives that value.
    using ThreadExitCallback = void (*)(void* value);

    explicit ThreadLocal(ThreadExitCallback on_thread_exit);
    ~ThreadLocal();
    ThreadLocal(const ThreadLocal&) = delete;
    ThreadLocal& operator=(const ThreadLocal&) = delete;

    // False when the system had no key left; then Get gives nullptr and Set fails.
    bool IsValid() const { return valid; }

    void* Get() const;
    bool Set(void* value);

    // Gives the key back: from now on no exit callback runs and IsValid() is
    // false. Values still stored are not passed to the callback.
    void DeleteKey();

private:
    // Fixed at construction, cleared once by DeleteKey.
    unsigned key = 0;
    bool valid = false;
};

}  // namespace Platform
