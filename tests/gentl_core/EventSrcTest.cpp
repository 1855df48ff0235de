// EventSrcTest.cpp: which events a module offers and how they are
// registered and unregistered on its side.
#include <gtest/gtest.h>

#include "EventTestHelpers.h"
#include "gentl_core/GenTLEventSrc.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

using EventTestHelpers::LastErrorText;
using Types = std::vector<EVENT_TYPE>;
using Answer = std::pair<GC_ERROR, GenTLEvent*>;

// A module's event source with hooks the tests steer and watch.
class TestEventSource : public GenTLEventSrc {
public:
    ~TestEventSource() override
    {
        if (GetModuleEvent() && GetModuleEvent()->IsOpen()) GetModuleEvent()->Close();
    }
    // Registers `event_type`, answering the code and the event handed out.
    Answer Register(EVENT_TYPE event_type, bool unregister = false)
    {
        SharedPtr<GenTLEvent> candidate;
        const GC_ERROR result = unregister ? UnregisterEvent(event_type, candidate)
                                           : RegisterEvent(event_type, candidate);
        return {result, candidate.Get()};
    }

    size_t supported_size = 0;  // 0: no module events
    GC_ERROR register_result = GC_ERR_SUCCESS;
    bool unregister_result = true;
    Types hooks;  // registrations; unregistrations as 100 + the type

protected:
    GC_ERROR OnRegisterEvent(EVENT_TYPE type) override
    {
        return hooks.push_back(type), register_result;
    }
    bool OnUnregisterEvent(EVENT_TYPE type) override
    {
        return hooks.push_back(100 + type), unregister_result;
    }
    Mutex& GetLock() override { return lock; }
    bool SupportsModuleEvents(size_t& max_data_size) override
    {
        return (max_data_size = supported_size) > 0;
    }

private:
    Mutex lock;
};

struct NoBuffers : GenTLNewBufferEvent::BufferOwner {
    bool SetQueued(BUFFER_HANDLE, bool) override { return true; }
    bool TakeOverData(BUFFER_HANDLE, BUFFER_HANDLE) override { return true; }
};

// The error event always, a module event when supported or forced, with the
// larger data size; a second event of one type is refused and the first kept.
TEST(EventSrcTest, OffersTheErrorEventTheEventsAddedBeforeAndAModuleEventWhenAsked)
{
    // clang-format off
    const struct { size_t supported; bool forced; size_t forced_size, expected; } rows[] = {
        {0, false, 4, 0}, {0, true, 4, 4}, {256, true, 4, 256}, {8, false, 100, 8}};
    // clang-format on
    for (const auto& row : rows) {
        TestEventSource source;
        source.supported_size = row.supported;
        source.FinalizeEvents(row.forced, row.forced_size);
        EXPECT_EQ(GC_ERR_SUCCESS, source.Register(EVENT_ERROR).first);
        size_t value = 0, size = sizeof value;
        INFO_DATATYPE type = 0;
        if (source.GetModuleEvent())
            source.GetModuleEvent()->GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size);
        EXPECT_EQ(row.expected ? row.expected + 8 : 0, value) << row.expected;
    }
    TestSupport::AssertionCounter assertions;
    NoBuffers owner;
    SharedPtr<GenTLEvent> events[] = {SharedPtr<GenTLEvent>(new GenTLNewBufferEvent(owner)),
                                      SharedPtr<GenTLEvent>(new GenTLModuleEvent(4)),
                                      SharedPtr<GenTLEvent>(new GenTLModuleEvent(4))};
    TestEventSource source;
    for (const auto& event : events) event->CompleteConstruction(), source.AddEvent(event);
    EXPECT_EQ(1, assertions.Failures());
    source.FinalizeEvents(false, 0);
    EXPECT_EQ(events[0].Get(), source.Register(EVENT_NEW_BUFFER).second);
    EXPECT_EQ(events[1].Get(), source.Register(EVENT_MODULE).second);
}

// The module side of GCRegisterEvent and GCUnregisterEvent.
TEST(EventSrcTest, HandsOutEventsOnlyAfterTheHookAgreesAndReportsAFailingCleanup)
{
    TestEventSource source;
    source.FinalizeEvents(true, 4);
    GenTLModuleEvent* const module_event = source.GetModuleEvent().Get();
    source.register_result = GC_ERR_IO;
    EXPECT_EQ(Answer(GC_ERR_IO, nullptr), source.Register(EVENT_MODULE));
    source.register_result = GC_ERR_SUCCESS;
    EXPECT_EQ(Answer(GC_ERR_SUCCESS, module_event), source.Register(EVENT_MODULE));
    ASSERT_EQ(GC_ERR_SUCCESS, module_event->Open());
    // A registered event is refused before the hook runs.
    EXPECT_EQ(Answer(GC_ERR_RESOURCE_IN_USE, nullptr), source.Register(EVENT_MODULE));
    EXPECT_EQ("Open/Register: requested object is already in use", LastErrorText());
    EXPECT_EQ(Answer(GC_ERR_SUCCESS, source.GetErrorEvent().Get()),
              source.Register(EVENT_ERROR, true));
    source.unregister_result = false;
    EXPECT_EQ(Answer(GC_ERR_ERROR, module_event), source.Register(EVENT_MODULE, true));
    EXPECT_EQ("UnregisterEvent: the event type specific cleanup failed.", LastErrorText());
    source.RollbackRegisterEvent(EVENT_MODULE);
    EXPECT_EQ((Types{EVENT_MODULE, EVENT_MODULE, 100 + EVENT_ERROR, 100 + EVENT_MODULE,
                     100 + EVENT_MODULE}),
              source.hooks);
    EXPECT_EQ(Answer(GC_ERR_NOT_IMPLEMENTED, nullptr), source.Register(EVENT_REMOTE_DEVICE));
    EXPECT_EQ("RegisterEvent: requested event type not implemented for given module.",
              LastErrorText());
    EXPECT_EQ(Answer(GC_ERR_NOT_IMPLEMENTED, nullptr), source.Register(EVENT_REMOTE_DEVICE, true));
    EXPECT_EQ("UnregisterEvent: requested event type not implemented for given module.",
              LastErrorText());
}

}  // namespace
}  // namespace GenTLCore
