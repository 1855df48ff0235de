// A table read that runs out of memory leaves no table pointing into freed
// storage. Its own process: operator new fails here on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sensor_library/LinearizationData.h"
#include "support/ContainerBuilder.h"
#include "support/SimulatedSensorModel.h"

namespace {

// While not 0, allocations of at least this many bytes fail.
std::atomic<std::size_t> failing_bytes{0};

}  // namespace

void* operator new(std::size_t bytes)
{
    const std::size_t limit = failing_bytes.load();
    void* memory = limit != 0 && bytes >= limit ? nullptr : std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

// The replaced operator new takes its memory from malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop

namespace {

using namespace TestSupport;

// X and Z tables of n x n intervals, one pixel apart, every coefficient 1.
Bytes Tables(uint32_t n)
{
    Bytes payload;
    for (int table = 0; table < 2; ++table) {
        AppendU32(payload, n);
        AppendU32(payload, n);
        for (uint32_t k = 0; k < 2 * (n + 1); ++k) AppendDouble(payload, k % (n + 1));
        for (uint32_t k = 0; k < (n + 1) * (n + 1) * 16; ++k) AppendDouble(payload, 1.0);
    }
    return LinRecord(3, payload);
}

TEST(LinearizationMemoryTest, ATableWithoutMemoryIsUnloaded)
{
    // The second record's X coefficients (81 cells of 128 bytes) find no memory.
    const Bytes lin = Concat({Lin1ddMagic(), Tables(1), Tables(8)});
    LinearizationData data;
    failing_bytes = 8192;
    const int result = data.ReadFromMemory(lin.data(), lin.size());
    failing_bytes = 0;
    EXPECT_EQ(LIN_NO_MEMORY_FOR_TABLE, result);
    EXPECT_FALSE(data.HasTables());
    EXPECT_EQ(nullptr, data.Record().x_table.coefficients);
    double x_mm = 7, z_mm = 8;
    EXPECT_EQ(-1, data.Linearize(0.5, 0.5, x_mm, z_mm));
}

}  // namespace
