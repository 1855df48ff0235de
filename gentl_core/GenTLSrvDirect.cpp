// The direct service front: library, last-error, system, interface and
// device calls.
#include "gentl_core/GenTLSrvDirect.h"

#include <cstring>
#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLLocalDevice.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/GenTLSystem.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

// The extra reference by which a library still initialized at unload stays
// alive; reachable from here, so it is kept on purpose, not leaked. Volatile,
// so the optimiser cannot drop a store that nothing reads.
SharedPtr<GenTLLibrary>* volatile kept_alive_library = nullptr;

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

}  // namespace

GenTLSrvDirect::GenTLSrvDirect(const SharedPtr<GenTLLibrary>& lib, bool close_library_on_unload)
    : library(lib), close_on_unload(close_library_on_unload)
{
    TL_ASSERT(lib);
}

GenTLSrvDirect::~GenTLSrvDirect()
{
    if (!library || !library->IsInitialized()) return;
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

    if (piErrorCode != nullptr) *piErrorCode = record.code;
    if (sErrText != nullptr) std::memcpy(sErrText, record.text.c_str(), required);
    if (piSize != nullptr) *piSize = required;
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
    if (opened != GC_ERR_SUCCESS) return opened;
    return RegisterChild(system, GENTL_INVALID_HANDLE, phTL);
}

GC_ERROR GenTLSrvDirect::TLClose(TL_HANDLE hTL)
{
    return library->Unregister<GenTLSystem>(hTL);
}

GC_ERROR GenTLSrvDirect::TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                   void* pBuffer, size_t* piSize)
{
    return Forward<GenTLSystem>(hTL, "system", &GenTLSystem::GetTLInfo, iInfoCmd, piType, pBuffer,
                                piSize);
}

GC_ERROR GenTLSrvDirect::TLGetNumInterfaces(TL_HANDLE hTL, uint32_t* piNumIfaces)
{
    return Forward<GenTLSystem>(hTL, "system", &GenTLSystem::GetNumInterfaces, piNumIfaces);
}

GC_ERROR GenTLSrvDirect::TLGetInterfaceID(TL_HANDLE hTL, uint32_t iIndex, char* sID, size_t* piSize)
{
    return Forward<GenTLSystem>(hTL, "system", &GenTLSystem::GetInterfaceID, iIndex, sID, piSize);
}

GC_ERROR GenTLSrvDirect::TLGetInterfaceInfo(TL_HANDLE hTL, const char* sIfaceID,
                                            INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                            void* pBuffer, size_t* piSize)
{
    return Forward<GenTLSystem>(hTL, "system", &GenTLSystem::GetInterfaceInfo, sIfaceID, iInfoCmd,
                                piType, pBuffer, piSize);
}

// The library lock is held across the open, so no handle changes meanwhile;
// every other consumer call waits for it.
GC_ERROR GenTLSrvDirect::TLOpenInterface(TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface)
{
    ScopedLock pool_lock(library->GetLock());
    return OpenChild<GenTLSystem, GenTLInterface>(hTL, "system", &GenTLSystem::ItfOpen, phIface,
                                                  sIfaceID);
}

GC_ERROR GenTLSrvDirect::TLUpdateInterfaceList(TL_HANDLE hTL, bool8_t* pbChanged, uint64_t iTimeout)
{
    return Forward<GenTLSystem>(hTL, "system", &GenTLSystem::UpdateInterfaceListReportChange,
                                pbChanged, iTimeout);
}

// ---- Interface ----

GC_ERROR GenTLSrvDirect::IFClose(IF_HANDLE hIface)
{
    return library->Unregister<GenTLInterface>(hIface);
}

GC_ERROR GenTLSrvDirect::IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd,
                                   INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLInterface>(hIface, "iface", &GenTLInterface::GetInterfaceInfo, iInfoCmd,
                                   piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices)
{
    return Forward<GenTLInterface>(hIface, "iface", &GenTLInterface::GetNumDevices, piNumDevices);
}

GC_ERROR GenTLSrvDirect::IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID,
                                       size_t* piSize)
{
    return Forward<GenTLInterface>(hIface, "iface", &GenTLInterface::GetDeviceID, iIndex,
                                   sIDeviceID, piSize);
}

GC_ERROR GenTLSrvDirect::IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t iTimeout)
{
    return Forward<GenTLInterface>(hIface, "iface", &GenTLInterface::UpdateDeviceListReportChange,
                                   pbChanged, iTimeout);
}

GC_ERROR GenTLSrvDirect::IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID,
                                         DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                         void* pBuffer, size_t* piSize)
{
    return Forward<GenTLInterface>(hIface, "iface", &GenTLInterface::GetDeviceInfo, sDeviceID,
                                   iInfoCmd, piType, pBuffer, piSize);
}

// As TLOpenInterface: a device open may wait for the device and run a
// discovery, and every other consumer call waits meanwhile.
GC_ERROR GenTLSrvDirect::IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID,
                                      DEVICE_ACCESS_FLAGS iOpenFlags, DEV_HANDLE* phDevice)
{
    ScopedLock pool_lock(library->GetLock());
    return OpenChild<GenTLInterface, GenTLLocalDevice>(hIface, "iface", &GenTLInterface::DevOpen,
                                                       phDevice, sDeviceID, iOpenFlags);
}

// ---- Device ----

GC_ERROR GenTLSrvDirect::DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice)
{
    return OpenChild<GenTLLocalDevice, GenTLRemoteDevice>(
        hDevice, "device", &GenTLLocalDevice::DevGetPort, phRemoteDevice);
}

GC_ERROR GenTLSrvDirect::DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams)
{
    return Forward<GenTLLocalDevice>(hDevice, "device", &GenTLLocalDevice::GetNumDataStreams,
                                     piNumDataStreams);
}

GC_ERROR GenTLSrvDirect::DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex,
                                            char* sDataStreamID, size_t* piSize)
{
    return Forward<GenTLLocalDevice>(hDevice, "device", &GenTLLocalDevice::GetDataStreamID, iIndex,
                                     sDataStreamID, piSize);
}

GC_ERROR GenTLSrvDirect::DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID,
                                           DS_HANDLE* phDataStream)
{
    return OpenChild<GenTLLocalDevice, GenTLDataStream>(
        hDevice, "device", &GenTLLocalDevice::StmOpen, phDataStream, sDataStreamID);
}

GC_ERROR GenTLSrvDirect::DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd,
                                    INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLLocalDevice>(hDevice, "device", &GenTLLocalDevice::GetDeviceInfo, iInfoCmd,
                                     piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::DevClose(DEV_HANDLE hDevice)
{
    return library->Unregister<GenTLLocalDevice>(hDevice);
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

}  // namespace GenTLCore
