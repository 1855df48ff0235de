// GenTLSrvDirect.h: the service front that executes the GenTL calls.
#pragma once

#include <type_traits>
#include <utility>

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLHandle.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/GenTLPort.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"
#include "platform/Assert.h"

namespace GenTLCore {

// Turns each call's handles into typed objects through the library's handle
// pool, makes the argument checks the modules leave to it, and calls the
// module operation; opened objects are registered in the pool. The calls
// are split by family: library, system, interface and device calls in
// GenTLSrvDirect.cpp, port and event calls in GenTLSrvDirectPort.cpp, data
// stream and buffer calls in GenTLSrvDirectStream.cpp.
//
// Lifetime: one instance, created by Configure() with the library and deleted
// by the core teardown. At deletion a still initialized library is closed
// when the branding asked for that, otherwise kept alive for good.
// Threads: consumer threads call every operation concurrently; the front has
// no lock of its own. Locks it takes: the library lock (through the pool),
// then an object's handle lock; never the reverse, so it never registers or
// looks up while holding an object's lock.
class GenTLSrvDirect : public GenTLSrv {
public:
    GenTLSrvDirect(const SharedPtr<GenTLLibrary>& lib, bool close_library_on_unload);
    ~GenTLSrvDirect() override;

    GENTL_FUNCTION_LIST(GENTL_SRV_DECLARE_OVERRIDE)

private:
    // Looks `handle` up as a T and runs `operation(T&)`; a failed lookup's
    // code comes back as it is (the pool has reported it). `object_name`
    // names the object in the assertion on an empty result.
    template <class T, class Operation>
    GC_ERROR WithObject(void* handle, const char* object_name, Operation&& operation);
    // Looks `handle` up as a T and calls its member `operation` with `args`.
    template <class T, class C, class... Params, class... Args>
    GC_ERROR Forward(void* handle, const char* object_name, GC_ERROR (C::*operation)(Params...),
                     Args&&... args)
    {
        static_assert(std::is_base_of_v<C, T>);
        return WithObject<T>(handle, object_name, [&](T& object) {
            return (object.*operation)(std::forward<Args>(args)...);
        });
    }
    // Asks the T of `handle` for a Child with `open(args..., child)` and
    // registers the child under `handle`.
    template <class T, class Child, class C, class... Params, class... Args>
    GC_ERROR OpenChild(void* handle, const char* object_name, GC_ERROR (C::*open)(Params...),
                       void** out, Args&&... args)
    {
        static_assert(std::is_base_of_v<C, T>);
        return WithObject<T>(handle, object_name, [&](T& object) -> GC_ERROR {
            SharedPtr<Child> child;
            const GC_ERROR opened = (object.*open)(std::forward<Args>(args)..., child);
            if (opened != GC_ERR_SUCCESS) return opened;
            return RegisterChild(child, handle, out);
        });
    }
    // WithObject, with the object's handle lock held across `operation`.
    template <class T, class Operation>
    GC_ERROR WithLockedObject(void* handle, const char* object_name, Operation&& operation);
    // Publishes an object a module has just handed out as a child of
    // `parent`; the pool opens it, checks `out` and writes the handle.
    template <class T>
    GC_ERROR RegisterChild(const SharedPtr<T>& object, void* parent, void** out)
    {
        return library->Register(object.template DynamicCast<GenTLHandle>(), parent, out);
    }

    // Runs `query(GenTLBuffer&)` on a buffer the stream announced, under the
    // stream's lock; otherwise -1006 with "<operation>: the required buffer
    // was not announced in the data stream.".
    template <class Query>
    GC_ERROR WithAnnouncedBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                 const char* operation, Query&& query);
    // Runs `announce(GenTLDataStream&, SharedPtr<GenTLBuffer>&)` and
    // registers the new buffer under the stream, taking it back when that fails.
    template <class Announce>
    GC_ERROR AnnounceAndRegister(DS_HANDLE hDataStream, BUFFER_HANDLE* phBuffer,
                                 Announce&& announce);
    // GCReadPortStacked and GCWritePortStacked.
    using StackedAccess = GC_ERROR (GenTLPort::*)(PORT_REGISTER_STACK_ENTRY*, size_t*);
    GC_ERROR RunStacked(PORT_HANDLE hPort, StackedAccess access,
                        PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries);

    // Fixed at construction.
    const SharedPtr<GenTLLibrary> library;
    const bool close_on_unload;
};

template <class T, class Operation>
GC_ERROR GenTLSrvDirect::WithObject(void* handle, const char* object_name, Operation&& operation)
{
    GC_ERROR found = GC_ERR_SUCCESS;
    const SharedPtr<T> object = library->LookupShared<T>(handle, found);
    if (found != GC_ERR_SUCCESS) return found;
    if (!object) {
        Platform::ReportAssertion(object_name, __FILE__, __LINE__);
        return GC_ERR_ERROR;
    }
    return std::forward<Operation>(operation)(*object);
}

template <class T, class Operation>
GC_ERROR GenTLSrvDirect::WithLockedObject(void* handle, const char* object_name,
                                          Operation&& operation)
{
    return WithObject<T>(handle, object_name, [&operation](T& object) {
        ScopedLock lock(object.GetHandleLock());
        return std::forward<Operation>(operation)(object);
    });
}

}  // namespace GenTLCore
