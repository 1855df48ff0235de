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
    read_index = 0;
    write_index = 0;
    return storage != nullptr;
}

void ContainerFifo::Release()
{
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    storage.reset();
    capacity = 0;
    read_index = 0;
    write_index = 0;
}

bool ContainerFifo::Write(const uint8_t* container, uint32_t size)
{
    std::lock_guard<std::mutex> lock(write_mutex);
    const uint32_t room = capacity;
    if (!storage || size == 0 || size > room)
        return true;
    container_size = size;
    uint32_t write = write_index;
    if (size > room - write)
        write = 0;
    std::memcpy(storage.get() + write, container, size);
    const uint32_t read = read_index;
    const bool overwrote = write < read && write + size > read;
    write_index = write + size;
    return !overwrote;
}

void ContainerFifo::Reset()
{
    std::lock_guard<std::mutex> write_lock(write_mutex);
    std::lock_guard<std::mutex> read_lock(read_mutex);
    write_index = 0;
    read_index = 0;
}

uint32_t ContainerFifo::FillBytes() const
{
    const uint32_t read = read_index;
    const uint32_t write = write_index;
    if (read == write)
        return 0;
    return read < write ? write - read : capacity - read + write;
}

double ContainerFifo::FillPercent() const
{
    const uint32_t room = capacity;
    return room == 0 ? 0.0 : static_cast<double>(FillBytes()) * 100.0 / room;
}

int ContainerFifo::TakeRaw(uint8_t* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return -1;
    uint32_t write = 0;
    uint32_t frame = 0;
    {
        std::lock_guard<std::mutex> lock(write_mutex);
        write = write_index;
        frame = container_size;
    }
    std::lock_guard<std::mutex> lock(read_mutex);
    uint32_t read = read_index;
    if (read == write || frame == 0 || !storage)
        return -1;
    if (frame > capacity - read)
        read = 0;
    const uint32_t count = std::min(static_cast<uint32_t>(size), frame);
    std::memcpy(buffer, storage.get() + read, count);
    read_index = read + frame;
    return static_cast<int>(count);
}
