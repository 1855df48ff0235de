#include <benchmark/benchmark.h>

#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"

namespace {

struct Payload {
    virtual ~Payload() = default;
    int value = 0;
};

}  // namespace

// Every framework operation takes a handle lock at least once.
static void BM_MutexLockUnlockUncontended(benchmark::State& state)
{
    GenTLCore::Mutex mutex;
    for (auto _ : state) {
        GenTLCore::ScopedLock lock(mutex);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MutexLockUnlockUncontended);

// One queued event datum: a post and the wait that takes it.
static void BM_SignalPostThenWait(benchmark::State& state)
{
    GenTLCore::Signal signal;
    for (auto _ : state) {
        signal.Post();
        benchmark::DoNotOptimize(signal.Wait(0.0));
    }
}
BENCHMARK(BM_SignalPostThenWait);

// Buffers and events travel between threads as SharedPtr copies.
static void BM_SharedPtrCopy(benchmark::State& state)
{
    GenTLCore::SharedPtr<Payload> original(new Payload);
    for (auto _ : state) {
        GenTLCore::SharedPtr<Payload> copy(original);
        benchmark::DoNotOptimize(copy.UseCount());
    }
}
BENCHMARK(BM_SharedPtrCopy);
