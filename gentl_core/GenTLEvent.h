// GenTLEvent.h: GenTL event objects: the queue, wait, kill and flush behind
// EventGetData, and the concrete events the modules post to (new buffer,
// error, module, remote device).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLHandle.h"
#include "gentl_core/SyncObjects.h"

namespace GenTLCore {

// What GCRegisterEvent hands out and the Event* calls work on.
//
// Created by its owner (a module's event source, or a data stream for the
// new-buffer event), completed with CompleteConstruction, held by SharedPtr
// in the owner and, while registered, in the handle pool; the pool's Open and
// Close (under the handle lock) register and unregister it.
// Threads: any; every operation below locks the event itself.
class GenTLEvent : public GenTLHandle {
public:
    // Asserts the event is no longer registered.
    ~GenTLEvent() override;

    // Takes the oldest datum into `buffer` (null: discards it), waiting up
    // to `timeout_ms` (GENTL_INFINITE: without limit) when none is queued.
    // A wait ends only with a datum, the timeout, an abort or a failed wait.
    virtual GC_ERROR GetEventData(void* buffer, size_t* size, uint64_t timeout_ms) = 0;
    // Decodes a datum as EventGetData delivered it.
    virtual GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                                      EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type,
                                      void* buffer, size_t* size) = 0;
    virtual GC_ERROR GetEventInfo(EVENT_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                  size_t* size) = 0;
    // Drops every queued datum.
    virtual GC_ERROR FlushEvent() = 0;
    // Aborts one GetEventData: the one waiting now, or else the next one.
    virtual GC_ERROR KillEvent() = 0;
    virtual EVENT_TYPE GetEventType() const = 0;
};

// How a queue is changed by ModifyQueue.
enum class QueueModification : uint32_t {
    Append = 0,
    // The oldest datum takes the new content and becomes the newest.
    OverwriteOldest = 1,
    // The oldest datum takes the new content; every other one is returned.
    KeepOldestWithNewContent = 2,
    // Every queued datum is returned; the new one is queued alone.
    ReplaceAll = 3,
};

// An event with a queue of T, front = oldest. One body serves every event
// type; subclasses say how a datum is written out and what happens to one
// that leaves undelivered.
//
// Threads: data are pushed from any thread (engine, monitor, consumer) and
// taken by consumer threads. One event lock guards the queue, the counters,
// the pending kills and the aborted state; GetEventData releases it only
// inside its wait. Lock order: handle lock (DoOpen, DoClose), then the event
// lock, then whatever the subclass hooks take (a buffer's lock).
template <class T>
class GenTLEventImpl : public GenTLEvent {
public:
    std::string GetID() override;

    GC_ERROR GetEventData(void* buffer, size_t* size, uint64_t timeout_ms) override;
    GC_ERROR GetEventInfo(EVENT_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                          size_t* size) override;
    GC_ERROR FlushEvent() override;
    GC_ERROR KillEvent() override;

    size_t GetNumInQueue();
    uint64_t GetNumFired();
    // Data handed out by GetEventData into a consumer buffer.
    uint64_t GetNumDelivered();
    void ResetNumDelivered();

protected:
    // With `always_queue_data` the event queues data while not registered.
    explicit GenTLEventImpl(bool always_queue_data = false);

    // Registered: data are queued and counted afresh; kills and the aborted
    // state of an earlier registration are forgotten. Queued data stay.
    GC_ERROR DoOpen() override;
    // Every waiter and every later GetEventData is aborted until the next
    // DoOpen; queued data are dropped through OnDatumFlushed.
    GC_ERROR DoClose() override;

    // Largest datum EventGetData delivers, and largest EventGetDataInfo answer.
    virtual size_t GetMaxEventSize() const = 0;
    virtual size_t GetMaxInfoDataSize() const = 0;
    // Writes one datum; on success sets *size to the bytes written. Called
    // with the event lock held, `buffer` and `size` given.
    virtual GC_ERROR CopyOutEventData(const T& datum, void* buffer, size_t* size) = 0;
    // For every datum that leaves the queue undelivered (flush, discard,
    // unregister); under the event lock.
    virtual void OnDatumFlushed(const T& datum);
    // Gives `destination` the content of `source`; under the event lock.
    virtual void CopyDatum(T& destination, const T& source);

    // Appends; false (datum dropped) unless registered or always queueing.
    bool Push(T datum);
    // Whether a Push now would queue: lets a caller skip building a datum
    // nobody takes. Push decides again.
    bool IsQueueing();
    // The general push; `returned` must arrive empty and receives the data
    // taken out, oldest first. False, with nothing changed, when the event
    // does not queue now or when there is no oldest datum to modify. An
    // unknown modification asserts and changes nothing, yet counts as fired.
    bool ModifyQueue(const T& datum, QueueModification modification, std::vector<T>& returned);

private:
    // With the event lock held once: consumes a kill or sees the abort.
    bool TakeAbort();
    // With the event lock held once and the queue empty: waits until a datum
    // is queued, the time from the call's start is up, or an abort comes.
    GC_ERROR WaitForDatum(uint64_t timeout_ms);
    void DropQueuedData();
    // After a push, with the event lock released.
    void WakeWaiter();

    // Fixed at construction.
    const bool always_queue;

    // The event lock, and the condition pushes and kills notify.
    Mutex evt_lock;
    Condition evt_condition;

    // Guarded by evt_lock.
    std::deque<T> evt_queue;
    bool registered = false;
    bool aborted = false;
    int32_t pending_kills = 0;
    uint64_t num_fired = 0;
    uint64_t num_delivered = 0;
};

// The datum of the new-buffer event as EventGetData delivers it (16 bytes).
struct NewBufferEventData {
    BUFFER_HANDLE BufferHandle;
    void* pUserPointer;
};
static_assert(sizeof(NewBufferEventData) == 16, "new-buffer event data are 16 bytes");

// The output queue of a data stream: filled buffers wait here for
// EventGetData, registered or not.
//
// Created by its data stream at finalisation; lives as long as the stream.
// Threads: the stream's engine thread adds, consumer threads take and flush.
class GenTLNewBufferEvent : public GenTLEventImpl<NewBufferEventData> {
public:
    // What the event needs of the buffers behind the handles it carries. The
    // owning data stream implements it over its own buffers: the handle pool
    // cannot serve, since closing a stream drops its buffer handles before
    // the stream flushes this event. Called with the event lock held; may
    // take a buffer's lock, never the event's.
    class BufferOwner {
    public:
        // What a handle names among the owner's buffers.
        enum class BufferKind { None, Consumer, Auxiliary };
        // Which of the two buffers of a take-over the owner knows.
        struct TakeOverFound {
            bool buffer;
            bool aux_buffer;
        };

        virtual ~BufferOwner() = default;
        // GenTLBuffer::SetQueued when `buffer` is a consumer buffer of this
        // owner; answers what `buffer` is.
        virtual BufferKind SetQueued(BUFFER_HANDLE buffer, bool new_status) = 0;
        // GenTLBuffer::TakeOverData when both are known: consumer buffer
        // `buffer` takes over the data and fill results of auxiliary buffer
        // `aux_buffer`.
        virtual TakeOverFound TakeOverData(BUFFER_HANDLE buffer, BUFFER_HANDLE aux_buffer) = 0;
    };

    explicit GenTLNewBufferEvent(BufferOwner& buffer_owner);

    bool AddBuffer(BUFFER_HANDLE buffer, void* user_ptr);
    // ModifyQueue with {buffer, user_ptr}; `returned_bufs` (arriving empty)
    // receives the handles taken out, oldest first.
    bool ReplaceBuffers(BUFFER_HANDLE buffer, void* user_ptr, QueueModification modification,
                        std::vector<BUFFER_HANDLE>& returned_bufs);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_NEW_BUFFER; }

protected:
    size_t GetMaxEventSize() const override { return sizeof(NewBufferEventData); }
    size_t GetMaxInfoDataSize() const override { return sizeof(void*); }
    // A delivered buffer belongs to the consumer: no longer queued.
    GC_ERROR CopyOutEventData(const NewBufferEventData& datum, void* buffer,
                              size_t* size) override;
    void OnDatumFlushed(const NewBufferEventData& datum) override;
    // The waiting buffer keeps its handle and takes the auxiliary fill.
    void CopyDatum(NewBufferEventData& destination, const NewBufferEventData& source) override;

private:
    void ReleaseToConsumer(const NewBufferEventData& datum);

    BufferOwner& owner;  // the data stream that owns this event outlives it
};

struct ErrorEventData_ {
    std::string err_msg;
};

// A module's error event; the datum is a message, delivered with its NUL.
class GenTLErrorEvent : public GenTLEventImpl<ErrorEventData_> {
public:
    static constexpr size_t MAX_ERROR_EVENT_SIZE = 1024;

    GenTLErrorEvent() = default;

    // A message longer than fits EVENT_SIZE_MAX with its NUL is cut.
    bool AddEvent(const std::string& message);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_ERROR; }

protected:
    size_t GetMaxEventSize() const override { return MAX_ERROR_EVENT_SIZE; }
    size_t GetMaxInfoDataSize() const override { return MAX_ERROR_EVENT_SIZE; }
    GC_ERROR CopyOutEventData(const ErrorEventData_& datum, void* buffer,
                              size_t* size) override;
};

// The answers every concrete event gives alike, reported as the calling
// thread's last error.
namespace EventAnswers {
// Copies `data_size` bytes out as one datum, or refuses a short buffer.
GC_ERROR CopyOutBytes(const void* data, size_t data_size, void* buffer, size_t* size);
GC_ERROR NullEventBuffer();
GC_ERROR InvalidEventBuffer();
GC_ERROR CorruptedEventBuffer();
GC_ERROR UnknownDataInfoCommand();
// Lower-case hexadecimal with leading zeros to `digits` places.
std::string HexText(uint32_t value, int digits);
}  // namespace EventAnswers

// One complete event packet, as EventGetData delivers it.
using EventPacket = std::vector<uint8_t>;

// The first four bytes of a module-event packet: "ykiv".
inline constexpr uint8_t EVENT_PACKET_MAGIC[4] = {0x79, 0x6B, 0x69, 0x76};
// Magic and 32-bit little-endian event ID in front of the event data.
inline constexpr size_t EVENT_PACKET_HEADER_SIZE = 8;

// A module's own event: packets "ykiv", 32-bit event ID, up to
// `max_event_size` data bytes.
class GenTLModuleEvent : public GenTLEventImpl<EventPacket> {
public:
    explicit GenTLModuleEvent(size_t max_event_size);

    // False (logged) for more than max_event_size bytes or missing data.
    bool AddEvent(uint32_t event_id, const void* data, size_t data_size);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_MODULE; }

protected:
    size_t GetMaxEventSize() const override { return max_data_size + EVENT_PACKET_HEADER_SIZE; }
    size_t GetMaxInfoDataSize() const override { return max_data_size + 4; }
    // The whole packet.
    GC_ERROR CopyOutEventData(const EventPacket& datum, void* buffer, size_t* size) override;

private:
    const size_t max_data_size;
};

// Where an event's value lies inside a single-event packet.
struct EventValueLocation {
    size_t offset;
    size_t size;
};

// Event packets of a remote device: verified, split into single events,
// queued one per datum. Subclasses know the packet format.
class GenTLRemoteDeviceEvent : public GenTLEventImpl<EventPacket> {
public:
    // Verifies the packet and queues each of its events; false (logged) when
    // the packet or one of its events is invalid or not queued.
    bool AddEventPacket(const void* packet, size_t size);
    // Queues a packet holding exactly one event; false (logged) otherwise.
    bool AddSingleEvent(const void* packet, size_t size);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_REMOTE_DEVICE; }

protected:
    GenTLRemoteDeviceEvent() = default;

    // The whole packet.
    GC_ERROR CopyOutEventData(const EventPacket& datum, void* buffer, size_t* size) override;

    // With `single`, whether the packet holds exactly one valid event.
    virtual bool VerifyEventPacket(const void* packet, size_t size, bool single) = 0;
    // Splits a verified packet into single-event packets appended to
    // `single_events` (arriving empty); false when it is not to be split.
    virtual bool SplitEventPacket(const void* packet, size_t size,
                                  std::vector<EventPacket>& single_events) = 0;
    // Of a verified single-event packet.
    virtual uint16_t GetEventIDFromPacket(const void* packet, size_t size) = 0;
    virtual EventValueLocation GetEventValueLocation(const void* packet, size_t size) = 0;
};

// The remote-device event of a device without a GenICam event channel of its
// own: packets laid out as module-event packets, with IDs below 0x10000.
class GenTLVirtualRemoteDeviceEvent : public GenTLRemoteDeviceEvent {
public:
    static constexpr uint32_t VIRTUAL_DEVICE_EVENT_ID = 0xF001;

    explicit GenTLVirtualRemoteDeviceEvent(size_t max_event_size);

    // "ykiv", VIRTUAL_DEVICE_EVENT_ID, the data; empty (logged) when data
    // are missing.
    static EventPacket MakeEventPacket(const void* data, size_t data_size);

protected:
    size_t GetMaxEventSize() const override { return max_data_size + EVENT_PACKET_HEADER_SIZE; }
    size_t GetMaxInfoDataSize() const override { return max_data_size + 4; }

    bool VerifyEventPacket(const void* packet, size_t size, bool single) override;
    bool SplitEventPacket(const void* packet, size_t size,
                          std::vector<EventPacket>& single_events) override;
    uint16_t GetEventIDFromPacket(const void* packet, size_t size) override;
    EventValueLocation GetEventValueLocation(const void* packet, size_t size) override;

private:
    const size_t max_data_size;
};

}  // namespace GenTLCore
