#include "sensor_library/Crc32.h"

#include <isa-l/crc.h>

uint32_t ComputeCrc32Mpeg2(const uint8_t* data, std::size_t size)
{
    // ISA-L's crc32_ieee inverts its seed and its result; MPEG-2 inverts neither.
    return ~crc32_ieee(0, data, size);
}
