// EventBench.cpp: the cost of one datum through an event, posted and taken
// with EventGetData, on one thread and across two.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "gentl_core/GenTLEvent.h"
#include "gentl_core/SmartPointers.h"

namespace {

using GenTLCore::GenTLModuleEvent;
using GenTLCore::SharedPtr;

SharedPtr<GenTLModuleEvent> RegisteredModuleEvent()
{
    SharedPtr<GenTLModuleEvent> event(new GenTLModuleEvent(8));
    event->CompleteConstruction();
    event->Open();
    return event;
}

// Post, then take at once: the queue never waits.
void BM_EventPostAndGetData(benchmark::State& state)
{
    SharedPtr<GenTLModuleEvent> event = RegisteredModuleEvent();
    const uint32_t data = 0x12345678;
    uint8_t packet[16];
    for (auto _ : state) {
        event->AddEvent(0xDDDDDD01, &data, sizeof data);
        size_t size = sizeof packet;
        benchmark::DoNotOptimize(event->GetEventData(packet, &size, 0));
    }
    event->Close();
}
BENCHMARK(BM_EventPostAndGetData);

// A producer thread posts while the consumer waits in EventGetData: the
// wake-up latency is part of each round trip.
void BM_EventRoundTripAcrossThreads(benchmark::State& state)
{
    SharedPtr<GenTLModuleEvent> request = RegisteredModuleEvent();
    SharedPtr<GenTLModuleEvent> reply = RegisteredModuleEvent();
    std::thread echo([&] {
        uint8_t packet[16];
        for (;;) {
            size_t size = sizeof packet;
            if (request->GetEventData(packet, &size, GENTL_INFINITE) != GC_ERR_SUCCESS)
                return;
            reply->AddEvent(1, nullptr, 0);
        }
    });
    uint8_t packet[16];
    for (auto _ : state) {
        request->AddEvent(1, nullptr, 0);
        size_t size = sizeof packet;
        benchmark::DoNotOptimize(reply->GetEventData(packet, &size, GENTL_INFINITE));
    }
    request->KillEvent();
    echo.join();
    request->Close();
    reply->Close();
}
BENCHMARK(BM_EventRoundTripAcrossThreads)->UseRealTime();

}  // namespace
