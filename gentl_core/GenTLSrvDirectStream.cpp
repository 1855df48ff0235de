// The direct service front: data stream and buffer calls. A buffer is always
// addressed together with its data stream.
#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBuffer.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/GenTLSrvDirect.h"

namespace GenTLCore {

// ---- Buffers answered by the buffer itself, after the stream confirmed it
// announced them ----

// The stream's lock is held across the query, so the buffer stays announced
// and its own lock is taken inside the stream's, in the usual order.
template <class Query>
GC_ERROR GenTLSrvDirect::WithAnnouncedBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                             const char* operation, Query&& query)
{
    return WithLockedObject<GenTLDataStream>(
        hDataStream, "stream", [&](GenTLDataStream& stream) -> GC_ERROR {
            const SharedPtr<GenTLBuffer> buffer = stream.FindAnnounced(hBuffer);
            if (!buffer)
                return ReportError(GC_ERR_INVALID_HANDLE,
                                   std::string(operation) +
                                       ": the required buffer was not announced in the data "
                                       "stream.");
            return query(*buffer);
        });
}

GC_ERROR GenTLSrvDirect::DSGetBufferChunkData(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                              SINGLE_CHUNK_DATA* pChunkData, size_t* piNumChunks)
{
    return WithAnnouncedBuffer(
        hDataStream, hBuffer, "GetBufferChunkData",
        [&](GenTLBuffer& buffer) { return buffer.GetBufferChunkData(pChunkData, piNumChunks); });
}

GC_ERROR GenTLSrvDirect::DSGetNumBufferParts(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                             uint32_t* piNumParts)
{
    return WithAnnouncedBuffer(hDataStream, hBuffer, "GetNumBufferParts", [&](GenTLBuffer& buffer) {
        return buffer.GetNumBufferParts(piNumParts);
    });
}

GC_ERROR GenTLSrvDirect::DSGetBufferInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                DS_BUFFER_INFO_STACKED* pInfoStacked,
                                                size_t iNumInfos)
{
    return WithAnnouncedBuffer(
        hDataStream, hBuffer, "GetBufferInfoStacked",
        [&](GenTLBuffer& buffer) { return buffer.GetBufferInfoStacked(pInfoStacked, iNumInfos); });
}

GC_ERROR GenTLSrvDirect::DSGetBufferPartInfoStacked(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                    DS_BUFFER_PART_INFO_STACKED* pInfoStacked,
                                                    size_t iNumInfos)
{
    return WithAnnouncedBuffer(hDataStream, hBuffer, "GetBufferPartInfoStacked",
                               [&](GenTLBuffer& buffer) {
                                   return buffer.GetBufferPartInfoStacked(pInfoStacked, iNumInfos);
                               });
}

GC_ERROR GenTLSrvDirect::DSGetNumBufferSegments(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                uint32_t* piNumSegments)
{
    return WithAnnouncedBuffer(
        hDataStream, hBuffer, "GetNumBufferSegments",
        [&](GenTLBuffer& buffer) { return buffer.GetNumBufferSegments(piNumSegments); });
}

GC_ERROR GenTLSrvDirect::DSGetBufferSegmentInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                                uint32_t iSegmentIndex, SEGMENT_INFO_CMD iInfoCmd,
                                                INFO_DATATYPE* piType, void* pBuffer,
                                                size_t* piSize)
{
    return WithAnnouncedBuffer(
        hDataStream, hBuffer, "GetBufferSegmentInfo", [&](GenTLBuffer& buffer) {
            return buffer.GetBufferSegmentInfo(iSegmentIndex, iInfoCmd, piType, pBuffer, piSize);
        });
}

// ---- Announce and revoke ----

// The stream announces under its own lock; the handle is registered after
// that lock is gone (the pool's lock comes first). A buffer is never left
// announced without a handle.
template <class Announce>
GC_ERROR GenTLSrvDirect::AnnounceAndRegister(DS_HANDLE hDataStream, BUFFER_HANDLE* phBuffer,
                                             Announce&& announce)
{
    return WithObject<GenTLDataStream>(
        hDataStream, "stream", [&](GenTLDataStream& stream) -> GC_ERROR {
            SharedPtr<GenTLBuffer> buffer;
            const GC_ERROR announced = announce(stream, buffer);
            if (announced != GC_ERR_SUCCESS) return announced;
            if (!TL_ASSERT(buffer)) return GC_ERR_ERROR;
            const GC_ERROR published = RegisterChild(buffer, hDataStream, phBuffer);
            if (published != GC_ERR_SUCCESS) stream.UnannounceBuffer(buffer);
            return published;
        });
}

GC_ERROR GenTLSrvDirect::DSAnnounceBuffer(DS_HANDLE hDataStream, void* pBuffer, size_t iSize,
                                          void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return AnnounceAndRegister(
        hDataStream, phBuffer, [&](GenTLDataStream& stream, SharedPtr<GenTLBuffer>& out) {
            return stream.AnnounceBufferChecked(pBuffer, iSize, pPrivate, out);
        });
}

GC_ERROR GenTLSrvDirect::DSAllocAndAnnounceBuffer(DS_HANDLE hDataStream, size_t iSize,
                                                  void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return AnnounceAndRegister(hDataStream, phBuffer,
                               [&](GenTLDataStream& stream, SharedPtr<GenTLBuffer>& out) {
                                   return stream.AllocAndAnnounceBuffer(iSize, pPrivate, out);
                               });
}

GC_ERROR GenTLSrvDirect::DSAnnounceCompositeBuffer(DS_HANDLE hDataStream, size_t iNumSegments,
                                                   void** ppSegments, size_t* piSizes,
                                                   void* pPrivate, BUFFER_HANDLE* phBuffer)
{
    return AnnounceAndRegister(
        hDataStream, phBuffer, [&](GenTLDataStream& stream, SharedPtr<GenTLBuffer>& out) {
            return stream.AnnounceCompositeBuffer(iNumSegments, ppSegments, piSizes, pPrivate, out);
        });
}

GC_ERROR GenTLSrvDirect::DSRevokeBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                        void** pBuffer, void** pPrivate)
{
    return WithObject<GenTLDataStream>(
        hDataStream, "stream", [&](GenTLDataStream& stream) -> GC_ERROR {
            SharedPtr<GenTLBuffer> buffer;
            const GC_ERROR found = library->Lookup(hBuffer, buffer);
            if (found != GC_ERR_SUCCESS) return found;
            if (!TL_ASSERT(buffer)) return GC_ERR_ERROR;
            // A refused revoke leaves the handle valid.
            const GC_ERROR revoked = stream.RevokeBuffer(buffer, pBuffer, pPrivate);
            if (revoked != GC_ERR_SUCCESS) return revoked;
            return library->Unregister<GenTLBuffer>(hBuffer);
        });
}

// ---- The stream's own operations; each locks the stream and checks its
// arguments itself ----

GC_ERROR GenTLSrvDirect::DSQueueBuffer(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::QueueBuffer, hBuffer);
}

GC_ERROR GenTLSrvDirect::DSFlushQueue(DS_HANDLE hDataStream, ACQ_QUEUE_TYPE iOperation)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::FlushQueue,
                                    iOperation);
}

GC_ERROR GenTLSrvDirect::DSStartAcquisition(DS_HANDLE hDataStream, ACQ_START_FLAGS iStartFlags,
                                            uint64_t iNumToAcquire)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::StartAcquisition,
                                    iStartFlags, iNumToAcquire);
}

GC_ERROR GenTLSrvDirect::DSStopAcquisition(DS_HANDLE hDataStream, ACQ_STOP_FLAGS iStopFlags)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::StopAcquisition,
                                    iStopFlags);
}

GC_ERROR GenTLSrvDirect::DSGetInfo(DS_HANDLE hDataStream, STREAM_INFO_CMD iInfoCmd,
                                   INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetStreamInfo,
                                    iInfoCmd, piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::DSGetBufferID(DS_HANDLE hDataStream, uint32_t iIndex,
                                       BUFFER_HANDLE* phBuffer)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetBufferID, iIndex,
                                    phBuffer);
}

GC_ERROR GenTLSrvDirect::DSGetBufferInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                         BUFFER_INFO_CMD iInfoCmd, INFO_DATATYPE* piType,
                                         void* pBuffer, size_t* piSize)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetBufferInfo, hBuffer,
                                    iInfoCmd, piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::DSGetBufferPartInfo(DS_HANDLE hDataStream, BUFFER_HANDLE hBuffer,
                                             uint32_t iPartIndex, BUFFER_PART_INFO_CMD iInfoCmd,
                                             INFO_DATATYPE* piType, void* pBuffer, size_t* piSize)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetBufferPartInfo,
                                    hBuffer, iPartIndex, iInfoCmd, piType, pBuffer, piSize);
}

GC_ERROR GenTLSrvDirect::DSGetNumFlows(DS_HANDLE hDataStream, uint32_t* piNumFlows)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetNumFlows,
                                    piNumFlows);
}

GC_ERROR GenTLSrvDirect::DSGetFlowInfo(DS_HANDLE hDataStream, uint32_t iFlowIndex,
                                       FLOW_INFO_CMD iInfoCmd, INFO_DATATYPE* piType, void* pBuffer,
                                       size_t* piSize)
{
    return Forward<GenTLDataStream>(hDataStream, "stream", &GenTLDataStream::GetFlowInfo,
                                    iFlowIndex, iInfoCmd, piType, pBuffer, piSize);
}

// ---- Close and parent ----

// The stream and everything below it leave the pool.

GC_ERROR GenTLSrvDirect::DSClose(DS_HANDLE hDataStream)
{
    return library->Unregister<GenTLDataStream>(hDataStream);
}

// Any pooled handle, whatever its kind.
GC_ERROR GenTLSrvDirect::DSGetParentDev(DS_HANDLE hDataStream, DEV_HANDLE* phDevice)
{
    return library->GetParent(hDataStream, phDevice);
}

}  // namespace GenTLCore
