// The container check against a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "sensor_library/Crc32.h"

namespace {

using Bytes = std::vector<uint8_t>;

void BM_Crc32(benchmark::State& state)
{
    const Bytes bytes(static_cast<std::size_t>(state.range(0)), 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(ComputeCrc32Mpeg2(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20);

void BM_Memcpy(benchmark::State& state)
{
    const Bytes source(static_cast<std::size_t>(state.range(0)), 0x5A);
    Bytes target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20);

}  // namespace
