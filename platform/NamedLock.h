// NamedLock.h: a lock shared by every process on the machine, found by name.
#pragma once

#include <string>

namespace Platform {

// Holding the lock means owning a name that no other holder, in this or any
// other process, can own at the same time. The name goes with Release, with
// the destructor, or with the holding process when it dies, so a crashed
// holder never leaves the lock stuck.
//
// Threads: one owner thread per object; different objects may race freely.
class NamedLock {
public:
    NamedLock() = default;
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    ~NamedLock() { Release(); }

    // False when the name is held already (also by this process), is empty
    // or too long, or this object holds a lock already.
    bool TryAcquire(const std::string& name);
    void Release();
    bool IsHeld() const { return descriptor >= 0; }

private:
    int descriptor = -1;
};

}  // namespace Platform
