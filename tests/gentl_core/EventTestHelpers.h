// EventTestHelpers.h: registered events, the consumer's side of
// EventGetData, and the calling thread's last error, for the event tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/SmartPointers.h"

namespace EventTestHelpers {

inline std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    EXPECT_TRUE(GenTLCore::TLSControl::Instance()->GetLastError(record));
    return record.text;
}

// An event completed and registered (opened as the handle pool would) for
// the life of the holder; closed again at the end.
template <class Event>
class Registered {
public:
    template <class... Args>
    explicit Registered(Args&&... args) : event(new Event(std::forward<Args>(args)...))
    {
        event->CompleteConstruction();
        EXPECT_EQ(GC_ERR_SUCCESS, event->Open());
    }
    ~Registered()
    {
        if (event->IsOpen())
            event->Close();
    }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;

    Event* operator->() const { return event.Get(); }
    Event& operator*() const { return *event; }

private:
    GenTLCore::SharedPtr<Event> event;
};

// One EventGetData as a consumer makes it, with a buffer of `capacity` bytes.
struct Taken {
    GC_ERROR result;
    std::vector<uint8_t> bytes;  // as many as the call reported
};

inline Taken TakeDatum(GenTLCore::GenTLEvent& event, uint64_t timeout_ms, size_t capacity = 64)
{
    std::vector<uint8_t> buffer(capacity, 0xEE);
    size_t size = capacity;
    const GC_ERROR result = event.GetEventData(buffer.data(), &size, timeout_ms);
    buffer.resize(result == GC_ERR_SUCCESS ? size : 0);
    return {result, buffer};
}

}  // namespace EventTestHelpers
