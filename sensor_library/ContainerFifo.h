// ContainerFifo.h: the ring of complete containers between a connection's
// receive thread (writer) and the application threads that read them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// All containers in the ring have one size; a container of another size
// empties it first (the caller decides, see ContainerSize). Containers lie
// contiguously; one that would pass the end starts again at index 0, and a
// reader wraps the same way.
//
// Threads: Write on the receive thread under write_mutex; readers under
// read_mutex; Reset takes both (write, then read). The indices are atomic.
class ContainerFifo {
public:
    ContainerFifo() = default;
    ContainerFifo(const ContainerFifo&) = delete;
    ContainerFifo& operator=(const ContainerFifo&) = delete;

    // False when the storage cannot be allocated.
    bool Allocate(uint32_t bytes);
    void Release();
    uint32_t Capacity() const { return capacity.load(); }

    // The size of the containers written since the last size change.
    uint32_t ContainerSize() const { return container_size.load(); }
    // Copies one container in. False when it overwrote a container not yet read.
    bool Write(const uint8_t* container, uint32_t size);
    void Reset();

    uint32_t ReadIndex() const { return read_index.load(); }
    uint32_t WriteIndex() const { return write_index.load(); }
    uint32_t FillBytes() const;
    double FillPercent() const;

    // Copies min(size, container size) bytes of the oldest container and
    // takes it out; -1 when empty or when the buffer is null or empty.
    int TakeRaw(uint8_t* buffer, int size);

private:
    std::mutex write_mutex;
    std::mutex read_mutex;
    std::unique_ptr<uint8_t[]> storage;
    std::atomic<uint32_t> capacity{0};
    std::atomic<uint32_t> container_size{0};
    std::atomic<uint32_t> read_index{0};
    std::atomic<uint32_t> write_index{0};
};
