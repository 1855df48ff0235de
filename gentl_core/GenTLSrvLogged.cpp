// The call-log front: one line before and one after every GenTL call.
#include "gentl_core/GenTLSrvLogged.h"

#include <type_traits>

#include "gentl_core/CallLogFormat.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {

bool CallLogOn()
{
    return GetLogLevel() >= LOG_LEVEL_INFO;
}

// For a call that logs no inputs or no outputs.
struct NoPairs {
    void operator()(CallLogLine&) const {}
};
constexpr NoPairs NO_PAIRS;

// A line that cannot be built (out of memory) is dropped: logging must never
// change a call's outcome.
template <typename Pairs>
void WriteCalledLine(const char* function, const Pairs& inputs) noexcept
{
    try {
        TLLogMessage message(LOG_CATEGORY_TLCALL, static_cast<int32_t>(LOG_LEVEL_INFO));
        message << "Called " << function << " (";
        CallLogLine line(message);
        inputs(line);
        message << ")\n";
    } catch (...) {
    }
}

template <typename Pairs>
void WriteReturnedLine(GC_ERROR result, const Pairs& outputs) noexcept
{
    try {
        TLLogMessage message(LOG_CATEGORY_TLCALL, static_cast<int32_t>(LOG_LEVEL_INFO));
        message << "...returned " << result << " [" << FormatErrorName(result) << "]";
        if constexpr (!std::is_same_v<Pairs, NoPairs>) {
            message << ", ";
            CallLogLine line(message);
            outputs(line);
        }
        message << "\n";
    } catch (...) {
    }
}

// A slot of the inner front and the name its lines carry.
template <typename Slot>
struct CallSite {
    Slot slot;
    const char* function;
};
// Clang 14 (the fuzz build) does not deduce an aggregate's arguments itself.
template <typename Slot>
CallSite(Slot, const char*) -> CallSite<Slot>;

// Keeps a wrapper's slot and its logged name the same.
#define SLOT(name)             \
    CallSite                   \
    {                          \
        &GenTLSrv::name, #name \
    }

// The four steps every operation shares. The level is read once per line, so
// a level changed during the call may leave one line of the pair alone.
template <typename Slot, typename Inputs, typename Outputs, typename... Args>
GC_ERROR LogCall(GenTLSrv* inner, CallSite<Slot> site, const Inputs& inputs, const Outputs& outputs,
                 Args... args)
{
    if (CallLogOn()) [[unlikely]]
        WriteCalledLine(site.function, inputs);
    const GC_ERROR result =
        inner != nullptr ? (inner->*site.slot)(args...) : GC_ERR_NOT_INITIALIZED;
    if (CallLogOn()) [[unlikely]]
        WriteReturnedLine(result, outputs);
    return result;
}

// The four arguments every get-info call ends with.
struct InfoQuery {
    int32_t command;
    INFO_DATATYPE* type;
    void* buffer;
    size_t* size;
};

// A get-info call: `leading` writes the pairs of the arguments before the
// query, which `leading_args` are.
template <typename Slot, typename Leading, typename... LeadingArgs>
GC_ERROR LogInfoCall(GenTLSrv* inner, CallSite<Slot> site, NameTable names, const InfoQuery& query,
                     const Leading& leading, LeadingArgs... leading_args)
{
    return LogCall(
        inner, site,
        [&](CallLogLine& line) {
            leading(line);
            line.InfoInputs(query.command, names, query.type, query.buffer, query.size);
        },
        [&](CallLogLine& line) { line.InfoOutput(query.type, query.buffer, query.size); },
        leading_args..., query.command, query.type, query.buffer, query.size);
}

// Both stacked buffer-info calls log alike; their entries differ in type only.
template <typename Slot, typename Entry>
GC_ERROR LogStackedInfoCall(GenTLSrv* inner, CallSite<Slot> site, DS_HANDLE hDataStream,
                            BUFFER_HANDLE hBuffer, Entry* pInfoStacked, size_t iNumInfos)
{
    return LogCall(
        inner, site,
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Array("*pInfoStacked", pInfoStacked, &iNumInfos, sizeof(Entry))
                .Count("iNumInfos", iNumInfos);
        },
        [&](CallLogLine& line) {
            line.Array("*pInfoStacked", pInfoStacked, &iNumInfos, sizeof(Entry));
        },
        hDataStream, hBuffer, pInfoStacked, iNumInfos);
}

}  // namespace

GenTLSrvLogged::GenTLSrvLogged(GenTLSrv* inner_srv) : inner(inner_srv)
{
    TL_ASSERT(inner_srv != nullptr);
}

GC_ERROR GenTLSrvLogged::GCGetInfo(TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                                   size_t* piSize)
{
    return LogInfoCall(inner, SLOT(GCGetInfo), TL_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
                       NO_PAIRS);
}

GC_ERROR GenTLSrvLogged::GCGetLastError(GC_ERROR* piErrorCode, char* sErrText, size_t* piSize)
{
    return LogCall(
        inner, SLOT(GCGetLastError),
        [&](CallLogLine& line) {
            line.Pointer("piErrorCode", piErrorCode)
                .Pointer("sErrText", sErrText)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) {
            line.Pointee("*piErrorCode", piErrorCode).StringOutput("*sErrText", sErrText, piSize);
        },
        piErrorCode, sErrText, piSize);
}

GC_ERROR GenTLSrvLogged::GCInitLib()
{
    return LogCall(inner, SLOT(GCInitLib), NO_PAIRS, NO_PAIRS);
}

GC_ERROR GenTLSrvLogged::GCCloseLib()
{
    return LogCall(inner, SLOT(GCCloseLib), NO_PAIRS, NO_PAIRS);
}

GC_ERROR GenTLSrvLogged::GCReadPort(PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer,
                                    size_t* piSize)
{
    return LogCall(
        inner, SLOT(GCReadPort),
        [&](CallLogLine& line) {
            line.Pointer("hPort", hPort)
                .Address("iAddress", iAddress)
                .Pointer("pBuffer", pBuffer)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) {
            line.RegisterValue("*pBuffer", pBuffer, piSize).Pointee("*piSize", piSize);
        },
        hPort, iAddress, pBuffer, piSize);
}

GC_ERROR GenTLSrvLogged::GCWritePort(PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer,
                                     size_t* piSize)
{
    return LogCall(
        inner, SLOT(GCWritePort),
        [&](CallLogLine& line) {
            line.Pointer("hPort", hPort)
                .Address("iAddress", iAddress)
                .RegisterValue("*pBuffer", pBuffer, piSize)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) { line.Pointee("*piSize", piSize); }, hPort, iAddress, pBuffer,
        piSize);
}

GC_ERROR GenTLSrvLogged::GCGetPortURL(PORT_HANDLE hPort, char* sURL, size_t* piSize)
{
    return LogCall(
        inner, SLOT(GCGetPortURL),
        [&](CallLogLine& line) {
            line.Pointer("hPort", hPort).Pointer("sURL", sURL).SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) { line.StringOutput("*sURL", sURL, piSize); }, hPort, sURL, piSize);
}

GC_ERROR GenTLSrvLogged::GCGetPortInfo(PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd,
                                       INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(GCGetPortInfo), PORT_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hPort", hPort); }, hPort);
}

GC_ERROR GenTLSrvLogged::GCRegisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID,
                                         EVENT_HANDLE* phEvent)
{
    return LogCall(
        inner, SLOT(GCRegisterEvent),
        [&](CallLogLine& line) {
            line.Pointer("hEventSrc", hEventSrc)
                .Command("iEventID", iEventID, EVENT_TYPE_NAMES)
                .Pointer("phEvent", phEvent);
        },
        [&](CallLogLine& line) { line.Pointee("*phEvent", phEvent); }, hEventSrc, iEventID,
        phEvent);
}

GC_ERROR GenTLSrvLogged::GCUnregisterEvent(EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID)
{
    return LogCall(
        inner, SLOT(GCUnregisterEvent),
        [&](CallLogLine& line) {
            line.Pointer("hEventSrc", hEventSrc).Command("iEventID", iEventID, EVENT_TYPE_NAMES);
        },
        NO_PAIRS, hEventSrc, iEventID);
}

GC_ERROR GenTLSrvLogged::EventGetData(EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize,
                                      uint64_t iTimeout)
{
    return LogCall(
        inner, SLOT(EventGetData),
        [&](CallLogLine& line) {
            line.Pointer("hEvent", hEvent)
                .Pointer("pBuffer", pBuffer)
                .SizePointer("piSize", piSize)
                .Count("iTimeout", iTimeout);
        },
        [&](CallLogLine& line) {
            line.HexBuffer("*pBuffer", pBuffer, piSize).Pointee("*piSize", piSize);
        },
        hEvent, pBuffer, piSize, iTimeout);
}

GC_ERROR GenTLSrvLogged::EventGetDataInfo(EVENT_HANDLE hEvent, const void* pInBuffer,
                                          size_t iInSize, EVENT_DATA_INFO_CMD iInfoCmd,
                                          INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(EventGetDataInfo), EVENT_DATA_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) {
            line.Pointer("hEvent", hEvent)
                .HexBuffer("*pInBuffer", pInBuffer, &iInSize)
                .Count("iInSize", iInSize);
        },
        hEvent, pInBuffer, iInSize);
}

GC_ERROR GenTLSrvLogged::EventGetInfo(EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd,
                                      INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(EventGetInfo), EVENT_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hEvent", hEvent); }, hEvent);
}

GC_ERROR GenTLSrvLogged::EventFlush(EVENT_HANDLE hEvent)
{
    return LogCall(
        inner, SLOT(EventFlush), [&](CallLogLine& line) { line.Pointer("hEvent", hEvent); },
        NO_PAIRS, hEvent);
}

GC_ERROR GenTLSrvLogged::EventKill(EVENT_HANDLE hEvent)
{
    return LogCall(
        inner, SLOT(EventKill), [&](CallLogLine& line) { line.Pointer("hEvent", hEvent); },
        NO_PAIRS, hEvent);
}

GC_ERROR GenTLSrvLogged::TLOpen(TL_HANDLE* phTL)
{
    return LogCall(
        inner, SLOT(TLOpen), [&](CallLogLine& line) { line.Pointer("phTL", phTL); },
        [&](CallLogLine& line) { line.Pointee("*phTL", phTL); }, phTL);
}

GC_ERROR GenTLSrvLogged::TLClose(TL_HANDLE hTL)
{
    return LogCall(
        inner, SLOT(TLClose), [&](CallLogLine& line) { line.Pointer("hTL", hTL); }, NO_PAIRS, hTL);
}

GC_ERROR GenTLSrvLogged::TLGetInfo(TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                   void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(TLGetInfo), TL_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hTL", hTL); }, hTL);
}

GC_ERROR GenTLSrvLogged::TLGetNumInterfaces(TL_HANDLE hTL, uint32_t* piNumIfaces)
{
    return LogCall(
        inner, SLOT(TLGetNumInterfaces),
        [&](CallLogLine& line) { line.Pointer("hTL", hTL).Pointer("piNumIfaces", piNumIfaces); },
        [&](CallLogLine& line) { line.Pointee("*piNumIfaces", piNumIfaces); }, hTL, piNumIfaces);
}

GC_ERROR GenTLSrvLogged::TLGetInterfaceID(TL_HANDLE hTL, uint32_t iIndex, char* sInterfaceID,
                                          size_t* piSize)
{
    return LogCall(
        inner, SLOT(TLGetInterfaceID),
        [&](CallLogLine& line) {
            line.Pointer("hTL", hTL)
                .Index("iIndex", iIndex)
                .Pointer("sInterfaceID", sInterfaceID)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) {
            line.StringOutput("*sInterfaceID", sInterfaceID, piSize).Pointee("*piSize", piSize);
        },
        hTL, iIndex, sInterfaceID, piSize);
}

GC_ERROR GenTLSrvLogged::TLGetInterfaceInfo(TL_HANDLE hTL, const char* sIfaceID,
                                            INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                            void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(TLGetInterfaceInfo), INTERFACE_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hTL", hTL); }, hTL, sIfaceID);
}

GC_ERROR GenTLSrvLogged::TLOpenInterface(TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface)
{
    return LogCall(
        inner, SLOT(TLOpenInterface),
        [&](CallLogLine& line) {
            line.Pointer("hTL", hTL).String("*sIfaceID", sIfaceID).Pointer("phIface", phIface);
        },
        [&](CallLogLine& line) { line.Pointee("*phIface", phIface); }, hTL, sIfaceID, phIface);
}

GC_ERROR GenTLSrvLogged::TLUpdateInterfaceList(TL_HANDLE hTL, bool8_t* pbChanged, uint64_t iTimeout)
{
    return LogCall(
        inner, SLOT(TLUpdateInterfaceList),
        [&](CallLogLine& line) {
            line.Pointer("hTL", hTL).Pointer("pbChanged", pbChanged).Count("iTimeout", iTimeout);
        },
        [&](CallLogLine& line) { line.Pointee("pbChanged", pbChanged); }, hTL, pbChanged, iTimeout);
}

GC_ERROR GenTLSrvLogged::IFClose(IF_HANDLE hIface)
{
    return LogCall(
        inner, SLOT(IFClose), [&](CallLogLine& line) { line.Pointer("hIface", hIface); }, NO_PAIRS,
        hIface);
}

GC_ERROR GenTLSrvLogged::IFGetInfo(IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd,
                                   INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(IFGetInfo), INTERFACE_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hIface", hIface); }, hIface);
}

GC_ERROR GenTLSrvLogged::IFGetNumDevices(IF_HANDLE hIface, uint32_t* piNumDevices)
{
    return LogCall(
        inner, SLOT(IFGetNumDevices),
        [&](CallLogLine& line) {
            line.Pointer("hIface", hIface).Pointer("piNumDevices", piNumDevices);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumDevices", piNumDevices); }, hIface,
        piNumDevices);
}

GC_ERROR GenTLSrvLogged::IFGetDeviceID(IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID,
                                       size_t* piSize)
{
    return LogCall(
        inner, SLOT(IFGetDeviceID),
        [&](CallLogLine& line) {
            line.Pointer("hIface", hIface)
                .Index("iIndex", iIndex)
                .Pointer("sIDeviceID", sIDeviceID)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) {
            line.StringOutput("*sIDeviceID", sIDeviceID, piSize).Pointee("*piSize", piSize);
        },
        hIface, iIndex, sIDeviceID, piSize);
}

GC_ERROR GenTLSrvLogged::IFUpdateDeviceList(IF_HANDLE hIface, bool8_t* pbChanged, uint64_t iTimeout)
{
    return LogCall(
        inner, SLOT(IFUpdateDeviceList),
        [&](CallLogLine& line) {
            line.Pointer("hIface", hIface)
                .Pointer("pbChanged", pbChanged)
                .Count("iTimeout", iTimeout);
        },
        [&](CallLogLine& line) { line.Pointee("pbChanged", pbChanged); }, hIface, pbChanged,
        iTimeout);
}

GC_ERROR GenTLSrvLogged::IFGetDeviceInfo(IF_HANDLE hIface, const char* sDeviceID,
                                         DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                         void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(IFGetDeviceInfo), DEVICE_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hIface", hIface); }, hIface, sDeviceID);
}

GC_ERROR GenTLSrvLogged::IFOpenDevice(IF_HANDLE hIface, const char* sDeviceID,
                                      DEVICE_ACCESS_FLAGS iOpenFlag, DEV_HANDLE* phDevice)
{
    return LogCall(
        inner, SLOT(IFOpenDevice),
        [&](CallLogLine& line) {
            line.Pointer("hIface", hIface)
                .String("*sDeviceID", sDeviceID)
                .Command("iOpenFlag", iOpenFlag, DEVICE_ACCESS_NAMES)
                .Pointer("phDevice", phDevice);
        },
        [&](CallLogLine& line) { line.Pointee("*phDevice", phDevice); }, hIface, sDeviceID,
        iOpenFlag, phDevice);
}

GC_ERROR GenTLSrvLogged::DevGetPort(DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice)
{
    return LogCall(
        inner, SLOT(DevGetPort),
        [&](CallLogLine& line) {
            line.Pointer("hDevice", hDevice).Pointer("phRemoteDevice", phRemoteDevice);
        },
        [&](CallLogLine& line) { line.Pointee("*phRemoteDevice", phRemoteDevice); }, hDevice,
        phRemoteDevice);
}

GC_ERROR GenTLSrvLogged::DevGetNumDataStreams(DEV_HANDLE hDevice, uint32_t* piNumDataStreams)
{
    return LogCall(
        inner, SLOT(DevGetNumDataStreams),
        [&](CallLogLine& line) {
            line.Pointer("hDevice", hDevice).Pointer("piNumDataStreams", piNumDataStreams);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumDataStreams", piNumDataStreams); }, hDevice,
        piNumDataStreams);
}

GC_ERROR GenTLSrvLogged::DevGetDataStreamID(DEV_HANDLE hDevice, uint32_t iIndex,
                                            char* sDataStreamID, size_t* piSize)
{
    return LogCall(
        inner, SLOT(DevGetDataStreamID),
        [&](CallLogLine& line) {
            line.Pointer("hDevice", hDevice)
                .Index("iIndex", iIndex)
                .Pointer("sDataStreamID", sDataStreamID)
                .SizePointer("piSize", piSize);
        },
        [&](CallLogLine& line) {
            line.StringOutput("*sDataStreamID", sDataStreamID, piSize).Pointee("*piSize", piSize);
        },
        hDevice, iIndex, sDataStreamID, piSize);
}

GC_ERROR GenTLSrvLogged::DevOpenDataStream(DEV_HANDLE hDevice, const char* sDataStreamID,
                                           DS_HANDLE* phDataStream)
{
    return LogCall(
        inner, SLOT(DevOpenDataStream),
        [&](CallLogLine& line) {
            line.Pointer("hDevice", hDevice)
                .String("*sDataStreamID", sDataStreamID)
                .Pointer("phDataStream", phDataStream);
        },
        [&](CallLogLine& line) { line.Pointee("*phDataStream", phDataStream); }, hDevice,
        sDataStreamID, phDataStream);
}

GC_ERROR GenTLSrvLogged::DevGetInfo(DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd,
                                    INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DevGetInfo), DEVICE_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hDevice", hDevice); }, hDevice);
}

GC_ERROR GenTLSrvLogged::DevClose(DEV_HANDLE hDevice)
{
    return LogCall(
        inner, SLOT(DevClose), [&](CallLogLine& line) { line.Pointer("hDevice", hDevice); },
        NO_PAIRS, hDevice);
}

GC_ERROR GenTLSrvLogged::DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize,
                                          void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return LogCall(
        inner, SLOT(DSAnnounceBuffer),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("pBuffer", pBuffer)
                .Count("iSize", iSize)
                .Pointer("pPrivate", pPrivate)
                .Pointer("phBuffer", phBuffer);
        },
        [&](CallLogLine& line) { line.Pointee("*phBuffer", phBuffer); }, hDataStream, pBuffer,
        iSize, pPrivate, phBuffer);
}

GC_ERROR GenTLSrvLogged::DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iSize,
                                                  void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return LogCall(
        inner, SLOT(DSAllocAndAnnounceBuffer),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Count("iSize", iSize)
                .Pointer("pPrivate", pPrivate)
                .Pointer("phBuffer", phBuffer);
        },
        [&](CallLogLine& line) { line.Pointee("*phBuffer", phBuffer); }, hDataStream, iSize,
        pPrivate, phBuffer);
}

GC_ERROR GenTLSrvLogged::DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation)
{
    return LogCall(
        inner, SLOT(DSFlushQueue),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Command("iOperation", iOperation, ACQ_QUEUE_NAMES);
        },
        NO_PAIRS, hDataStream, iOperation);
}

GC_ERROR GenTLSrvLogged::DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags,
                                            uint64_t iNumToAcquire)
{
    return LogCall(
        inner, SLOT(DSStartAcquisition),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Command("iStartFlags", iStartFlags, ACQ_START_NAMES)
                .Count("iNumToAcquire", iNumToAcquire);
        },
        NO_PAIRS, hDataStream, iStartFlags, iNumToAcquire);
}

GC_ERROR GenTLSrvLogged::DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags)
{
    return LogCall(
        inner, SLOT(DSStopAcquisition),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Command("iStopFlags", iStopFlags, ACQ_STOP_NAMES);
        },
        NO_PAIRS, hDataStream, iStopFlags);
}

GC_ERROR GenTLSrvLogged::DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd,
                                   INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DSGetInfo), STREAM_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hDataStream", hDataStream); }, hDataStream);
}

GC_ERROR GenTLSrvLogged::DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex,
                                       BUFFER_HANDLE* phBuffer)
{
    return LogCall(
        inner, SLOT(DSGetBufferID),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Index("iIndex", iIndex)
                .Pointer("phBuffer", phBuffer);
        },
        [&](CallLogLine& line) { line.Pointee("*phBuffer", phBuffer); }, hDataStream, iIndex,
        phBuffer);
}

GC_ERROR GenTLSrvLogged::DSClose(DS_HANDLE hDataStream)
{
    return LogCall(
        inner, SLOT(DSClose), [&](CallLogLine& line) { line.Pointer("hDataStream", hDataStream); },
        NO_PAIRS, hDataStream);
}

GC_ERROR GenTLSrvLogged::DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                        void** pBuffer, void** pPrivate)
{
    return LogCall(
        inner, SLOT(DSRevokeBuffer),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Pointer("pBuffer", pBuffer)
                .Pointer("pPrivate", pPrivate);
        },
        [&](CallLogLine& line) {
            line.Pointee("*pBuffer", pBuffer).Pointee("*pPrivate", pPrivate);
        },
        hDataStream, hBuffer, pBuffer, pPrivate);
}

GC_ERROR GenTLSrvLogged::DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer)
{
    return LogCall(
        inner, SLOT(DSQueueBuffer),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream).Pointer("hBuffer", hBuffer);
        },
        NO_PAIRS, hDataStream, hBuffer);
}

GC_ERROR GenTLSrvLogged::DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                         BUFFER_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                         void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DSGetBufferInfo), BUFFER_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream).Pointer("hBuffer", hBuffer);
        },
        hDataStream, hBuffer);
}

GC_ERROR GenTLSrvLogged::GCGetNumPortURLs(PORT_HANDLE hPort, uint32_t* piNumURLs)
{
    return LogCall(
        inner, SLOT(GCGetNumPortURLs),
        [&](CallLogLine& line) { line.Pointer("hPort", hPort).Pointer("piNumURLs", piNumURLs); },
        [&](CallLogLine& line) { line.Pointee("*piNumURLs", piNumURLs); }, hPort, piNumURLs);
}

GC_ERROR GenTLSrvLogged::GCGetPortURLInfo(PORT_HANDLE hPort, uint32_t iURLIndex,
                                          URL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                          void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(GCGetPortURLInfo), URL_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) { line.Pointer("hPort", hPort).Index("iURLIndex", iURLIndex); },
        hPort, iURLIndex);
}

GC_ERROR GenTLSrvLogged::GCReadPortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                                           size_t* piNumEntries)
{
    return LogCall(
        inner, SLOT(GCReadPortStacked),
        [&](CallLogLine& line) {
            line.Pointer("hPort", hPort)
                .Pointer("pEntries", pEntries)
                .Pointee("*piNumEntries", piNumEntries);
        },
        [&](CallLogLine& line) {
            line.Array("*pEntries", pEntries, piNumEntries, sizeof(*pEntries))
                .Pointee("*piNumEntries", piNumEntries);
        },
        hPort, pEntries, piNumEntries);
}

GC_ERROR GenTLSrvLogged::GCWritePortStacked(PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,
                                            size_t* piNumEntries)
{
    return LogCall(
        inner, SLOT(GCWritePortStacked),
        [&](CallLogLine& line) {
            line.Pointer("hPort", hPort)
                .Array("*pEntries", pEntries, piNumEntries, sizeof(*pEntries))
                .Pointee("*piNumEntries", piNumEntries);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumEntries", piNumEntries); }, hPort, pEntries,
        piNumEntries);
}

GC_ERROR GenTLSrvLogged::DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                              SINGLE_CHUNK_DATA* pChunkData, size_t* piNumChunks)
{
    return LogCall(
        inner, SLOT(DSGetBufferChunkData),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Pointer("pChunkData", pChunkData)
                .Pointer("piNumChunks", piNumChunks);
        },
        [&](CallLogLine& line) {
            line.Array("*pChunkData", pChunkData, piNumChunks, sizeof(*pChunkData))
                .Pointee("*piNumChunks", piNumChunks);
        },
        hDataStream, hBuffer, pChunkData, piNumChunks);
}

GC_ERROR GenTLSrvLogged::IFGetParentTL(IF_HANDLE hIface, TL_HANDLE* phSystem)
{
    return LogCall(
        inner, SLOT(IFGetParentTL),
        [&](CallLogLine& line) { line.Pointer("hIface", hIface).Pointer("phSystem", phSystem); },
        [&](CallLogLine& line) { line.Pointee("*phSystem", phSystem); }, hIface, phSystem);
}

GC_ERROR GenTLSrvLogged::DevGetParentIF(DEV_HANDLE hDevice, IF_HANDLE* phIface)
{
    return LogCall(
        inner, SLOT(DevGetParentIF),
        [&](CallLogLine& line) { line.Pointer("hDevice", hDevice).Pointer("phIface", phIface); },
        [&](CallLogLine& line) { line.Pointee("*phIface", phIface); }, hDevice, phIface);
}

GC_ERROR GenTLSrvLogged::DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice)
{
    return LogCall(
        inner, SLOT(DSGetParentDev),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream).Pointer("phDevice", phDevice);
        },
        [&](CallLogLine& line) { line.Pointee("*phDevice", phDevice); }, hDataStream, phDevice);
}

GC_ERROR GenTLSrvLogged::DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                             uint32_t* piNumParts)
{
    return LogCall(
        inner, SLOT(DSGetNumBufferParts),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Pointer("piNumParts", piNumParts);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumParts", piNumParts); }, hDataStream, hBuffer,
        piNumParts);
}

GC_ERROR GenTLSrvLogged::DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                             uint32_t iPartIndex, BUFFER_PART_INFO_CMD iInfoCmd,
                                             INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DSGetBufferPartInfo), BUFFER_PART_INFO_NAMES,
        {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Index("iPartIndex", iPartIndex);
        },
        hDataStream, hBuffer, iPartIndex);
}

GC_ERROR GenTLSrvLogged::DSAnnounceCompositeBuffer(DS_HANDLE hDataStream, size_t iNumSegments,
                                                   void** ppSegments, size_t* piSizes,
                                                   void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return LogCall(
        inner, SLOT(DSAnnounceCompositeBuffer),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Count("iNumSegments", iNumSegments)
                .Array("*ppSegments", ppSegments, &iNumSegments, sizeof(*ppSegments))
                .Array("*piSizes", piSizes, &iNumSegments, sizeof(*piSizes))
                .Pointer("pPrivate", pPrivate)
                .Pointer("phBuffer", phBuffer);
        },
        [&](CallLogLine& line) { line.Pointee("*phBuffer", phBuffer); }, hDataStream, iNumSegments,
        ppSegments, piSizes, pPrivate, phBuffer);
}

GC_ERROR GenTLSrvLogged::DSGetBufferInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                DS_BUFFER_INFO_STACKED* pInfoStacked,
                                                size_t iNumInfos)
{
    return LogStackedInfoCall(inner, SLOT(DSGetBufferInfoStacked), hDataStream, hBuffer,
                              pInfoStacked, iNumInfos);
}

GC_ERROR GenTLSrvLogged::DSGetBufferPartInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                    DS_BUFFER_PART_INFO_STACKED* pInfoStacked,
                                                    size_t iNumInfos)
{
    return LogStackedInfoCall(inner, SLOT(DSGetBufferPartInfoStacked), hDataStream, hBuffer,
                              pInfoStacked, iNumInfos);
}

GC_ERROR GenTLSrvLogged::DSGetNumFlows(DS_HANDLE hDataStream, uint32_t* piNumFlows)
{
    return LogCall(
        inner, SLOT(DSGetNumFlows),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream).Pointer("piNumFlows", piNumFlows);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumFlows", piNumFlows); }, hDataStream,
        piNumFlows);
}

GC_ERROR GenTLSrvLogged::DSGetFlowInfo(DS_HANDLE hDataStream, uint32_t iFlowIndex,
                                       FLOW_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                                       size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DSGetFlowInfo), FLOW_INFO_NAMES, {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream).Index("iFlowIndex", iFlowIndex);
        },
        hDataStream, iFlowIndex);
}

GC_ERROR GenTLSrvLogged::DSGetNumBufferSegments(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                uint32_t* piNumSegments)
{
    return LogCall(
        inner, SLOT(DSGetNumBufferSegments),
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Pointer("piNumSegments", piNumSegments);
        },
        [&](CallLogLine& line) { line.Pointee("*piNumSegments", piNumSegments); }, hDataStream,
        hBuffer, piNumSegments);
}

GC_ERROR GenTLSrvLogged::DSGetBufferSegmentInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                uint32_t iSegmentIndex, SEGMENT_INFO_CMD iInfoCmd,
                                                INFO_DATATYPE* piType, void* pBuffer,
                                                size_t* piSize)
{
    return LogInfoCall(
        inner, SLOT(DSGetBufferSegmentInfo), SEGMENT_INFO_NAMES,
        {iInfoCmd, piType, pBuffer, piSize},
        [&](CallLogLine& line) {
            line.Pointer("hDataStream", hDataStream)
                .Pointer("hBuffer", hBuffer)
                .Index("iSegmentIndex", iSegmentIndex);
        },
        hDataStream, hBuffer, iSegmentIndex);
}

#undef SLOT

}  // namespace GenTLCore
