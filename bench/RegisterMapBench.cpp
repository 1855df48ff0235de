#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "gentl_core/GenTLRegMapPort.h"

namespace {

constexpr uint32_t BLOCK_REGISTERS = 64;

// A module with a block of 64 read-write uint32 registers from address 0.
class BenchModule : public GenTLCore::GenTLRegisterMap {
public:
    BenchModule()
    {
        for (uint32_t id = 0; id < BLOCK_REGISTERS; ++id)
            AddUInt32Register(id * sizeof(uint32_t), GenTLCore::REG_ACCESS_RW, id);
        FinalizeRegMap();
    }

    GC_ERROR Read(uint64_t address, void* buffer, uint64_t size)
    {
        return ReadFromRegMap(address, buffer, size);
    }
    GC_ERROR Write(uint64_t address, const void* data, uint64_t size)
    {
        return WriteToRegMap(address, data, size);
    }

protected:
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override
    {
        value = values[id];
        return GC_ERR_SUCCESS;
    }
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override
    {
        values[id] = value;
        return GC_ERR_SUCCESS;
    }

private:
    std::array<uint32_t, BLOCK_REGISTERS> values{};
};

void BM_RegisterMapRead4Bytes(benchmark::State& state)
{
    BenchModule module;
    uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(module.Read(0x80, &value, sizeof(value)));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_RegisterMapRead4Bytes);

void BM_RegisterMapWrite4Bytes(benchmark::State& state)
{
    BenchModule module;
    uint32_t value = 0;
    for (auto _ : state) {
        ++value;
        benchmark::DoNotOptimize(module.Write(0x80, &value, sizeof(value)));
    }
}
BENCHMARK(BM_RegisterMapWrite4Bytes);

void BM_RegisterMapReadBlockOf64Registers(benchmark::State& state)
{
    BenchModule module;
    std::array<uint32_t, BLOCK_REGISTERS> block{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(module.Read(0, block.data(), sizeof(block)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * sizeof(block));
}
BENCHMARK(BM_RegisterMapReadBlockOf64Registers);

}  // namespace
