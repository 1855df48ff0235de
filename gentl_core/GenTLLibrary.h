// GenTLLibrary.h: the one library object: the initialized state that
// GCInitLib and GCCloseLib switch, the optional cross-process lock, the
// single system module and the handle pool that turns every GenTL handle into
// the framework object behind it.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "GenTL.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLHandle.h"
#include "gentl_core/GenTLSystem.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"

namespace GenTLCore {

// Created once at load by the configuration's library factory and owned
// (SharedPtr) by the direct front, which keeps it alive for good when it is
// still initialized at unload. Holds the system module and, in the pool, one
// reference to every registered object. A handle is the address of its
// object as a GenTLHandle; the system's parent is 0.
//
// Threads: consumer threads call every operation; each runs under
// `library_lock`, which is recursive, so a pool operation may run inside
// CloseLib. Lock order: library_lock before any object's handle lock; no
// object takes library_lock while holding its own. Lookup hands out a shared
// reference, so the caller works on the object after the lock is gone.
class GenTLLibrary {
public:
    GenTLLibrary();
    virtual ~GenTLLibrary();
    GenTLLibrary(const GenTLLibrary&) = delete;
    GenTLLibrary& operator=(const GenTLLibrary&) = delete;

    // GCInitLib and GCCloseLib.
    GC_ERROR InitLib();
    GC_ERROR CloseLib();
    bool IsInitialized();

    // The first step of TLOpen: the library's system into the empty `sys_candidate`.
    GC_ERROR SysOpen(SharedPtr<GenTLSystem>& sys_candidate);
    // GCGetInfo: the system's TL info.
    GC_ERROR GetLibInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size);

    // Opens `candidate` and adds it to the pool under `hparent` (0 for the
    // system), then writes its handle to `out`. A failing open is returned
    // unchanged and adds nothing.
    GC_ERROR Register(const SharedPtr<GenTLHandle>& candidate, void* hparent, void** out);
    // The pooled object of `handle` as a T, into the empty `instance`.
    template <class T>
    GC_ERROR Lookup(void* handle, SharedPtr<T>& instance);
    // Lookup answering the object itself, empty on failure with `found`
    // saying why. A success joins the pool's share and allocates nothing,
    // where an empty SharedPtr to fill would allocate its own count: the
    // service front looks up on every call.
    template <class T>
    SharedPtr<T> LookupShared(void* handle, GC_ERROR& found);
    // Closes and removes the T of `handle` and everything below it, children
    // first; returns the result of closing the T itself.
    template <class T>
    GC_ERROR Unregister(void* handle);
    // The parent handle of any pooled handle.
    GC_ERROR GetParent(void* handle, void** out);

    // For service calls that must hold the pool still across a module's open.
    Mutex& GetLock() { return library_lock; }

protected:
    // Transport-layer hooks, called under library_lock.
    // Whether InitLib takes the cross-process lock named by the branding.
    virtual bool RequiresGlobalLock() = 0;
    // False makes InitLib fail with GC_ERR_ERROR.
    virtual bool InitTLInfrastructure() = 0;
    // False makes CloseLib report GC_ERR_ERROR (the library is closed all the same).
    virtual bool CloseTLInfrastructure() = 0;
    // Called by InitLib after the start-up log line.
    virtual void OnInitialize() = 0;
    // The single system module, not yet completed; empty only without memory.
    virtual SharedPtr<GenTLSystem> CreateSystem() = 0;

private:
    struct PoolEntry {
        void* hparent;
        SharedPtr<GenTLHandle> ptr;
    };
    using KindCheck = bool (*)(const SharedPtr<GenTLHandle>& object);

    template <class T>
    static bool IsOfKind(const SharedPtr<GenTLHandle>& object)
    {
        return static_cast<bool>(object.template DynamicCast<T>());
    }

    // On success `object` points at the pool's entry, valid while
    // library_lock is held.
    GC_ERROR FindForLookup(void* handle, const SharedPtr<GenTLHandle>*& object);
    GC_ERROR RemoveEntry(void* handle, KindCheck is_kind);
    SharedPtr<GenTLSystem> CreateCompletedSystem();
    bool AcquireGlobalLock();
    void ReleaseGlobalLock();

    Mutex library_lock;

    // Guarded by library_lock.
    bool initialized = false;
    // Held from a successful InitLib to CloseLib, when the transport layer asks for it.
    std::unique_ptr<GlobalLock> global_lock;
    std::map<void*, PoolEntry> pool;
    SharedPtr<GenTLSystem> system;
};

template <class T>
GC_ERROR GenTLLibrary::Lookup(void* handle, SharedPtr<T>& instance)
{
    GC_ERROR found = GC_ERR_SUCCESS;
    const SharedPtr<T> typed = LookupShared<T>(handle, found);
    if (found != GC_ERR_SUCCESS)
        return found;
    TL_ASSERT(!instance);
    instance = typed;
    return GC_ERR_SUCCESS;
}

template <class T>
SharedPtr<T> GenTLLibrary::LookupShared(void* handle, GC_ERROR& found)
{
    ScopedLock lock(library_lock);
    const SharedPtr<GenTLHandle>* object = nullptr;
    found = FindForLookup(handle, object);
    if (found != GC_ERR_SUCCESS)
        return SharedPtr<T>();
    SharedPtr<T> typed = object->template DynamicCast<T>();
    if (!typed)
        found = ReportError(GC_ERR_INVALID_HANDLE, "Requested handle is of unexpected type");
    return typed;
}

template <class T>
GC_ERROR GenTLLibrary::Unregister(void* handle)
{
    return RemoveEntry(handle, &IsOfKind<T>);
}

}  // namespace GenTLCore
