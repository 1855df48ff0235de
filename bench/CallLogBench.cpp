#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <tuple>

#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"
#include "gentl_core/GenTLSrvLogged.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SyncObjects.h"
#include "platform/DebugOutput.h"

namespace {

// A front that answers every call with success at once and touches nothing.
class TrivialSrv : public GenTLCore::GenTLSrv {
public:
#define TRIVIAL_OPERATION(name, params, args)          \
    GC_ERROR name params override                      \
    {                                                  \
        static_cast<void>(std::forward_as_tuple args); \
        return GC_ERR_SUCCESS;                         \
    }
    GENTL_FUNCTION_LIST(TRIVIAL_OPERATION)
#undef TRIVIAL_OPERATION
};

// The least a real operation does: take its object's lock once.
class LockingSrv : public TrivialSrv {
public:
    GC_ERROR GCReadPort(PORT_HANDLE, uint64_t, void* pBuffer, size_t* piSize) override
    {
        GenTLCore::ScopedLock lock(mutex);
        std::memset(pBuffer, 0, *piSize);
        return GC_ERR_SUCCESS;
    }

private:
    GenTLCore::Mutex mutex;
};

void DiscardOutput(const char*, std::size_t) {}

// A four-byte register read through `srv`, opaque to the optimiser so the
// virtual call stays.
void ReadPortThrough(benchmark::State& state, GenTLCore::GenTLSrv* srv)
{
    benchmark::DoNotOptimize(srv);
    uint32_t value = 0;
    size_t size = sizeof(value);
    for (auto _ : state) {
        benchmark::DoNotOptimize(srv->GCReadPort(nullptr, 0x1000, &value, &size));
        benchmark::ClobberMemory();
    }
}

}  // namespace

// The baseline: the call straight into the inner front.
template <typename Inner>
static void BM_ReadPortDirect(benchmark::State& state)
{
    Inner inner;
    ReadPortThrough(state, &inner);
}
BENCHMARK_TEMPLATE(BM_ReadPortDirect, TrivialSrv);
BENCHMARK_TEMPLATE(BM_ReadPortDirect, LockingSrv);

// The same call through the call-log front with logging off: two level reads
// and one virtual call more.
template <typename Inner>
static void BM_ReadPortLoggedOff(benchmark::State& state)
{
    GenTLCore::SetLogLevelForTest(0);
    Inner inner;
    GenTLCore::GenTLSrvLogged logged(&inner);
    ReadPortThrough(state, &logged);
}
BENCHMARK_TEMPLATE(BM_ReadPortLoggedOff, TrivialSrv);
BENCHMARK_TEMPLATE(BM_ReadPortLoggedOff, LockingSrv);

// With the lines built and handed to a debug output that drops them.
static void BM_ReadPortLoggedOn(benchmark::State& state)
{
    const Platform::DebugOutputHook previous = Platform::SetDebugOutputHookForTest(&DiscardOutput);
    GenTLCore::SetLogLevelForTest(GenTLCore::LOG_LEVEL_INFO);
    TrivialSrv inner;
    GenTLCore::GenTLSrvLogged logged(&inner);
    ReadPortThrough(state, &logged);
    GenTLCore::SetLogLevelForTest(0);
    Platform::SetDebugOutputHookForTest(previous);
}
BENCHMARK(BM_ReadPortLoggedOn);
