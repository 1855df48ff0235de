// ScanvoEvents.h: the exported event functions with Windows event results,
// for applications that wait the way the sensor library does.
#pragma once

#include <cstdint>

#include "sensor_library/ISensor.h"

namespace neosmart {

// An event made by CreateEventW and ended by DestroyEvent.
struct EventObject;
using EventHandle = EventObject*;

constexpr int WAIT_SIGNALLED = 0;
constexpr int WAIT_TIMED_OUT = 258;
// The result for a null event, as Windows gives for an invalid handle.
constexpr int ERROR_NULL_EVENT = 6;
// Either waits without limit.
constexpr uint64_t WAIT_INFINITE_32 = 0xFFFFFFFFu;
constexpr uint64_t WAIT_INFINITE_64 = ~uint64_t{0};

// A manual-reset event releases every waiter and stays set until
// ResetEvent; an auto-reset event releases one waiter and is reset by that
// release. Null when it cannot be made.
SCANVO_EXPORT EventHandle CreateEventW(bool manual_reset, bool initially_set);
// These return 0, or ERROR_NULL_EVENT.
SCANVO_EXPORT int SetEvent(EventHandle event);
SCANVO_EXPORT int ResetEvent(EventHandle event);
SCANVO_EXPORT int DestroyEvent(EventHandle event);
// WAIT_SIGNALLED, WAIT_TIMED_OUT, or ERROR_NULL_EVENT. A timeout of 0 only
// tests the event.
SCANVO_EXPORT int WaitForEvent(EventHandle event, uint64_t timeout_ms);

}  // namespace neosmart
