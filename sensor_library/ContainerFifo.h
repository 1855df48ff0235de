// ContainerFifo.h: the ring of complete containers between a connection's
// receive thread (writer) and the application threads that read them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// All containers in the ring have one size; a container of another size
// empties it first. Containers lie contiguously in slots of that size; one
// that would pass the end starts again at index 0, and a reader wraps the
// same way. A full ring drops its oldest container to make room, so the
// newest data always gets in and nothing is lost without being counted.
//
// Threads: Write on the receive thread under write_mutex, taking read_mutex
// inside it only to drop the oldest container or change the size; readers
// under read_mutex for the whole of a take (so a slot is never overwritten
// while it is read); Reset and Release take both (write, then read). The
// indices and the count are atomic so the fill level can be read unlocked.
class ContainerFifo {
public:
    struct WriteResult {
        bool written = false;
        bool size_changed = false;   // the ring was emptied for the new size
        bool dropped_oldest = false;  // the oldest unread container made room
    };

    ContainerFifo() = default;
    ContainerFifo(const ContainerFifo&) = delete;
    ContainerFifo& operator=(const ContainerFifo&) = delete;

    // False when the storage cannot be allocated.
    bool Allocate(uint32_t bytes);
    void Release();
    uint32_t Capacity() const { return capacity.load(); }

    // The size of the containers written since the last size change.
    uint32_t ContainerSize() const { return container_size.load(); }
    // Copies one container in; not written when it is larger than the ring.
    WriteResult Write(const uint8_t* container, uint32_t size);
    void Reset();

    uint32_t ReadIndex() const { return read_index.load(); }
    uint32_t WriteIndex() const { return write_index.load(); }
    uint32_t Count() const { return count.load(); }
    bool IsEmpty() const { return count.load() == 0; }
    uint32_t FillBytes() const;
    // Fill level in percent of this ring's own size; 0 for a ring of size 0.
    double FillPercent() const;
    // Containers dropped to make room since the ring was allocated.
    uint32_t DroppedCount() const { return dropped.load(); }

    // Hands the container to read next to use(data, size) under the read
    // lock; use returns whether the container is taken out. With
    // newest_only, older containers are skipped first. False when empty.
    template <typename Use>
    bool Take(bool newest_only, Use&& use);

    // Copies min(size, container size) bytes of the oldest container and
    // takes it out; -1 when empty or when the buffer is null or empty.
    int TakeRaw(uint8_t* buffer, int size);

private:
    // Start of the slot a container at `index` really occupies.
    uint32_t Wrap(uint32_t index, uint32_t size) const;
    // Under read_mutex: index of the first unread container, after skipping.
    uint32_t OldestForRead(bool newest_only);
    void TakeOut(uint32_t position);
    void EmptyLocked();

    std::mutex write_mutex;
    std::mutex read_mutex;
    // Changed only under both locks.
    std::unique_ptr<uint8_t[]> storage;
    std::atomic<uint32_t> capacity{0};
    std::atomic<uint32_t> container_size{0};
    std::atomic<uint32_t> slots{0};
    // write_index under write_mutex, read_index under read_mutex.
    std::atomic<uint32_t> read_index{0};
    std::atomic<uint32_t> write_index{0};
    // Unread containers: raised by the writer after its copy, lowered under read_mutex.
    std::atomic<uint32_t> count{0};
    std::atomic<uint32_t> dropped{0};
};

template <typename Use>
bool ContainerFifo::Take(bool newest_only, Use&& use)
{
    std::lock_guard<std::mutex> lock(read_mutex);
    if (count.load(std::memory_order_acquire) == 0 || !storage)
        return false;
    const uint32_t position = OldestForRead(newest_only);
    if (use(static_cast<const uint8_t*>(storage.get() + position), container_size.load()))
        TakeOut(position);
    return true;
}
