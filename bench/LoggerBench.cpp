#include <benchmark/benchmark.h>

#include <string>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"

// A Trace line on the per-scan path while logging is off: one comparison.
static void BM_DisabledLogLine(benchmark::State& state)
{
    GenTLCore::SetLogLevelForTest(0);
    int scan = 0;
    for (auto _ : state) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_TRACE) << "scan " << scan << " delivered\n";
        benchmark::DoNotOptimize(++scan);
    }
}
BENCHMARK(BM_DisabledLogLine);

// A failing call's report with logging off: the thread's record is updated.
static void BM_ReportError(benchmark::State& state)
{
    GenTLCore::SetLogLevelForTest(0);
    const std::string text = "ReadPort: invalid buffer/size pointer";
    for (auto _ : state)
        benchmark::DoNotOptimize(GenTLCore::ReportError(GC_ERR_INVALID_PARAMETER, text));
}
BENCHMARK(BM_ReportError)->Threads(1)->Threads(4);
