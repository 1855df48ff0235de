// Crc32.h: CRC-32/MPEG-2, the check value of the sensor's containers and
// frames: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no reflection, no
// final XOR. "123456789" gives 0x0376E6E7; no bytes give 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

// Thread-safe. ISA-L picks the fastest code for the processor at run time.
uint32_t ComputeCrc32Mpeg2(const uint8_t* data, std::size_t size);
