#include "sensor_library/ContainerFifo.h"

#include <algorithm>
#include <cstring>
#include <new>

bool ContainerFifo::Allocate(uint32_t bytes)
{
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    storage.reset(new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1]);
    capacity = storage ? bytes : 0;
    container_size = 0;
    slots = 0;
    dropped = 0;
    EmptyLocked();
    return storage != nullptr;
}

void ContainerFifo::Release()
{
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    storage.reset();
    capacity = 0;
    container_size = 0;
    slots = 0;
    EmptyLocked();
}

void ContainerFifo::EmptyLocked()
{
    read_index = 0;
    write_index = 0;
    count = 0;
}

uint32_t ContainerFifo::Wrap(uint32_t index, uint32_t size) const
{
    return size > capacity.load() - std::min(index, capacity.load()) ? 0 : index;
}

// Slots start at multiples of the container size from 0, so with an explicit
// count a full ring (read == write) is told apart from an empty one.
ContainerFifo::WriteResult ContainerFifo::Write(const uint8_t* container, uint32_t size)
{
    std::lock_guard<std::mutex> lock(write_mutex);
    WriteResult result;
    if (!storage || container == nullptr || size == 0 || size > capacity)
        return result;
    if (size != container_size) {
        std::lock_guard<std::mutex> read_lock(read_mutex);
        EmptyLocked();
        container_size = size;
        slots = capacity / size;
        result.size_changed = true;
    }
    if (count.load() == slots) {
        // Lock order write, then read: the reader holds read only.
        std::lock_guard<std::mutex> read_lock(read_mutex);
        if (count.load() == slots) {
            read_index = Wrap(read_index, size) + size;
            count.fetch_sub(1);
            dropped.fetch_add(1);
            result.dropped_oldest = true;
        }
    }
    const uint32_t position = Wrap(write_index, size);
    std::memcpy(storage.get() + position, container, size);
    write_index = position + size;
    count.fetch_add(1, std::memory_order_release);
    result.written = true;
    return result;
}

void ContainerFifo::Reset()
{
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    EmptyLocked();
}

uint32_t ContainerFifo::FillBytes() const
{
    return count.load() * container_size.load();
}

double ContainerFifo::FillPercent() const
{
    const uint32_t room = capacity;
    return room == 0 ? 0.0 : static_cast<double>(FillBytes()) * 100.0 / room;
}

uint32_t ContainerFifo::OldestForRead(bool newest_only)
{
    const uint32_t size = container_size;
    uint32_t position = Wrap(read_index, size);
    const uint32_t available = count.load(std::memory_order_acquire);
    if (newest_only && available > 1) {
        // The writer only adds behind these, and cannot drop while we hold read.
        const uint32_t slot = (position / size + available - 1) % slots;
        position = slot * size;
        count.fetch_sub(available - 1);
    }
    read_index = position;
    return position;
}

void ContainerFifo::TakeOut(uint32_t position)
{
    read_index = position + container_size;
    count.fetch_sub(1);
}

int ContainerFifo::TakeRaw(uint8_t* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return -1;
    int copied = -1;
    Take(false, [&](const uint8_t* container, uint32_t container_bytes) {
        const uint32_t bytes = std::min(static_cast<uint32_t>(size), container_bytes);
        std::memcpy(buffer, container, bytes);
        copied = static_cast<int>(bytes);
        return true;
    });
    return copied;
}
