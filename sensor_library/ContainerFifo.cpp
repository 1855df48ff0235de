#include "sensor_library/ContainerFifo.h"

#include <algorithm>
#include <cstring>
#include <new>

bool ContainerFifo::Allocate(uint32_t bytes)
{
    std::lock_guard<std::mutex> lend_lock(lend_mutex);
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
    std::lock_guard<std::mutex> lend_lock(lend_mutex);
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    storage.reset();
    spare.reset();
    spare_size = 0;
    capacity = 0;
    container_size = 0;
    slots = 0;
    EmptyLocked();
}

// A lent slot stays whole: the ring starts again behind it.
void ContainerFifo::EmptyLocked()
{
    uint64_t start = 0;
    const uint32_t lent = lent_position.load();
    const uint32_t size = container_size.load();
    if (lent != NOT_LENT && size > 0) {
        const uint64_t end = uint64_t{lent} + lent_size.load();
        start = (end + size - 1) / size * size;
        if (start + size > capacity.load()) start = 0;
    }
    read_index = static_cast<uint32_t>(start);
    write_index = static_cast<uint32_t>(start);
    count = 0;
    spare_position = NOT_LENT;  // what it held is gone with the rest
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
        container_size = size;
        slots = capacity / size;
        EmptyLocked();
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
    uint8_t* target = WriteTarget(position, size);
    if (target == nullptr) {
        dropped.fetch_add(1);
        return result;
    }
    std::memcpy(target, container, size);
    write_index = position + size;
    count.fetch_add(1, std::memory_order_release);
    result.written = true;
    return result;
}

uint8_t* ContainerFifo::WriteTarget(uint32_t position, uint32_t size)
{
    const uint32_t lent = lent_position.load();
    if (lent == NOT_LENT || position >= uint64_t{lent} + lent_size.load() ||
        uint64_t{position} + size <= lent)
        return storage.get() + position;
    // Only a new size or a whole lap during one lend needs a second spare.
    const uint32_t in_spare = spare_position.load();
    if ((in_spare != NOT_LENT && in_spare != position) || spare_size < size)
        return nullptr;
    spare_position = position;
    spare_bytes = size;
    return spare.get();
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

const uint8_t* ContainerFifo::Source(uint32_t position) const
{
    return position == spare_position.load() ? spare.get() : storage.get() + position;
}

bool ContainerFifo::PrepareLend()
{
    const uint32_t size = container_size.load();
    if (spare_size >= size)
        return true;
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    spare.reset(new (std::nothrow) uint8_t[size]);
    spare_size = spare ? size : 0;
    return spare != nullptr;
}

const uint8_t* ContainerFifo::BeginLend(bool newest_only, uint32_t& size)
{
    std::lock_guard<std::mutex> lock(read_mutex);
    if (count.load(std::memory_order_acquire) == 0 || !storage)
        return nullptr;
    const uint32_t position = OldestForRead(newest_only);
    size = container_size.load();
    // Marked before it is taken out: a writer that may reuse it sees it lent.
    lent_size = size;
    lent_position = position;
    TakeOut(position);
    return storage.get() + position;
}

void ContainerFifo::EndLend()
{
    const uint8_t* next = nullptr;
    uint32_t size = 0;
    {
        std::lock_guard<std::mutex> write_lock(write_mutex);
        std::lock_guard<std::mutex> read_lock(read_mutex);
        const uint32_t position = spare_position.load();
        if (position != NOT_LENT)
            std::memcpy(storage.get() + position, spare.get(), spare_bytes);
        spare_position = NOT_LENT;
        lent_position = NOT_LENT;
        size = container_size.load();
        if (count.load() > 0)
            next = Source(Wrap(read_index, size));
    }
    // A reader that falls behind finds the next one in the cache: it comes
    // in while the last is worked on. The lend lock keeps the memory.
    for (uint32_t offset = 0; next != nullptr && offset < size; offset += 64)
        __builtin_prefetch(next + offset, 0, 2);
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
