#include "sensor_library/ScanvoEvents.h"

#include <new>

#include "platform/Win32Event.h"

namespace neosmart {

struct EventObject {
    EventObject(bool manual_reset, bool initially_set) : event(manual_reset, initially_set) {}
    Platform::Win32Event event;
};

EventHandle CreateEventW(bool manual_reset, bool initially_set)
{
    return new (std::nothrow) EventObject(manual_reset, initially_set);
}

int SetEvent(EventHandle event)
{
    if (event == nullptr)
        return ERROR_NULL_EVENT;
    event->event.Set();
    return 0;
}

int ResetEvent(EventHandle event)
{
    if (event == nullptr)
        return ERROR_NULL_EVENT;
    event->event.Reset();
    return 0;
}

int DestroyEvent(EventHandle event)
{
    if (event == nullptr)
        return ERROR_NULL_EVENT;
    delete event;
    return 0;
}

int WaitForEvent(EventHandle event, uint64_t timeout_ms)
{
    if (event == nullptr)
        return ERROR_NULL_EVENT;
    return static_cast<int>(event->event.Wait(timeout_ms));
}

}  // namespace neosmart
