// The library object: GCInitLib, GCCloseLib and the handle pool.
#include "gentl_core/GenTLLibrary.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

// Version of this framework, in the start-up log line.
constexpr int CORE_VERSION_MAJOR = 3;
constexpr int CORE_VERSION_MINOR = 2;

// Library objects ever made in this process: there must be one only.
std::atomic<uint32_t> library_objects{0};

}  // namespace

// ---- Library ----

GenTLLibrary::GenTLLibrary()
{
    if (library_objects.fetch_add(1) != 0)
        TL_ASSERT_MSG(false, "GenTL library object instantiated more than once");
}

GenTLLibrary::~GenTLLibrary()
{
    TL_ASSERT(!initialized);
}

GC_ERROR GenTLLibrary::InitLib()
{
    ScopedLock lock(library_lock);
    if (initialized)
        return ReportError(GC_ERR_RESOURCE_IN_USE,
                           "InitLib: attempt to initialize library, that is already initialized.");
    if (RequiresGlobalLock() && !AcquireGlobalLock())
        return ReportError(GC_ERR_RESOURCE_IN_USE,
                           "InitLib: the library is already in use in another process.");

    TL_LOG(LOG_CATEGORY_LIBRARY, LOG_LEVEL_INFO)
        << "Initializing the GenTL Producer: " << GetBranding().VendorName() << " "
        << GetBranding().ModelName() << " " << GetBranding().Version() << " (GenTL Core version "
        << CORE_VERSION_MAJOR << "." << CORE_VERSION_MINOR << ")\n";
    OnInitialize();
    // Before the infrastructure hook, so that its failure stays readable.
    if (TLSControl* store = TLSControl::Instance())
        store->ResetAllLastErrors();

    if (!InitTLInfrastructure()) {
        // Give the cross-process lock back, or no later InitLib could succeed.
        ReleaseGlobalLock();
        return ReportError(GC_ERR_ERROR,
                           "InitLib: Initialization of TL-specific library infrastructure failed.");
    }
    if (!pool.empty()) {
        TL_ASSERT_MSG(false, "Handle pool contains rubbish upon initialization");
        pool.clear();
    }
    TL_ASSERT(!system);
    system = CreateCompletedSystem();
    if (!system) {
        CloseTLInfrastructure();
        ReleaseGlobalLock();
        return ReportError(GC_ERR_OUT_OF_MEMORY, "InitLib: failed to create the system module");
    }
    initialized = true;
    return GC_ERR_SUCCESS;
}

SharedPtr<GenTLSystem> GenTLLibrary::CreateCompletedSystem()
{
    SharedPtr<GenTLSystem> created;
    if (!TryAllocate([&] {
            created = CreateSystem();
            if (created)
                created->CompleteConstruction();
        }))
        return system;  // still empty; copying it needs no memory
    return created;
}

GC_ERROR GenTLLibrary::CloseLib()
{
    ScopedLock lock(library_lock);
    if (!initialized)
        return ReportError(GC_ERR_NOT_INITIALIZED,
                           "CloseLib: attempt to close library, that is not initialized.");
    if (TL_ASSERT(system) && system->IsOpen())
        RemoveEntry(static_cast<GenTLHandle*>(system.Get()), &IsOfKind<GenTLSystem>);
    system.Reset();
    if (!pool.empty()) {
        TL_ASSERT_MSG(pool.empty(), "pool.empty ()");
        // Dropped without closing: nothing below a closed system can still be open.
        pool.clear();
    }
    const bool infrastructure_closed = CloseTLInfrastructure();
    ReleaseGlobalLock();
    initialized = false;
    if (!infrastructure_closed)
        return ReportError(
            GC_ERR_ERROR,
            "CloseLib: Uninitialization of TL-specific library infrastructure failed.");
    return GC_ERR_SUCCESS;
}

bool GenTLLibrary::IsInitialized()
{
    ScopedLock lock(library_lock);
    return initialized;
}

// The lock's name is read from the branding in force now, not at
// construction, when the factories still see the default branding.
bool GenTLLibrary::AcquireGlobalLock()
{
    auto candidate = std::make_unique<GlobalLock>(GetBranding().GlobalLockName());
    if (!candidate->Acquire())
        return false;
    global_lock = std::move(candidate);
    return true;
}

void GenTLLibrary::ReleaseGlobalLock()
{
    if (global_lock) {
        global_lock->Release();
        global_lock.reset();
    }
}

GC_ERROR GenTLLibrary::SysOpen(SharedPtr<GenTLSystem>& sys_candidate)
{
    ScopedLock lock(library_lock);
    TL_ASSERT(!sys_candidate);
    if (!initialized)
        return ReportError(GC_ERR_NOT_INITIALIZED,
                           "SysOpen: attempt to open a system handle with uninitialized library.");
    TL_ASSERT(system);
    sys_candidate = system;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLibrary::GetLibInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                  size_t* size)
{
    ScopedLock lock(library_lock);
    if (!initialized)
        return ReportError(GC_ERR_NOT_INITIALIZED, "GetLibInfo: the library is not initialized.");
    if (!TL_ASSERT(system))
        return GC_ERR_ERROR;
    return system->GetTLInfo(command, type, buffer, size);
}

// ---- Handle pool ----

GC_ERROR GenTLLibrary::Register(const SharedPtr<GenTLHandle>& candidate, void* hparent, void** out)
{
    ScopedLock lock(library_lock);
    if (!TL_ASSERT(initialized))
        return ReportError(
            GC_ERR_NOT_INITIALIZED,
            "Open/Register: attempt to use an open handle operation with uninitialized library.");
    if (out == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "Open/Register: invalid output handle pointer.");
    if (!TL_ASSERT(candidate))
        return ReportError(
            GC_ERR_ERROR,
            "Open/Register: internal failure when looking up the opened object instance.");
    // A parent closed meanwhile by another thread: registering under it would
    // leave an open object that no close ever reaches.
    if (!TL_ASSERT(hparent == GENTL_INVALID_HANDLE || pool.find(hparent) != pool.end()))
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "Open/Register: parent handle not found in the pool");

    void* const handle = candidate.Get();
    if (pool.find(handle) != pool.end()) {
        // Every DevGetPort hands out the device's one remote device again.
        if (dynamic_cast<GenTLRemoteDevice*>(candidate.Get()) == nullptr)
            return ReportError(GC_ERR_RESOURCE_IN_USE,
                               "Open/Register: requested object is already in use");
        TL_ASSERT_MSG(candidate->IsOpen(), "candidate->IsOpen ()");
        TL_LOG(LOG_CATEGORY_HPOOL, LOG_LEVEL_INFO)
            << "Reopened remote device handle: " << candidate->GetUniqueString() << "\n";
        *out = handle;
        return GC_ERR_SUCCESS;
    }
    TL_ASSERT_MSG(!candidate->IsOpen(), "!candidate->IsOpen ()");
    const GC_ERROR opened = candidate->Open();
    if (opened != GC_ERR_SUCCESS)
        return opened;
    try {
        pool.emplace(handle, PoolEntry{hparent, candidate});
    } catch (...) {
        // Whatever the failure, the export reports it; the open must not stay.
        candidate->Close();
        throw;
    }
    TL_LOG(LOG_CATEGORY_HPOOL, LOG_LEVEL_INFO)
        << "Handle added to the pool: " << candidate->GetUniqueString() << "\n";
    *out = handle;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLLibrary::FindForLookup(void* handle, const SharedPtr<GenTLHandle>*& object)
{
    if (!initialized)
        return ReportError(GC_ERR_NOT_INITIALIZED,
                           "Attempt to perform operations on an uninitialized library.");
    const auto entry = pool.find(handle);
    if (entry == pool.end())
        return ReportError(GC_ERR_INVALID_HANDLE, "Requested handle not found in the pool");
    TL_ASSERT_MSG(entry->second.ptr, "pool_entry->second.ptr");
    object = &entry->second.ptr;
    return GC_ERR_SUCCESS;
}

// Children are removed first, in ascending handle order, whatever their
// results; the entry goes even when closing its object fails.
GC_ERROR GenTLLibrary::RemoveEntry(void* handle, KindCheck is_kind)
{
    ScopedLock lock(library_lock);
    if (!initialized)
        return ReportError(GC_ERR_NOT_INITIALIZED,
                           "Close/Unregister: attempt to use a close handle operation with "
                           "uninitialized library.");
    const auto entry = pool.find(handle);
    if (entry == pool.end())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "Close/Unregister: requested handle not found in the pool");
    const SharedPtr<GenTLHandle> object = entry->second.ptr;
    if (!is_kind(object))
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "Close/Unregister: requested handle is of unexpected type");

    std::vector<void*> children;
    for (const auto& [child, child_entry] : pool) {
        if (child_entry.hparent == handle)
            children.push_back(child);
    }
    for (void* child : children)
        RemoveEntry(child, &IsOfKind<GenTLHandle>);

    const GC_ERROR closed = object->Close();
    TL_LOG(LOG_CATEGORY_HPOOL, LOG_LEVEL_INFO)
        << "Handle to be removed from the pool: " << object->GetUniqueString() << "\n";
    pool.erase(handle);
    return closed;
}

GC_ERROR GenTLLibrary::GetParent(void* handle, void** out)
{
    ScopedLock lock(library_lock);
    if (!initialized)
        return ReportError(
            GC_ERR_NOT_INITIALIZED,
            "GetParent: attempt to use a get-parent opreration with uninitialized library.");
    if (out == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetParent: invalid parent handle pointer");
    const auto entry = pool.find(handle);
    if (entry == pool.end())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "GetParent: requested handle not found in the pool");
    void* const parent = entry->second.hparent;
    // The system's parent is 0, which is never pooled.
    if (parent != GENTL_INVALID_HANDLE)
        TL_ASSERT_MSG(pool.find(parent) != pool.end(),
                      "pool.end () != pool.find (pool_entry->second.hparent)");
    *out = parent;
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore
