// GenTLHandle.h: the base of every object a GenTL handle can stand for: its
// own lock, the open and not-available state, and two-phase construction.
#pragma once

#include <string>

#include "GenTL.h"
#include "gentl_core/SyncObjects.h"

namespace GenTLCore {

// Built in two phases: the constructor, then exactly one CompleteConstruction
// by the creator before the object is handed out. Held by SharedPtr in the
// handle pool and its parent; the pool's Register opens it and Unregister
// closes it; it may be opened again later. Destroyed with the last SharedPtr,
// which must come after CompleteConstruction.
//
// Threads: any. Every public member runs under handle_lock, and so do the
// hooks DoOpen, DoClose, OnNotAvailable and FinalizeConstruction; the lock is
// recursive, so an operation may call another of the same object.
// Lock order: the library lock before handle_lock, never the reverse.
class GenTLHandle {
public:
    GenTLHandle() = default;
    GenTLHandle(const GenTLHandle&) = delete;
    GenTLHandle& operator=(const GenTLHandle&) = delete;
    GenTLHandle(GenTLHandle&&) = delete;
    GenTLHandle& operator=(GenTLHandle&&) = delete;
    virtual ~GenTLHandle();

    // The object's GenTL ID.
    virtual std::string GetID() = 0;
    // The text that names the object in log lines; the ID unless overridden.
    virtual std::string GetUniqueString();

    // DoOpen's result; only success opens. An object not fully constructed
    // is refused (assertion) with GC_ERR_ERROR, DoOpen not called.
    GC_ERROR Open();
    // Closed first, whatever DoClose answers; returns DoClose's result.
    // Applies a ClearNotAvailable deferred while open.
    GC_ERROR Close();
    bool IsOpen();

    bool IsNotAvailable();
    // Marks the object not available, then calls OnNotAvailable.
    void SetNotAvailable();
    // Clears the mark at once on a closed object; on an open one the mark
    // stays until Close. Nothing happens to an unmarked object.
    void ClearNotAvailable();

    // Runs FinalizeConstruction once; a second call asserts and does nothing.
    void CompleteConstruction();

    // For callers that keep the object consistent across several calls (the
    // service front around port operations).
    Mutex& GetHandleLock() { return handle_lock; }

protected:
    // Hooks, all called with handle_lock held. DoOpen and DoClose return a
    // GenTL error code.
    virtual GC_ERROR DoOpen();
    virtual GC_ERROR DoClose();
    virtual void OnNotAvailable();
    // The object's finishing step (register maps, URL entries, events).
    virtual void FinalizeConstruction();

    Mutex handle_lock;

private:
    // Guarded by handle_lock.
    bool open = false;
    bool not_available = false;
    bool clear_not_available_on_close = false;
    bool fully_constructed = false;
};

}  // namespace GenTLCore
