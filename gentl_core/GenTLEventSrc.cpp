// GenTLEventSrc.cpp: a module's events and their registration.
#include "gentl_core/GenTLEventSrc.h"

#include <algorithm>

#include "gentl_core/ErrorHandling.h"
#include "platform/Assert.h"

namespace GenTLCore {

GenTLEventSrc::~GenTLEventSrc() = default;

GC_ERROR GenTLEventSrc::OnRegisterEvent(EVENT_TYPE)
{
    return GC_ERR_SUCCESS;
}

bool GenTLEventSrc::OnUnregisterEvent(EVENT_TYPE)
{
    return true;
}

void GenTLEventSrc::OnEventRegistered(EVENT_TYPE)
{
}

bool GenTLEventSrc::SupportsModuleEvents(size_t& max_data_size)
{
    max_data_size = 0;
    return false;
}

void GenTLEventSrc::OnFinalizeEvents() {}

void GenTLEventSrc::AddEvent(const SharedPtr<GenTLEvent>& event)
{
    if (!TL_ASSERT(event) || !TL_ASSERT(!finalized))
        return;
    const bool inserted = events.emplace(event->GetEventType(), event).second;
    TL_ASSERT_MSG(inserted, "Event type not unique");
}

void GenTLEventSrc::FinalizeEvents(bool force_module_event, size_t module_event_size)
{
    if (!TL_ASSERT(!finalized) || !TL_ASSERT(!err_evt && !mod_evt))
        return;
    OnFinalizeEvents();

    err_evt = SharedPtr<GenTLErrorEvent>(new GenTLErrorEvent());
    err_evt->CompleteConstruction();
    AddEvent(err_evt.DynamicCast<GenTLEvent>());

    size_t supported_size = 0;
    if (SupportsModuleEvents(supported_size) || force_module_event) {
        const size_t forced_size = force_module_event ? module_event_size : 0;
        mod_evt = SharedPtr<GenTLModuleEvent>(
            new GenTLModuleEvent(std::max(supported_size, forced_size)));
        mod_evt->CompleteConstruction();
        AddEvent(mod_evt.DynamicCast<GenTLEvent>());
    }
    finalized = true;
}

GC_ERROR GenTLEventSrc::RegisterEvent(EVENT_TYPE event_type, SharedPtr<GenTLEvent>& evt_candidate)
{
    ScopedLock lock(GetLock());
    TL_ASSERT(finalized);
    TL_ASSERT(!evt_candidate);
    const auto found = events.find(event_type);
    if (found == events.end() || !TL_ASSERT_MSG(found->second, "it_event->second"))
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "RegisterEvent: requested event type not implemented for given module.");
    // Refused before the module's hook runs: a second registration must
    // leave the first, and what the hook started for it, untouched.
    if (found->second->IsOpen())
        return ReportError(GC_ERR_RESOURCE_IN_USE, "Open/Register: requested object is already in use");
    const GC_ERROR result = OnRegisterEvent(event_type);
    if (result == GC_ERR_SUCCESS)
        evt_candidate = found->second;
    return result;
}

GC_ERROR GenTLEventSrc::UnregisterEvent(EVENT_TYPE event_type, SharedPtr<GenTLEvent>& event)
{
    ScopedLock lock(GetLock());
    const auto found = events.find(event_type);
    if (found == events.end() || !TL_ASSERT_MSG(found->second, "it_event->second"))
        return ReportError(
            GC_ERR_NOT_IMPLEMENTED,
            "UnregisterEvent: requested event type not implemented for given module.");
    event = found->second;
    if (!OnUnregisterEvent(event_type))
        return ReportError(GC_ERR_ERROR, "UnregisterEvent: the event type specific cleanup failed.");
    return GC_ERR_SUCCESS;
}

void GenTLEventSrc::RollbackRegisterEvent(EVENT_TYPE event_type)
{
    ScopedLock lock(GetLock());
    OnUnregisterEvent(event_type);
}

void GenTLEventSrc::CompleteRegisterEvent(EVENT_TYPE event_type)
{
    ScopedLock lock(GetLock());
    OnEventRegistered(event_type);
}

}  // namespace GenTLCore
