// LittleEndian.h: reads of the sensor's little-endian wire fields from
// unaligned bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace LittleEndian {

inline uint32_t LoadU16(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
}

inline uint32_t LoadU24(const uint8_t* p)
{
    return LoadU16(p) | (uint32_t{p[2]} << 16);
}

inline uint32_t LoadU32(const uint8_t* p)
{
    return LoadU24(p) | (uint32_t{p[3]} << 24);
}

inline float LoadFloat(const uint8_t* p)
{
    const uint32_t bits = LoadU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace LittleEndian
