// The direct service front: library, last-error and system calls.
#include "gentl_core/GenTLSrvDirect.h"

#include <cstring>
#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

// The extra reference by which a library still initialized at unload stays
// alive; reachable from here, so it is kept on purpose, not leaked.
SharedPtr<GenTLLibrary>* kept_alive_library = nullptr;

bool Relaxed()
{
    return GetBranding().RelaxedPointerChecks();
}

// GCGetLastError's own failures are logged but never stored: the error being
// asked for stays as it was.
GC_ERROR LogOnly(GC_ERROR code, const std::string& text)
{
    LogCallFailure(code, text);
    return code;
}

GC_ERROR NotImplemented(const char* function)
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED, std::string(function) + ": not implemented yet");
}

}  // namespace

GenTLSrvDirect::GenTLSrvDirect(const SharedPtr<GenTLLibrary>& lib, bool close_library_on_unload)
    : library(lib), close_on_unload(close_library_on_unload)
{
    TL_ASSERT(lib);
}

GenTLSrvDirect::~GenTLSrvDirect()
{
    if (!library || !library->IsInitialized())
        return;
    if (close_on_unload)
        library->CloseLib();
    else
        kept_alive_library = new SharedPtr<GenTLLibrary>(library);
}

// ---- Library and last error ----

GC_ERROR GenTLSrvDirect::GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                                   size_t* piSize)
{
    return library->GetLibInfo(iInfoCmd, piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::GCGetLastError(GC_ERROR* piErrorCode, char* sErrText, size_t* piSize)
{
    if (!Relaxed() && !library->IsInitialized())
        return LogOnly(GC_ERR_NOT_INITIALIZED, "Library not properly initialized");
    LastErrorRecord record;
    TLSControl* store = TLSControl::Instance();
    if (store == nullptr || !store->GetLastError(record))
        return LogOnly(GC_ERR_ERROR, "Internal error when querying last error info");
    const size_t required = record.text.size() + 1;

    if (piErrorCode == nullptr && !Relaxed())
        return LogOnly(GC_ERR_INVALID_PARAMETER,
                       "The parameter specifying the error code value destintation was invalid.");
    if (piSize == nullptr && !(sErrText == nullptr && Relaxed()))
        return LogOnly(GC_ERR_INVALID_PARAMETER,
                       "The parameter specifying the error text size was invalid.");
    if (sErrText != nullptr && *piSize < required)
        return LogOnly(GC_ERR_BUFFER_TOO_SMALL,
                       "The passed buffer was too small to hold the requested information.");

    if (piErrorCode != nullptr)
        *piErrorCode = record.code;
    if (sErrText != nullptr)
        std::memcpy(sErrText, record.text.c_str(), required);
    if (piSize != nullptr)
        *piSize = required;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLSrvDirect::GCInitLib()
{
    return library->InitLib();
}

GC_ERROR GenTLSrvDirect::GCCloseLib()
{
    return library->CloseLib();
}

// ---- System ----

GC_ERROR GenTLSrvDirect::TLOpen(TL_HANDLE* phTL)
{
    SharedPtr<GenTLSystem> system;
    const GC_ERROR opened = library->SysOpen(system);
    if (opened != GC_ERR_SUCCESS)
        return opened;
    return library->Register(system.DynamicCast<GenTLHandle>(), GENTL_INVALID_HANDLE, phTL);
}

GC_ERROR GenTLSrvDirect::TLClose(TL_HANDLE hTL)
{
    return library->Unregister<GenTLSystem>(hTL);
}

GC_ERROR GenTLSrvDirect::TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                   void* pBuffer, size_t* piSize)
{
    SharedPtr<GenTLSystem> system;
    const GC_ERROR found = library->Lookup(hTL, system);
    if (found != GC_ERR_SUCCESS)
        return found;
    if (!TL_ASSERT(system))
        return GC_ERR_ERROR;
    return system->GetTLInfo(iInfoCmd, piType, pBuffer, piSize);
}

// ---- Parents: any pooled handle, whatever its kind ----

GC_ERROR GenTLSrvDirect::IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem)
{
    return library->GetParent(hIface, phSystem);
}

GC_ERROR GenTLSrvDirect::DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface)
{
    return library->GetParent(hDevice, phIface);
}

GC_ERROR GenTLSrvDirect::DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice)
{
    return library->GetParent(hDataStream, phDevice);
}

// ---- Not built yet: ports, events, interfaces, devices, streams, buffers ----
// TODO: each comes with its module and replaces its stub here.

GC_ERROR GenTLSrvDirect::GCReadPort(PORT_HANDLE, uint64_t, void*, size_t*)
{
    return NotImplemented("GCReadPort");
}

GC_ERROR GenTLSrvDirect::GCWritePort(PORT_HANDLE, uint64_t, const void*, size_t*)
{
    return NotImplemented("GCWritePort");
}

GC_ERROR GenTLSrvDirect::GCGetPortURL(PORT_HANDLE, char*, size_t*)
{
    return NotImplemented("GCGetPortURL");
}

GC_ERROR GenTLSrvDirect::GCGetPortInfo(PORT_HANDLE, PORT_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("GCGetPortInfo");
}

GC_ERROR GenTLSrvDirect::GCRegisterEvent(EVENTSRC_HANDLE, EVENT_TYPE, EVENT_HANDLE*)
{
    return NotImplemented("GCRegisterEvent");
}

GC_ERROR GenTLSrvDirect::GCUnregisterEvent(EVENTSRC_HANDLE, EVENT_TYPE)
{
    return NotImplemented("GCUnregisterEvent");
}

GC_ERROR GenTLSrvDirect::EventGetData(EVENT_HANDLE, void*, size_t*, uint64_t)
{
    return NotImplemented("EventGetData");
}

GC_ERROR GenTLSrvDirect::EventGetDataInfo(EVENT_HANDLE, const void*, size_t, EVENT_DATA_INFO_CMD,
                                          INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("EventGetDataInfo");
}

GC_ERROR GenTLSrvDirect::EventGetInfo(EVENT_HANDLE, EVENT_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("EventGetInfo");
}

GC_ERROR GenTLSrvDirect::EventFlush(EVENT_HANDLE)
{
    return NotImplemented("EventFlush");
}

GC_ERROR GenTLSrvDirect::EventKill(EVENT_HANDLE)
{
    return NotImplemented("EventKill");
}

GC_ERROR GenTLSrvDirect::TLGetNumInterfaces(TL_HANDLE, uint32_t*)
{
    return NotImplemented("TLGetNumInterfaces");
}

GC_ERROR GenTLSrvDirect::TLGetInterfaceID(TL_HANDLE, uint32_t, char*, size_t*)
{
    return NotImplemented("TLGetInterfaceID");
}

GC_ERROR GenTLSrvDirect::TLGetInterfaceInfo(TL_HANDLE, const char*, INTERFACE_INFO_CMD,
                                            INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("TLGetInterfaceInfo");
}

GC_ERROR GenTLSrvDirect::TLOpenInterface(TL_HANDLE, const char*, IF_HANDLE*)
{
    return NotImplemented("TLOpenInterface");
}

GC_ERROR GenTLSrvDirect::TLUpdateInterfaceList(TL_HANDLE, bool8_t*, uint64_t)
{
    return NotImplemented("TLUpdateInterfaceList");
}

GC_ERROR GenTLSrvDirect::IFClose(IF_HANDLE)
{
    return NotImplemented("IFClose");
}

GC_ERROR GenTLSrvDirect::IFGetInfo(IF_HANDLE, INTERFACE_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("IFGetInfo");
}

GC_ERROR GenTLSrvDirect::IFGetNumDevices(IF_HANDLE, uint32_t*)
{
    return NotImplemented("IFGetNumDevices");
}

GC_ERROR GenTLSrvDirect::IFGetDeviceID(IF_HANDLE, uint32_t, char*, size_t*)
{
    return NotImplemented("IFGetDeviceID");
}

GC_ERROR GenTLSrvDirect::IFUpdateDeviceList(IF_HANDLE, bool8_t*, uint64_t)
{
    return NotImplemented("IFUpdateDeviceList");
}

GC_ERROR GenTLSrvDirect::IFGetDeviceInfo(IF_HANDLE, const char*, DEVICE_INFO_CMD, INFO_DATATYPE*,
                                         void*, size_t*)
{
    return NotImplemented("IFGetDeviceInfo");
}

GC_ERROR GenTLSrvDirect::IFOpenDevice(IF_HANDLE, const char*, DEVICE_ACCESS_FLAGS, DEV_HANDLE*)
{
    return NotImplemented("IFOpenDevice");
}

GC_ERROR GenTLSrvDirect::DevGetPort(DEV_HANDLE, PORT_HANDLE*)
{
    return NotImplemented("DevGetPort");
}

GC_ERROR GenTLSrvDirect::DevGetNumDataStreams(DEV_HANDLE, uint32_t*)
{
    return NotImplemented("DevGetNumDataStreams");
}

GC_ERROR GenTLSrvDirect::DevGetDataStreamID(DEV_HANDLE, uint32_t, char*, size_t*)
{
    return NotImplemented("DevGetDataStreamID");
}

GC_ERROR GenTLSrvDirect::DevOpenDataStream(DEV_HANDLE, const char*, DS_HANDLE*)
{
    return NotImplemented("DevOpenDataStream");
}

GC_ERROR GenTLSrvDirect::DevGetInfo(DEV_HANDLE, DEVICE_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("DevGetInfo");
}

GC_ERROR GenTLSrvDirect::DevClose(DEV_HANDLE)
{
    return NotImplemented("DevClose");
}

GC_ERROR GenTLSrvDirect::DSAnnounceBuffer(DS_HANDLE, void*, size_t, void*, BUFFER_HANDLE*)
{
    return NotImplemented("DSAnnounceBuffer");
}

GC_ERROR GenTLSrvDirect::DSAllocAndAnnounceBuffer(DS_HANDLE, size_t, void*, BUFFER_HANDLE*)
{
    return NotImplemented("DSAllocAndAnnounceBuffer");
}

GC_ERROR GenTLSrvDirect::DSFlushQueue(DS_HANDLE, ACQ_QUEUE_TYPE)
{
    return NotImplemented("DSFlushQueue");
}

GC_ERROR GenTLSrvDirect::DSStartAcquisition(DS_HANDLE, ACQ_START_FLAGS, uint64_t)
{
    return NotImplemented("DSStartAcquisition");
}

GC_ERROR GenTLSrvDirect::DSStopAcquisition(DS_HANDLE, ACQ_STOP_FLAGS)
{
    return NotImplemented("DSStopAcquisition");
}

GC_ERROR GenTLSrvDirect::DSGetInfo(DS_HANDLE, STREAM_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("DSGetInfo");
}

GC_ERROR GenTLSrvDirect::DSGetBufferID(DS_HANDLE, uint32_t, BUFFER_HANDLE*)
{
    return NotImplemented("DSGetBufferID");
}

GC_ERROR GenTLSrvDirect::DSClose(DS_HANDLE)
{
    return NotImplemented("DSClose");
}

GC_ERROR GenTLSrvDirect::DSRevokeBuffer(DS_HANDLE, BUFFER_HANDLE, void**, void**)
{
    return NotImplemented("DSRevokeBuffer");
}

GC_ERROR GenTLSrvDirect::DSQueueBuffer(DS_HANDLE, BUFFER_HANDLE)
{
    return NotImplemented("DSQueueBuffer");
}

GC_ERROR GenTLSrvDirect::DSGetBufferInfo(DS_HANDLE, BUFFER_HANDLE, BUFFER_INFO_CMD, INFO_DATATYPE*,
                                         void*, size_t*)
{
    return NotImplemented("DSGetBufferInfo");
}

GC_ERROR GenTLSrvDirect::GCGetNumPortURLs(PORT_HANDLE, uint32_t*)
{
    return NotImplemented("GCGetNumPortURLs");
}

GC_ERROR GenTLSrvDirect::GCGetPortURLInfo(PORT_HANDLE, uint32_t, URL_INFO_CMD, INFO_DATATYPE*,
                                          void*, size_t*)
{
    return NotImplemented("GCGetPortURLInfo");
}

GC_ERROR GenTLSrvDirect::GCReadPortStacked(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*, size_t*)
{
    return NotImplemented("GCReadPortStacked");
}

GC_ERROR GenTLSrvDirect::GCWritePortStacked(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*, size_t*)
{
    return NotImplemented("GCWritePortStacked");
}

GC_ERROR GenTLSrvDirect::DSGetBufferChunkData(DS_HANDLE, BUFFER_HANDLE, SINGLE_CHUNK_DATA*, size_t*)
{
    return NotImplemented("DSGetBufferChunkData");
}

GC_ERROR GenTLSrvDirect::DSGetNumBufferParts(DS_HANDLE, BUFFER_HANDLE, uint32_t*)
{
    return NotImplemented("DSGetNumBufferParts");
}

GC_ERROR GenTLSrvDirect::DSGetBufferPartInfo(DS_HANDLE, BUFFER_HANDLE, uint32_t,
                                             BUFFER_PART_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("DSGetBufferPartInfo");
}

GC_ERROR GenTLSrvDirect::DSAnnounceCompositeBuffer(DS_HANDLE, size_t, void**, size_t*, void*,
                                                   BUFFER_HANDLE*)
{
    return NotImplemented("DSAnnounceCompositeBuffer");
}

GC_ERROR GenTLSrvDirect::DSGetBufferInfoStacked(DS_HANDLE, BUFFER_HANDLE, DS_BUFFER_INFO_STACKED*,
                                                size_t)
{
    return NotImplemented("DSGetBufferInfoStacked");
}

GC_ERROR GenTLSrvDirect::DSGetBufferPartInfoStacked(DS_HANDLE, BUFFER_HANDLE,
                                                    DS_BUFFER_PART_INFO_STACKED*, size_t)
{
    return NotImplemented("DSGetBufferPartInfoStacked");
}

GC_ERROR GenTLSrvDirect::DSGetNumFlows(DS_HANDLE, uint32_t*)
{
    return NotImplemented("DSGetNumFlows");
}

GC_ERROR GenTLSrvDirect::DSGetFlowInfo(DS_HANDLE, uint32_t, FLOW_INFO_CMD, INFO_DATATYPE*, void*,
                                       size_t*)
{
    return NotImplemented("DSGetFlowInfo");
}

GC_ERROR GenTLSrvDirect::DSGetNumBufferSegments(DS_HANDLE, BUFFER_HANDLE, uint32_t*)
{
    return NotImplemented("DSGetNumBufferSegments");
}

GC_ERROR GenTLSrvDirect::DSGetBufferSegmentInfo(DS_HANDLE, BUFFER_HANDLE, uint32_t,
                                                SEGMENT_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return NotImplemented("DSGetBufferSegmentInfo");
}

}  // namespace GenTLCore
