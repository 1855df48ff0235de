#include "sensor_library/Crc32.h"

#include <isa-l/crc.h>

uint32_t ComputeCrc32Mpeg2(const uint8_t* data, std::size_t size)
{
    // ISA-L's crc32_ieee inverts its seed and its result; MPEG-2 inverts neither.
    const uint32_t crc = ~crc32_ieee(0, data, size);
#if defined(__x86_64__)
    // Its AVX-512 code returns with the upper vector halves in use, and every
    // SSE instruction this thread runs afterwards pays for merging them (the
    // profile linearization three times slower): clear them.
    static const bool has_avx = __builtin_cpu_supports("avx");
    if (has_avx)
        asm volatile("vzeroupper");
#endif
    return crc;
}
