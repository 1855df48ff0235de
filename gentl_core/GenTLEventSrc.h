// GenTLEventSrc.h: the event-source part of every module: the events it
// offers by GenTL event type, and its side of GCRegisterEvent and
// GCUnregisterEvent.
#pragma once

#include <cstddef>
#include <map>

#include "GenTL.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"

namespace GenTLCore {

// A base of every module. The module adds its own events, then calls
// FinalizeEvents once, which adds the error event and, where supported, the
// module event; from then on the set is fixed and events may be registered.
// Unregistering never destroys an event: the source keeps it for its life.
//
// Threads: registration runs in consumer threads under GetLock(); posting to
// an event takes only that event's own lock. The map changes only before
// finalisation, so posters read it unlocked afterwards.
class GenTLEventSrc {
public:
    GenTLEventSrc() = default;
    GenTLEventSrc(const GenTLEventSrc&) = delete;
    GenTLEventSrc& operator=(const GenTLEventSrc&) = delete;
    virtual ~GenTLEventSrc();

    // Before finalisation only; a second event of one type is refused
    // (assertion), keeping the first.
    void AddEvent(const SharedPtr<GenTLEvent>& event);
    // Adds the error event; adds a module event when SupportsModuleEvents
    // says so or `force_module_event` is set, with room for the larger of
    // both sizes. Then the set is final.
    void FinalizeEvents(bool force_module_event, size_t module_event_size);

    // Hands out the event of `event_type` for the handle pool to open, after
    // OnRegisterEvent agreed. -1003 when this module has no such event,
    // -1004 when it is registered already (nothing is handed out).
    GC_ERROR RegisterEvent(EVENT_TYPE event_type, SharedPtr<GenTLEvent>& evt_candidate);
    // Hands out the event of `event_type` for the handle pool to close, then
    // runs OnUnregisterEvent. -1003 when this module has no such event.
    GC_ERROR UnregisterEvent(EVENT_TYPE event_type, SharedPtr<GenTLEvent>& event);
    // Undoes the module's part of a registration the handle pool refused.
    void RollbackRegisterEvent(EVENT_TYPE event_type);
    // Runs OnEventRegistered once the handle pool has opened the event.
    void CompleteRegisterEvent(EVENT_TYPE event_type);

    // For the module's own posting; empty before finalisation, and the module
    // event also when the module has none.
    SharedPtr<GenTLErrorEvent> GetErrorEvent() const { return err_evt; }
    SharedPtr<GenTLModuleEvent> GetModuleEvent() const { return mod_evt; }

protected:
    // Module-specific work when an event type is registered or unregistered;
    // both run under GetLock().
    virtual GC_ERROR OnRegisterEvent(EVENT_TYPE event_type);
    virtual bool OnUnregisterEvent(EVENT_TYPE event_type);
    // The event is open and queues: what the module kept for its consumer
    // may be posted now. Under GetLock().
    virtual void OnEventRegistered(EVENT_TYPE event_type);
    // The lock that guards registration: the module's handle lock.
    virtual Mutex& GetLock() = 0;
    // Whether the module posts module events, with their largest data size.
    virtual bool SupportsModuleEvents(size_t& max_data_size);
    virtual void OnFinalizeEvents();

private:
    // Destroyed in reverse: mod_evt, err_evt, then the map.
    std::map<EVENT_TYPE, SharedPtr<GenTLEvent>> events;
    SharedPtr<GenTLErrorEvent> err_evt;
    SharedPtr<GenTLModuleEvent> mod_evt;
    bool finalized = false;
};

}  // namespace GenTLCore
