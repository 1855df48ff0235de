#include "sensor_library/Crc32.h"

#include <array>

namespace {

constexpr uint32_t POLYNOMIAL = 0x04C11DB7u;
constexpr int SLICES = 16;

using CrcTables = std::array<std::array<uint32_t, 256>, SLICES>;

// tables[0] is the byte-wise table; tables[k][b] is the CRC contribution of
// byte b followed by k zero bytes, which lets sixteen bytes be folded at once.
constexpr CrcTables BuildTables()
{
    CrcTables tables{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t crc = byte << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ POLYNOMIAL : crc << 1;
        tables[0][byte] = crc;
    }
    for (int slice = 1; slice < SLICES; ++slice) {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            const uint32_t previous = tables[slice - 1][byte];
            tables[slice][byte] = (previous << 8) ^ tables[0][previous >> 24];
        }
    }
    return tables;
}

constexpr CrcTables TABLES = BuildTables();

uint32_t LoadBigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

uint32_t ComputeCrc32Mpeg2(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    while (size >= SLICES) {
        uint32_t words[4] = {crc ^ LoadBigEndian32(data), LoadBigEndian32(data + 4),
                             LoadBigEndian32(data + 8), LoadBigEndian32(data + 12)};
        crc = 0;
        int slice = SLICES - 1;
        for (uint32_t word : words) {
            crc ^= TABLES[slice][word >> 24] ^ TABLES[slice - 1][(word >> 16) & 0xFF] ^
                   TABLES[slice - 2][(word >> 8) & 0xFF] ^ TABLES[slice - 3][word & 0xFF];
            slice -= 4;
        }
        data += SLICES;
        size -= SLICES;
    }
    while (size-- > 0)
        crc = (crc << 8) ^ TABLES[0][(crc >> 24) ^ *data++];
    return crc;
}
