// The direct service front: port and event calls.
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLEventSrc.h"
#include "gentl_core/GenTLPort.h"
#include "gentl_core/GenTLSrvDirect.h"

namespace GenTLCore {

// ---- Ports: any module's port and the remote device; each port operation
// checks its arguments and locks the port itself ----

GC_ERROR GenTLSrvDirect::GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer,
                                    size_t* piSize)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::ReadPort, iAddress, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer,
                                     size_t* piSize)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::WritePort, iAddress, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::GetPortURL, sURL, piSize);
}

GC_ERROR GenTLSrvDirect::GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd,
                                       INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::GetPortInfo, iInfoCmd, piType, pBuffer,
                              piSize);
}

GC_ERROR GenTLSrvDirect::GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::GetNumPortURLs, piNumURLs);
}

GC_ERROR GenTLSrvDirect::GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex,
                                          URL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                          void* pBuffer, size_t* piSize)
{
    return Forward<GenTLPort>(hPort, "port", &GenTLPort::GetPortURLInfo, iURLIndex, iInfoCmd,
                              piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                                           size_t* piNumEntries)
{
    return RunStacked(hPort, &GenTLPort::ReadPortStacked, pEntries, piNumEntries);
}

GC_ERROR GenTLSrvDirect::GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                                            size_t* piNumEntries)
{
    return RunStacked(hPort, &GenTLPort::WritePortStacked, pEntries, piNumEntries);
}

GC_ERROR GenTLSrvDirect::RunStacked(PORT_HANDLE hPort, StackedAccess access,
                                    PORT_REGISTER_STACK_ENTRY* pEntries, size_t* piNumEntries)
{
    bool port_found = false;
    const GC_ERROR result = WithObject<GenTLPort>(hPort, "port", [&](GenTLPort& port) {
        port_found = true;
        return (port.*access)(pEntries, piNumEntries);
    });
    // A port that was not found did no entry; the port itself counts the
    // entries it did.
    if (!port_found && piNumEntries != nullptr) *piNumEntries = 0;
    return result;
}

// ---- Event registration: the module is the event source ----

GC_ERROR GenTLSrvDirect::GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID,
                                         EVENT_HANDLE* phEvent)
{
    return WithObject<GenTLEventSrc>(hEventSrc, "evtsrc", [&](GenTLEventSrc& evtsrc) -> GC_ERROR {
        SharedPtr<GenTLEvent> event;
        const GC_ERROR registered = evtsrc.RegisterEvent(iEventID, event);
        if (registered != GC_ERR_SUCCESS) return registered;
        if (!TL_ASSERT(event)) return GC_ERR_ERROR;
        const GC_ERROR published = RegisterChild(event, hEventSrc, phEvent);
        // Undo the module's part only when the event did not open: when
        // another thread's registration of the same type won the race, the
        // event is open for it and must stay intact.
        if (published != GC_ERR_SUCCESS && !event->IsOpen()) evtsrc.RollbackRegisterEvent(iEventID);
        if (published == GC_ERR_SUCCESS) evtsrc.CompleteRegisterEvent(iEventID);
        return published;
    });
}

GC_ERROR GenTLSrvDirect::GCUnregisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID)
{
    return WithObject<GenTLEventSrc>(hEventSrc, "evsrc", [&](GenTLEventSrc& evsrc) -> GC_ERROR {
        SharedPtr<GenTLEvent> evt_candidate;
        const GC_ERROR unregister_err = evsrc.UnregisterEvent(iEventID, evt_candidate);
        TL_ASSERT(evt_candidate || unregister_err != GC_ERR_SUCCESS);
        if (!evt_candidate) return unregister_err != GC_ERR_SUCCESS ? unregister_err : GC_ERR_ERROR;
        const GC_ERROR removed =
            library->Unregister<GenTLEvent>(static_cast<GenTLHandle*>(evt_candidate.Get()));
        return removed != GC_ERR_SUCCESS ? removed : unregister_err;
    });
}

// ---- Events lock themselves; the front holds nothing, so a blocking
// EventGetData keeps no one else waiting ----

GC_ERROR GenTLSrvDirect::EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize,
                                      uint64_t iTimeout)
{
    return Forward<GenTLEvent>(hEvent, "event", &GenTLEvent::GetEventData, pBuffer, piSize,
                               iTimeout);
}

GC_ERROR GenTLSrvDirect::EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer,
                                          size_t iInSize, EVENT_DATA_INFO_CMD iInfoCmd,
                                          INFO_DATATYPE* piType, void* pOutBuffer,
                                          size_t* piOutSize)
{
    return Forward<GenTLEvent>(hEvent, "event", &GenTLEvent::GetEventDataInfo, pInBuffer, iInSize,
                               iInfoCmd, piType, pOutBuffer, piOutSize);
}

GC_ERROR GenTLSrvDirect::EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd,
                                      INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLEvent>(hEvent, "event", &GenTLEvent::GetEventInfo, iInfoCmd, piType,
                               pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::EventFlush(EVENT_HANDLE hEvent)
{
    return Forward<GenTLEvent>(hEvent, "event", &GenTLEvent::FlushEvent);
}

GC_ERROR GenTLSrvDirect::EventKill(EVENT_HANDLE hEvent)
{
    return Forward<GenTLEvent>(hEvent, "event", &GenTLEvent::KillEvent);
}

}  // namespace GenTLCore
