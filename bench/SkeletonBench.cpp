#include <benchmark/benchmark.h>

#include "platform/Assert.h"

// The cost of a passing assertion on a hot path.
static void BM_PassingAssertion(benchmark::State& state)
{
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TL_ASSERT(value == 0));
    }
}
BENCHMARK(BM_PassingAssertion);
