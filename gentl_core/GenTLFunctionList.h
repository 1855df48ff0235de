// GenTLFunctionList.h: the 64 GenTL functions in slot order, as one list, so
// that the exports, the service interface, its fronts and the consumer-side
// loaders are all generated from the same signatures.
#pragma once

#include "GenTL.h"

// GENTL_FUNCTION_LIST(X) expands X(Name, (parameters), (arguments)) once per
// function, in slot order. Parameters match the declarations in GenTL.h; the
// exports are defined from this list, so a mismatch fails to compile.
// clang-format off
#define GENTL_FUNCTION_LIST(X)                                                                     \
    X(GCGetInfo, (TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),     \
      (iInfoCmd, piType, pBuffer, piSize))                                                         \
    X(GCGetLastError, (GC_ERROR* piErrorCode, char* sErrText, size_t* piSize),                     \
      (piErrorCode, sErrText, piSize))                                                             \
    X(GCInitLib, (), ())                                                                           \
    X(GCCloseLib, (), ())                                                                          \
    X(GCReadPort, (PORT_HANDLE hPort, uint64_t iAddress, void* pBuffer, size_t* piSize),           \
      (hPort, iAddress, pBuffer, piSize))                                                          \
    X(GCWritePort, (PORT_HANDLE hPort, uint64_t iAddress, const void* pBuffer, size_t* piSize),    \
      (hPort, iAddress, pBuffer, piSize))                                                          \
    X(GCGetPortURL, (PORT_HANDLE hPort, char* sURL, size_t* piSize), (hPort, sURL, piSize))        \
    X(GCGetPortInfo, (PORT_HANDLE hPort, PORT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,            \
                      void* pBuffer, size_t* piSize),                                              \
      (hPort, iInfoCmd, piType, pBuffer, piSize))                                                  \
    X(GCRegisterEvent, (EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID, EVENT_HANDLE* phEvent),    \
      (hEventSrc, iEventID, phEvent))                                                              \
    X(GCUnregisterEvent, (EVENTSRC_HANDLE hEventSrc, EVENT_TYPE iEventID), (hEventSrc, iEventID))  \
    X(EventGetData, (EVENT_HANDLE hEvent, void* pBuffer, size_t* piSize, uint64_t iTimeout),       \
      (hEvent, pBuffer, piSize, iTimeout))                                                         \
    X(EventGetDataInfo, (EVENT_HANDLE hEvent, const void* pInBuffer, size_t iInSize,               \
                         EVENT_DATA_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pOutBuffer,    \
                         size_t* piOutSize),                                                       \
      (hEvent, pInBuffer, iInSize, iInfoCmd, piType, pOutBuffer, piOutSize))                       \
    X(EventGetInfo, (EVENT_HANDLE hEvent, EVENT_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,          \
                     void* pBuffer, size_t* piSize),                                               \
      (hEvent, iInfoCmd, piType, pBuffer, piSize))                                                 \
    X(EventFlush, (EVENT_HANDLE hEvent), (hEvent))                                                 \
    X(EventKill, (EVENT_HANDLE hEvent), (hEvent))                                                  \
    X(TLOpen, (TL_HANDLE* phTL), (phTL))                                                           \
    X(TLClose, (TL_HANDLE hTL), (hTL))                                                             \
    X(TLGetInfo, (TL_HANDLE hTL, TL_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,       \
                  size_t* piSize),                                                                 \
      (hTL, iInfoCmd, piType, pBuffer, piSize))                                                    \
    X(TLGetNumInterfaces, (TL_HANDLE hTL, uint32_t* piNumIfaces), (hTL, piNumIfaces))              \
    X(TLGetInterfaceID, (TL_HANDLE hTL, uint32_t iIndex, char* sID, size_t* piSize),               \
      (hTL, iIndex, sID, piSize))                                                                  \
    X(TLGetInterfaceInfo, (TL_HANDLE hTL, const char* sIfaceID, INTERFACE_INFO_CMD iInfoCmd,       \
                           INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),                  \
      (hTL, sIfaceID, iInfoCmd, piType, pBuffer, piSize))                                          \
    X(TLOpenInterface, (TL_HANDLE hTL, const char* sIfaceID, IF_HANDLE* phIface),                  \
      (hTL, sIfaceID, phIface))                                                                    \
    X(TLUpdateInterfaceList, (TL_HANDLE hTL, bool8_t* pbChanged, uint64_t iTimeout),               \
      (hTL, pbChanged, iTimeout))                                                                  \
    X(IFClose, (IF_HANDLE hIface), (hIface))                                                       \
    X(IFGetInfo, (IF_HANDLE hIface, INTERFACE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,            \
                  void* pBuffer, size_t* piSize),                                                  \
      (hIface, iInfoCmd, piType, pBuffer, piSize))                                                 \
    X(IFGetNumDevices, (IF_HANDLE hIface, uint32_t* piNumDevices), (hIface, piNumDevices))         \
    X(IFGetDeviceID, (IF_HANDLE hIface, uint32_t iIndex, char* sIDeviceID, size_t* piSize),        \
      (hIface, iIndex, sIDeviceID, piSize))                                                        \
    X(IFUpdateDeviceList, (IF_HANDLE hIface, bool8_t* pbChanged, uint64_t iTimeout),               \
      (hIface, pbChanged, iTimeout))                                                               \
    X(IFGetDeviceInfo, (IF_HANDLE hIface, const char* sDeviceID, DEVICE_INFO_CMD iInfoCmd,         \
                        INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),                     \
      (hIface, sDeviceID, iInfoCmd, piType, pBuffer, piSize))                                      \
    X(IFOpenDevice, (IF_HANDLE hIface, const char* sDeviceID, DEVICE_ACCESS_FLAGS iOpenFlag,       \
                     DEV_HANDLE* phDevice),                                                        \
      (hIface, sDeviceID, iOpenFlag, phDevice))                                                    \
    X(DevGetPort, (DEV_HANDLE hDevice, PORT_HANDLE* phRemoteDevice), (hDevice, phRemoteDevice))    \
    X(DevGetNumDataStreams, (DEV_HANDLE hDevice, uint32_t* piNumDataStreams),                      \
      (hDevice, piNumDataStreams))                                                                 \
    X(DevGetDataStreamID, (DEV_HANDLE hDevice, uint32_t iIndex, char* sDataStreamID,               \
                           size_t* piSize),                                                        \
      (hDevice, iIndex, sDataStreamID, piSize))                                                    \
    X(DevOpenDataStream, (DEV_HANDLE hDevice, const char* sDataStreamID, DS_HANDLE* phDataStream), \
      (hDevice, sDataStreamID, phDataStream))                                                      \
    X(DevGetInfo, (DEV_HANDLE hDevice, DEVICE_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,            \
                   void* pBuffer, size_t* piSize),                                                 \
      (hDevice, iInfoCmd, piType, pBuffer, piSize))                                                \
    X(DevClose, (DEV_HANDLE hDevice), (hDevice))                                                   \
    X(DSAnnounceBuffer, (DS_HANDLE hDataStream, void* pBuffer, size_t iSize, void* pPrivate,       \
                         BUFFER_HANDLE* phBuffer),                                                 \
      (hDataStream, pBuffer, iSize, pPrivate, phBuffer))                                           \
    X(DSAllocAndAnnounceBuffer, (DS_HANDLE hDataStream, size_t iSize, void* pPrivate,              \
                                 BUFFER_HANDLE* phBuffer),                                         \
      (hDataStream, iSize, pPrivate, phBuffer))                                                    \
    X(DSFlushQueue, (DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation), (hDataStream, iOperation)) \
    X(DSStartAcquisition, (DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags,                     \
                           uint64_t iNumToAcquire),                                                \
      (hDataStream, iStartFlags, iNumToAcquire))                                                   \
    X(DSStopAcquisition, (DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags),                       \
      (hDataStream, iStopFlags))                                                                   \
    X(DSGetInfo, (DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,          \
                  void* pBuffer, size_t* piSize),                                                  \
      (hDataStream, iInfoCmd, piType, pBuffer, piSize))                                            \
    X(DSGetBufferID, (DS_HANDLE hDataStream, uint32_t iIndex, BUFFER_HANDLE* phBuffer),            \
      (hDataStream, iIndex, phBuffer))                                                             \
    X(DSClose, (DS_HANDLE hDataStream), (hDataStream))                                             \
    X(DSRevokeBuffer, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, void** pBuffer,               \
                       void** pPrivate),                                                           \
      (hDataStream, hBuffer, pBuffer, pPrivate))                                                   \
    X(DSQueueBuffer, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer), (hDataStream, hBuffer))       \
    X(DSGetBufferInfo, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, BUFFER_INFO_CMD iInfoCmd,    \
                        INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),                     \
      (hDataStream, hBuffer, iInfoCmd, piType, pBuffer, piSize))                                   \
    X(GCGetNumPortURLs, (PORT_HANDLE hPort, uint32_t* piNumURLs), (hPort, piNumURLs))              \
    X(GCGetPortURLInfo, (PORT_HANDLE hPort, uint32_t iURLIndex, URL_INFO_CMD iInfoCmd,             \
                         INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),                    \
      (hPort, iURLIndex, iInfoCmd, piType, pBuffer, piSize))                                       \
    X(GCReadPortStacked, (PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,                  \
                          size_t* piNumEntries),                                                   \
      (hPort, pEntries, piNumEntries))                                                             \
    X(GCWritePortStacked, (PORT_HANDLE hPort, PORT_REGISTER_STACK_ENTRY* pEntries,                 \
                           size_t* piNumEntries),                                                  \
      (hPort, pEntries, piNumEntries))                                                             \
    X(DSGetBufferChunkData, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,                         \
                             SINGLE_CHUNK_DATA* pChunkData, size_t* piNumChunks),                  \
      (hDataStream, hBuffer, pChunkData, piNumChunks))                                             \
    X(IFGetParentTL, (IF_HANDLE hIface, TL_HANDLE* phSystem), (hIface, phSystem))                  \
    X(DevGetParentIF, (DEV_HANDLE hDevice, IF_HANDLE* phIface), (hDevice, phIface))                \
    X(DSGetParentDev, (DS_HANDLE hDataStream, DEV_HANDLE* phDevice), (hDataStream, phDevice))      \
    X(DSGetNumBufferParts, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t* piNumParts),   \
      (hDataStream, hBuffer, piNumParts))                                                          \
    X(DSGetBufferPartInfo, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer, uint32_t iPartIndex,     \
                            BUFFER_PART_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,   \
                            size_t* piSize),                                                       \
      (hDataStream, hBuffer, iPartIndex, iInfoCmd, piType, pBuffer, piSize))                       \
    X(DSAnnounceCompositeBuffer, (DS_HANDLE hDataStream, size_t iNumSegments, void** ppSegments,   \
                                  size_t* piSizes, void* pPrivate, BUFFER_HANDLE* phBuffer),       \
      (hDataStream, iNumSegments, ppSegments, piSizes, pPrivate, phBuffer))                        \
    X(DSGetBufferInfoStacked, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,                       \
                               DS_BUFFER_INFO_STACKED* pInfoStacked, size_t iNumInfos),            \
      (hDataStream, hBuffer, pInfoStacked, iNumInfos))                                             \
    X(DSGetBufferPartInfoStacked, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,                   \
                                   DS_BUFFER_PART_INFO_STACKED* pInfoStacked, size_t iNumInfos),   \
      (hDataStream, hBuffer, pInfoStacked, iNumInfos))                                             \
    X(DSGetNumFlows, (DS_HANDLE hDataStream, uint32_t* piNumFlows), (hDataStream, piNumFlows))     \
    X(DSGetFlowInfo, (DS_HANDLE hDataStream, uint32_t iFlowIndex, FLOW_INFO_CMD iInfoCmd,          \
                      INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),                       \
      (hDataStream, iFlowIndex, iInfoCmd, piType, pBuffer, piSize))                                \
    X(DSGetNumBufferSegments, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,                       \
                               uint32_t* piNumSegments),                                           \
      (hDataStream, hBuffer, piNumSegments))                                                       \
    X(DSGetBufferSegmentInfo, (DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,                       \
                               uint32_t iSegmentIndex, SEGMENT_INFO_CMD iInfoCmd,                  \
                               INFO_DATATYPE* piType, void* pBuffer, size_t* piSize),              \
      (hDataStream, hBuffer, iSegmentIndex, iInfoCmd, piType, pBuffer, piSize))
// clang-format on

// Number of entries in GENTL_FUNCTION_LIST.
inline constexpr int GENTL_FUNCTION_COUNT = 64;
