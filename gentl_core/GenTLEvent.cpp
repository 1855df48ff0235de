// GenTLEvent.cpp: event queues and the concrete events' packet formats.
#include "gentl_core/GenTLEvent.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLFeatureEvent.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_core/MiscUtils.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace EventAnswers {

GC_ERROR CopyOutBytes(const void* data, size_t data_size, void* buffer, size_t* size)
{
    if (!TL_ASSERT_MSG(buffer != nullptr && size != nullptr, "buffer && psize"))
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetEventData: invalid buffer size pointer.");
    if (*size < data_size)
        return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                           "EventGetData: the buffer is too small to hold the data.");
    std::memcpy(buffer, data, data_size);
    *size = data_size;
    return GC_ERR_SUCCESS;
}

GC_ERROR NullEventBuffer()
{
    return ReportError(GC_ERR_INVALID_PARAMETER, "GetEventDataInfo: null event buffer passed");
}

GC_ERROR InvalidEventBuffer()
{
    return ReportError(GC_ERR_INVALID_PARAMETER, "GetEventDataInfo: invalid event buffer passed");
}

GC_ERROR CorruptedEventBuffer()
{
    return ReportError(GC_ERR_INVALID_PARAMETER, "GetEventDataInfo: corrupted event buffer passed");
}

GC_ERROR UnknownDataInfoCommand()
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetEventDataInfo: unknown event data info command requested");
}

std::string HexText(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, static_cast<unsigned>(value));
    return text;
}

}  // namespace EventAnswers

namespace {

using namespace EventAnswers;

uint32_t ReadLE32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// "ykiv", the ID little-endian, then the data.
EventPacket MakeMagicPacket(uint32_t event_id, const void* data, size_t data_size)
{
    EventPacket packet(std::begin(EVENT_PACKET_MAGIC), std::end(EVENT_PACKET_MAGIC));
    for (int shift = 0; shift < 32; shift += 8)
        packet.push_back(static_cast<uint8_t>(event_id >> shift));
    if (data_size > 0) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        packet.insert(packet.end(), bytes, bytes + data_size);
    }
    return packet;
}

// A packet laid out as MakeMagicPacket does, with at most `max_data_size`
// data bytes.
bool IsMagicPacket(const void* packet, size_t size, size_t max_data_size)
{
    return packet != nullptr && size >= EVENT_PACKET_HEADER_SIZE &&
           size - EVENT_PACKET_HEADER_SIZE <= max_data_size &&
           std::memcmp(packet, EVENT_PACKET_MAGIC, sizeof EVENT_PACKET_MAGIC) == 0;
}

uint32_t MagicPacketID(const void* packet)
{
    return ReadLE32(static_cast<const uint8_t*>(packet) + sizeof EVENT_PACKET_MAGIC);
}

// In double: a finite timeout may be almost 2^64 ms.
using Milliseconds = std::chrono::duration<double, std::milli>;
using WaitDeadline = std::chrono::time_point<std::chrono::steady_clock, Milliseconds>;

// The time left for Condition::Wait, rounded up to whole milliseconds so a
// sub-millisecond remainder waits a millisecond rather than spinning; 0 when
// the time is up. Half a millisecond more, since the wait cuts seconds back
// to whole milliseconds: 1001 ms as seconds would come back as 1000.
double SecondsLeftUntil(WaitDeadline deadline)
{
    const Milliseconds left = deadline - std::chrono::steady_clock::now();
    const double left_ms = std::ceil(left.count());
    return left_ms > 0.0 ? (left_ms + 0.5) / 1000.0 : 0.0;
}

}  // namespace

GenTLEvent::~GenTLEvent()
{
    TL_ASSERT(!IsOpen());
}

// ---- GenTLEventImpl ----

template <class T>
GenTLEventImpl<T>::GenTLEventImpl(bool always_queue_data) : always_queue(always_queue_data)
{
}

template <class T>
std::string GenTLEventImpl<T>::GetID()
{
    return MakeEventUniqueString(GetEventType());
}

template <class T>
GC_ERROR GenTLEventImpl<T>::DoOpen()
{
    ScopedLock lock(evt_lock);
    registered = true;
    num_fired = 0;
    pending_kills = 0;
    aborted = false;
    return GC_ERR_SUCCESS;
}

template <class T>
GC_ERROR GenTLEventImpl<T>::DoClose()
{
    ScopedLock lock(evt_lock);
    registered = false;
    aborted = true;
    evt_condition.Broadcast();
    DropQueuedData();
    return GC_ERR_SUCCESS;
}

template <class T>
void GenTLEventImpl<T>::OnDatumFlushed(const T&)
{
}

template <class T>
void GenTLEventImpl<T>::CopyDatum(T& destination, const T& source)
{
    destination = source;
}

template <class T>
bool GenTLEventImpl<T>::Push(T datum)
{
    {
        ScopedLock lock(evt_lock);
        if (!registered && !always_queue)
            return false;
        evt_queue.push_back(std::move(datum));
        ++num_fired;
    }
    WakeWaiter();
    return true;
}

template <class T>
bool GenTLEventImpl<T>::IsQueueing()
{
    ScopedLock lock(evt_lock);
    return registered || always_queue;
}

template <class T>
void GenTLEventImpl<T>::WakeWaiter()
{
    // After the event lock: the woken consumer would otherwise block on it
    // at once, and need a second wake-up. Another consumer may take the
    // datum meanwhile; WaitForDatum then waits on.
    evt_condition.NotifyOne();
}

template <class T>
bool GenTLEventImpl<T>::ModifyQueue(const T& datum, QueueModification modification,
                                    std::vector<T>& returned)
{
    TL_ASSERT_MSG(returned.empty(), "returned_events.empty ()");
    {
        ScopedLock lock(evt_lock);
        if (!registered && !always_queue)
            return false;
        switch (modification) {
            case QueueModification::Append:
                evt_queue.push_back(datum);
                break;
            case QueueModification::OverwriteOldest:
                if (evt_queue.empty())
                    return false;
                CopyDatum(evt_queue.front(), datum);
                evt_queue.push_back(std::move(evt_queue.front()));
                evt_queue.pop_front();
                break;
            case QueueModification::KeepOldestWithNewContent:
                if (evt_queue.empty())
                    return false;
                CopyDatum(evt_queue.front(), datum);
                returned.insert(returned.end(), std::next(evt_queue.begin()), evt_queue.end());
                evt_queue.erase(std::next(evt_queue.begin()), evt_queue.end());
                break;
            case QueueModification::ReplaceAll:
                returned.insert(returned.end(), evt_queue.begin(), evt_queue.end());
                evt_queue.clear();
                evt_queue.push_back(datum);
                break;
            default:
                // The queue stays as it is; the firing still counts.
                TL_ASSERT_MSG(false, "Unknown queue modification type requested");
                break;
        }
        if (!returned.empty())
            TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_DEBUG)
                << "Returning " << returned.size() << " events";
        ++num_fired;
    }
    WakeWaiter();
    return true;
}

template <class T>
bool GenTLEventImpl<T>::TakeAbort()
{
    if (aborted)
        return true;
    if (pending_kills < 1)
        return false;
    --pending_kills;
    return true;
}

template <class T>
GC_ERROR GenTLEventImpl<T>::WaitForDatum(uint64_t timeout_ms)
{
    // A push wakes one waiter without a kill; a kill or a close wakes it
    // with one, and the kill is this call's even when data came meanwhile.
    // A wake-up may find the queue empty, since pushes notify after
    // releasing the lock and another consumer may take the datum first:
    // wait again for the rest of the time.
    const bool infinite = timeout_ms == GENTL_INFINITE;
    const WaitDeadline deadline =
        std::chrono::steady_clock::now() + Milliseconds(static_cast<double>(timeout_ms));
    while (evt_queue.empty()) {
        const double wait_s = infinite ? -1.0 : SecondsLeftUntil(deadline);
        if (wait_s == 0.0)
            return ReportError(GC_ERR_TIMEOUT, "GetEventData: wait operation timed out");
        const WaitResult result = evt_condition.Wait(evt_lock, wait_s);
        if (TakeAbort())
            return ReportError(GC_ERR_ABORT, "GetEventData: wait operation aborted");
        if (result == WaitResult::Failed)
            return ReportError(GC_ERR_ERROR,
                               "GetEventData: internal failure during wait operation");
    }
    return GC_ERR_SUCCESS;
}

template <class T>
GC_ERROR GenTLEventImpl<T>::GetEventData(void* buffer, size_t* size, uint64_t timeout_ms)
{
    ScopedLock lock(evt_lock);
    if (TakeAbort())
        return ReportError(GC_ERR_ABORT, "GetEventData: event was in aborted state");
    if (buffer != nullptr && size == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetEventData: invalid buffer size pointer.");
    if (evt_queue.empty()) {
        const GC_ERROR waited = WaitForDatum(timeout_ms);
        if (waited != GC_ERR_SUCCESS)
            return waited;
    }
    if (buffer == nullptr) {
        OnDatumFlushed(evt_queue.front());
        evt_queue.pop_front();
        return GC_ERR_SUCCESS;
    }
    // On failure the datum stays first in line for a retry with a bigger buffer.
    const GC_ERROR copied = CopyOutEventData(evt_queue.front(), buffer, size);
    if (copied == GC_ERR_SUCCESS) {
        ++num_delivered;
        evt_queue.pop_front();
    }
    return copied;
}

template <class T>
GC_ERROR GenTLEventImpl<T>::GetEventInfo(EVENT_INFO_CMD command, INFO_DATATYPE* type,
                                         void* buffer, size_t* size)
{
    switch (command) {
        case EVENT_EVENT_TYPE:
            return CopyInfoInt32(GetEventType(), type, buffer, size);
        case EVENT_NUM_IN_QUEUE:
            return CopyInfoSizeT(GetNumInQueue(), type, buffer, size);
        case EVENT_NUM_FIRED:
            return CopyInfoUInt64(GetNumFired(), type, buffer, size);
        case EVENT_SIZE_MAX:
            return CopyInfoSizeT(GetMaxEventSize(), type, buffer, size);
        case EVENT_INFO_DATA_SIZE_MAX:
            return CopyInfoSizeT(GetMaxInfoDataSize(), type, buffer, size);
        default:
            return ReportError(GC_ERR_NOT_IMPLEMENTED,
                               "GetEventInfo: unknown event info command requested");
    }
}

template <class T>
GC_ERROR GenTLEventImpl<T>::FlushEvent()
{
    ScopedLock lock(evt_lock);
    if (!evt_queue.empty())
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_DEBUG)
            << "Flushing " << evt_queue.size() << " events";
    DropQueuedData();
    return GC_ERR_SUCCESS;
}

template <class T>
void GenTLEventImpl<T>::DropQueuedData()
{
    for (const T& datum : evt_queue)
        OnDatumFlushed(datum);
    evt_queue.clear();
}

template <class T>
GC_ERROR GenTLEventImpl<T>::KillEvent()
{
    ScopedLock lock(evt_lock);
    ++pending_kills;
    evt_condition.NotifyOne();
    return GC_ERR_SUCCESS;
}

template <class T>
size_t GenTLEventImpl<T>::GetNumInQueue()
{
    ScopedLock lock(evt_lock);
    return evt_queue.size();
}

template <class T>
uint64_t GenTLEventImpl<T>::GetNumFired()
{
    ScopedLock lock(evt_lock);
    return num_fired;
}

template <class T>
uint64_t GenTLEventImpl<T>::GetNumDelivered()
{
    ScopedLock lock(evt_lock);
    return num_delivered;
}

template <class T>
void GenTLEventImpl<T>::ResetNumDelivered()
{
    ScopedLock lock(evt_lock);
    num_delivered = 0;
}

template class GenTLEventImpl<NewBufferEventData>;
template class GenTLEventImpl<ErrorEventData_>;
template class GenTLEventImpl<EventPacket>;
template class GenTLEventImpl<FeatureChangeEventData_>;
template class GenTLEventImpl<FeatureInvalidateEventData_>;

// ---- GenTLNewBufferEvent ----

GenTLNewBufferEvent::GenTLNewBufferEvent(BufferOwner& buffer_owner)
    : GenTLEventImpl(true), owner(buffer_owner)
{
}

bool GenTLNewBufferEvent::AddBuffer(BUFFER_HANDLE buffer, void* user_ptr)
{
    return Push(NewBufferEventData{buffer, user_ptr});
}

bool GenTLNewBufferEvent::ReplaceBuffers(BUFFER_HANDLE buffer, void* user_ptr,
                                         QueueModification modification,
                                         std::vector<BUFFER_HANDLE>& returned_bufs)
{
    TL_ASSERT(returned_bufs.empty());
    std::vector<NewBufferEventData> returned;
    if (!ModifyQueue(NewBufferEventData{buffer, user_ptr}, modification, returned))
        return false;
    for (const NewBufferEventData& datum : returned)
        returned_bufs.push_back(datum.BufferHandle);
    return true;
}

void GenTLNewBufferEvent::ReleaseToConsumer(const NewBufferEventData& datum)
{
    const BufferOwner::BufferKind buffer_module = owner.SetQueued(datum.BufferHandle, false);
    TL_ASSERT_MSG(buffer_module != BufferOwner::BufferKind::None, "buffer_module");
    TL_ASSERT_MSG(buffer_module != BufferOwner::BufferKind::Auxiliary,
                  "!buffer_module->IsAuxiliary()");
}

GC_ERROR GenTLNewBufferEvent::CopyOutEventData(const NewBufferEventData& datum, void* buffer,
                                               size_t* size)
{
    const GC_ERROR copied = CopyOutBytes(&datum, sizeof datum, buffer, size);
    if (copied == GC_ERR_SUCCESS)
        ReleaseToConsumer(datum);
    return copied;
}

void GenTLNewBufferEvent::OnDatumFlushed(const NewBufferEventData& datum)
{
    ReleaseToConsumer(datum);
}

void GenTLNewBufferEvent::CopyDatum(NewBufferEventData& destination,
                                    const NewBufferEventData& source)
{
    const BufferOwner::TakeOverFound found =
        owner.TakeOverData(destination.BufferHandle, source.BufferHandle);
    TL_ASSERT_MSG(found.buffer, "buffer_to");
    TL_ASSERT_MSG(found.aux_buffer, "buffer_from");
}

GC_ERROR GenTLNewBufferEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                               EVENT_DATA_INFO_CMD command,
                                               INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (event_buffer == nullptr)
        return NullEventBuffer();
    if (event_size < sizeof(NewBufferEventData))
        return InvalidEventBuffer();
    NewBufferEventData datum;
    std::memcpy(&datum, event_buffer, sizeof datum);
    switch (command) {
        case EVENT_DATA_ID:
            return CopyInfoPtr(datum.BufferHandle, type, buffer, size);
        case EVENT_DATA_VALUE:
            return CopyInfoPtr(datum.pUserPointer, type, buffer, size);
        case EVENT_DATA_NUMID:
            return CopyInfoUInt64(reinterpret_cast<uintptr_t>(datum.BufferHandle), type, buffer,
                                  size);
        default:
            return UnknownDataInfoCommand();
    }
}

// ---- GenTLErrorEvent ----

bool GenTLErrorEvent::AddEvent(const std::string& message)
{
    // A datum beyond EVENT_SIZE_MAX would never fit a consumer's buffer and
    // would block the queue.
    return Push(ErrorEventData_{message.substr(0, MAX_ERROR_EVENT_SIZE - 1)});
}

GC_ERROR GenTLErrorEvent::CopyOutEventData(const ErrorEventData_& datum, void* buffer,
                                           size_t* size)
{
    TL_ASSERT_MSG(datum.err_msg.size() < MAX_ERROR_EVENT_SIZE,
                  "evt_data.err_msg.size() < max_event_size");
    return CopyOutBytes(datum.err_msg.c_str(), datum.err_msg.size() + 1, buffer, size);
}

GC_ERROR GenTLErrorEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                           EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type,
                                           void* buffer, size_t* size)
{
    if (event_buffer == nullptr)
        return NullEventBuffer();
    if (event_size == 0)
        return InvalidEventBuffer();
    switch (command) {
        case EVENT_DATA_ID:
            return CopyInfoInt32(GC_ERR_ERROR, type, buffer, size);
        case EVENT_DATA_VALUE: {
            const char* text = static_cast<const char*>(event_buffer);
            const char* end = text + event_size;
            if (event_size > MAX_ERROR_EVENT_SIZE || std::find(text, end, '\0') == end)
                return CorruptedEventBuffer();
            return CopyInfoString(text, type, buffer, size);
        }
        case EVENT_DATA_NUMID:
            return CopyInfoUInt64(static_cast<uint64_t>(static_cast<int64_t>(GC_ERR_ERROR)), type,
                                  buffer, size);
        default:
            return UnknownDataInfoCommand();
    }
}

// ---- GenTLModuleEvent ----

GenTLModuleEvent::GenTLModuleEvent(size_t max_event_size) : max_data_size(max_event_size) {}

bool GenTLModuleEvent::AddEvent(uint32_t event_id, const void* data, size_t data_size)
{
    if (data_size > max_data_size || (data == nullptr && data_size > 0)) {
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR) << "Rejected invalid module event packet";
        return false;
    }
    // Streams post one per scan, mostly with no consumer registered.
    if (!IsQueueing())
        return false;
    return Push(MakeMagicPacket(event_id, data, data_size));
}

GC_ERROR GenTLModuleEvent::CopyOutEventData(const EventPacket& datum, void* buffer, size_t* size)
{
    return CopyOutBytes(datum.data(), datum.size(), buffer, size);
}

GC_ERROR GenTLModuleEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                            EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type,
                                            void* buffer, size_t* size)
{
    if (event_buffer == nullptr)
        return NullEventBuffer();
    if (!IsMagicPacket(event_buffer, event_size, max_data_size))
        return InvalidEventBuffer();
    const uint32_t event_id = MagicPacketID(event_buffer);
    switch (command) {
        case EVENT_DATA_ID:
            return CopyInfoString(HexText(event_id, 8), type, buffer, size);
        case EVENT_DATA_VALUE:
            return CopyInfoBuffer(static_cast<const uint8_t*>(event_buffer) + 4, event_size - 4,
                                  type, buffer, size);
        case EVENT_DATA_NUMID:
            return CopyInfoUInt64(event_id, type, buffer, size);
        default:
            return UnknownDataInfoCommand();
    }
}

// ---- GenTLRemoteDeviceEvent ----

bool GenTLRemoteDeviceEvent::AddEventPacket(const void* packet, size_t size)
{
    if (!VerifyEventPacket(packet, size, false)) {
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR) << "Rejected invalid device event packet";
        return false;
    }
    std::vector<EventPacket> single_events;
    if (!SplitEventPacket(packet, size, single_events))
        return AddSingleEvent(packet, size);
    for (const EventPacket& single : single_events) {
        if (!AddSingleEvent(single.data(), single.size()))
            return false;
    }
    return true;
}

bool GenTLRemoteDeviceEvent::AddSingleEvent(const void* packet, size_t size)
{
    if (!VerifyEventPacket(packet, size, true)) {
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR)
            << "Rejected invalid device single-event packet";
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(packet);
    return Push(EventPacket(bytes, bytes + size));
}

GC_ERROR GenTLRemoteDeviceEvent::CopyOutEventData(const EventPacket& datum, void* buffer,
                                                  size_t* size)
{
    return CopyOutBytes(datum.data(), datum.size(), buffer, size);
}

GC_ERROR GenTLRemoteDeviceEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                                  EVENT_DATA_INFO_CMD command,
                                                  INFO_DATATYPE* type, void* buffer,
                                                  size_t* size)
{
    if (event_buffer == nullptr)
        return NullEventBuffer();
    if (!VerifyEventPacket(event_buffer, event_size, true))
        return InvalidEventBuffer();
    switch (command) {
        case EVENT_DATA_ID:
            return CopyInfoString(HexText(GetEventIDFromPacket(event_buffer, event_size), 4), type,
                                  buffer, size);
        case EVENT_DATA_VALUE: {
            const EventValueLocation value = GetEventValueLocation(event_buffer, event_size);
            if (!TL_ASSERT_MSG(
                    value.offset <= event_size && value.size <= event_size - value.offset,
                    "evt_value.offset + evt_value.size <= size_in"))
                return InvalidEventBuffer();
            return CopyInfoBuffer(static_cast<const uint8_t*>(event_buffer) + value.offset,
                                  value.size, type, buffer, size);
        }
        case EVENT_DATA_NUMID:
            return CopyInfoUInt64(GetEventIDFromPacket(event_buffer, event_size), type, buffer,
                                  size);
        default:
            return UnknownDataInfoCommand();
    }
}

// ---- GenTLVirtualRemoteDeviceEvent ----

GenTLVirtualRemoteDeviceEvent::GenTLVirtualRemoteDeviceEvent(size_t max_event_size)
    : max_data_size(max_event_size)
{
}

EventPacket GenTLVirtualRemoteDeviceEvent::MakeEventPacket(const void* data, size_t data_size)
{
    if (data == nullptr && data_size > 0) {
        TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR)
            << "Rejected invalid virtual remote device event packet";
        return {};
    }
    return MakeMagicPacket(VIRTUAL_DEVICE_EVENT_ID, data, data_size);
}

bool GenTLVirtualRemoteDeviceEvent::VerifyEventPacket(const void* packet, size_t size, bool)
{
    return IsMagicPacket(packet, size, max_data_size) && MagicPacketID(packet) < 0x10000;
}

bool GenTLVirtualRemoteDeviceEvent::SplitEventPacket(const void*, size_t,
                                                     std::vector<EventPacket>&)
{
    return false;
}

uint16_t GenTLVirtualRemoteDeviceEvent::GetEventIDFromPacket(const void* packet, size_t size)
{
    if (!TL_ASSERT_MSG(VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return 0;
    return static_cast<uint16_t>(MagicPacketID(packet));
}

EventValueLocation GenTLVirtualRemoteDeviceEvent::GetEventValueLocation(const void* packet,
                                                                        size_t size)
{
    if (!TL_ASSERT_MSG(VerifyEventPacket(packet, size, true),
                       "event_packet && VerifyEventPacket (event_packet, size, true)"))
        return {0, 0};
    return {4, size - 4};
}

}  // namespace GenTLCore
