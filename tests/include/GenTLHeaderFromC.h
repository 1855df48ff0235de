/* GenTLHeaderFromC.h: what the C translation unit reports about the GenTL
 * declarations, and the list of the 64 exported functions in slot order. */
#ifndef GENTESK_TESTS_GENTL_HEADER_FROM_C_H
#define GENTESK_TESTS_GENTL_HEADER_FROM_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GenTLLayout {
    size_t register_entry_size;
    size_t chunk_size;
    size_t buffer_info_size;
    size_t part_info_size;
    size_t buffer_info_result_offset;
    size_t part_info_buffer_offset;
    size_t part_info_result_offset;
    size_t bool8_size;
    size_t error_size;
    uint64_t infinite;
    int32_t custom_error;
    int32_t ambiguous_error;
    int32_t function_count;
} GenTLLayout;

void GetGenTLLayoutFromC(GenTLLayout* layout);

#ifdef __cplusplus
}
#endif

#define GENTL_FUNCTIONS(X)                                                                    \
    X(GCGetInfo) X(GCGetLastError) X(GCInitLib) X(GCCloseLib)                                 \
    X(GCReadPort) X(GCWritePort) X(GCGetPortURL) X(GCGetPortInfo) X(GCRegisterEvent)          \
    X(GCUnregisterEvent)                                                                      \
    X(EventGetData) X(EventGetDataInfo) X(EventGetInfo) X(EventFlush) X(EventKill)            \
    X(TLOpen) X(TLClose) X(TLGetInfo) X(TLGetNumInterfaces) X(TLGetInterfaceID)               \
    X(TLGetInterfaceInfo) X(TLOpenInterface) X(TLUpdateInterfaceList)                         \
    X(IFClose) X(IFGetInfo) X(IFGetNumDevices) X(IFGetDeviceID) X(IFUpdateDeviceList)         \
    X(IFGetDeviceInfo) X(IFOpenDevice)                                                        \
    X(DevGetPort) X(DevGetNumDataStreams) X(DevGetDataStreamID) X(DevOpenDataStream)          \
    X(DevGetInfo) X(DevClose)                                                                 \
    X(DSAnnounceBuffer) X(DSAllocAndAnnounceBuffer) X(DSFlushQueue) X(DSStartAcquisition)     \
    X(DSStopAcquisition) X(DSGetInfo) X(DSGetBufferID) X(DSClose) X(DSRevokeBuffer)           \
    X(DSQueueBuffer) X(DSGetBufferInfo)                                                       \
    X(GCGetNumPortURLs) X(GCGetPortURLInfo) X(GCReadPortStacked) X(GCWritePortStacked)        \
    X(DSGetBufferChunkData)                                                                   \
    X(IFGetParentTL) X(DevGetParentIF) X(DSGetParentDev)                                      \
    X(DSGetNumBufferParts) X(DSGetBufferPartInfo) X(DSAnnounceCompositeBuffer)                \
    X(DSGetBufferInfoStacked) X(DSGetBufferPartInfoStacked)                                   \
    X(DSGetNumFlows) X(DSGetFlowInfo) X(DSGetNumBufferSegments) X(DSGetBufferSegmentInfo)

#endif
