#include "gentl_core/GenTLHandle.h"

#include "gentl_core/ErrorHandling.h"
#include "platform/Assert.h"

namespace GenTLCore {

// No check of fully_constructed: a constructor or finishing step that threw
// (out of memory) leaves an incomplete object, and destroying it is ordinary.
GenTLHandle::~GenTLHandle() = default;

std::string GenTLHandle::GetUniqueString()
{
    return GetID();
}

GC_ERROR GenTLHandle::Open()
{
    ScopedLock lock(handle_lock);
    // An object without its finishing step lacks what its operations rely on.
    if (!TL_ASSERT(fully_constructed))
        return ReportError(GC_ERR_ERROR, "Open: object is not fully constructed");
    const GC_ERROR result = DoOpen();
    if (result == GC_ERR_SUCCESS)
        open = true;
    return result;
}

GC_ERROR GenTLHandle::Close()
{
    ScopedLock lock(handle_lock);
    open = false;
    const GC_ERROR result = DoClose();
    if (clear_not_available_on_close)
        not_available = false;
    clear_not_available_on_close = false;
    return result;
}

bool GenTLHandle::IsOpen()
{
    ScopedLock lock(handle_lock);
    return open;
}

bool GenTLHandle::IsNotAvailable()
{
    ScopedLock lock(handle_lock);
    return not_available;
}

void GenTLHandle::SetNotAvailable()
{
    ScopedLock lock(handle_lock);
    not_available = true;
    OnNotAvailable();
}

void GenTLHandle::ClearNotAvailable()
{
    ScopedLock lock(handle_lock);
    if (!not_available)
        return;
    if (open)
        clear_not_available_on_close = true;
    else
        not_available = false;
}

void GenTLHandle::CompleteConstruction()
{
    ScopedLock lock(handle_lock);
    if (!TL_ASSERT(!fully_constructed))
        return;
    FinalizeConstruction();
    fully_constructed = true;
}

GC_ERROR GenTLHandle::DoOpen()
{
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLHandle::DoClose()
{
    return GC_ERR_SUCCESS;
}

void GenTLHandle::OnNotAvailable() {}

void GenTLHandle::FinalizeConstruction() {}

}  // namespace GenTLCore
