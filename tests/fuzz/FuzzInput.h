// FuzzInput.h: takes typed values off the front of a fuzz input; what is
// missing at its end reads as zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const uint8_t* bytes, std::size_t count) : data(bytes), size(count) {}

    template <typename T>
    T Take()
    {
        T value{};
        const std::size_t count = std::min(sizeof(T), size);
        if (count > 0)
            std::memcpy(&value, data, count);
        data += count;
        size -= count;
        return value;
    }

    // Up to `count` bytes, fewer at the end; `count` becomes the number taken.
    const uint8_t* TakeBytes(std::size_t& count)
    {
        const uint8_t* taken = data;
        count = std::min(count, size);
        data += count;
        size -= count;
        return taken;
    }

    const uint8_t* Rest() const { return data; }
    std::size_t RestSize() const { return size; }

private:
    const uint8_t* data;
    std::size_t size;
};
