// One 2048-point profile stored as a Coord3D_ABC32f row and an intensity
// row, on each vector target the machine runs: into rows that stay in cache,
// and into rows of a pool larger than the caches, as buffers a consumer
// cycles through are.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <string>
#include <vector>

#include "gentl_producers/GenTesk3d/RowKernels.h"

namespace {

using namespace GenTLCore::ZoTL;

constexpr size_t WIDTH = 2048;
constexpr size_t ROW_BYTES = WIDTH * (2 + 12);
constexpr size_t POOL_BYTES = size_t{64} << 20;

void BM_StoreRow(benchmark::State& state, int64_t target)
{
    const bool cold = state.range(0) != 0;
    std::vector<double> x(WIDTH), z(WIDTH);
    std::vector<int> intensity(WIDTH);
    for (size_t i = 0; i < WIDTH; ++i) {
        x[i] = i % 9 == 0 ? 0.0 : i * 0.01 + 0.004;
        z[i] = i % 9 == 0 ? 0.0 : 100.0 + i % 50;
        intensity[i] = static_cast<int>(i * 7);
    }
    const RowKernels::ProfileColumns profile{x.data(), z.data(), intensity.data(), WIDTH};
    std::vector<uint8_t> pool(cold ? POOL_BYTES : ROW_BYTES, 1);
    const size_t rows = pool.size() / ROW_BYTES;
    size_t row = 0;
    hwy::SetSupportedTargetsForTest(target);
    for (auto _ : state) {
        uint8_t* const at = pool.data() + row * ROW_BYTES;
        RowKernels::StorePoints32(profile, 1.5f, reinterpret_cast<float*>(at));
        RowKernels::StoreIntensity(profile, reinterpret_cast<uint16_t*>(at + 12 * WIDTH));
        benchmark::DoNotOptimize(at);
        row = row + 1 == rows ? 0 : row + 1;
    }
    hwy::SetSupportedTargetsForTest(0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ROW_BYTES));
}

const bool REGISTERED_PER_TARGET = [] {
    for (const int64_t target : hwy::SupportedAndGeneratedTargets())
        benchmark::RegisterBenchmark(
            (std::string("BM_StoreRow/") + hwy::TargetName(target)).c_str(), BM_StoreRow, target)
            ->ArgName("cold")
            ->Arg(0)
            ->Arg(1);
    return true;
}();

}  // namespace
