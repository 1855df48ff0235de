// EventSrcTest.cpp: which events a module offers and how they are
// registered and unregistered on its side.
#include "gentl_core/GenTLEventSrc.h"

#include <gtest/gtest.h>

#include <vector>

#include "EventTestHelpers.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

using EventTestHelpers::LastErrorText;
using Types = std::vector<EVENT_TYPE>;

// A module's event source with hooks the tests steer and watch.
class TestEventSource : public GenTLEventSrc {
public:
    ~TestEventSource() override
    {
        if (GetModuleEvent() && GetModuleEvent()->IsOpen()) GetModuleEvent()->Close();
    }

    bool supports_module_events = false;
    size_t supported_size = 0;
    GC_ERROR register_result = GC_ERR_SUCCESS;
    bool unregister_result = true;
    Types registered_hooks;
    Types unregistered_hooks;

protected:
    GC_ERROR OnRegisterEvent(EVENT_TYPE event_type) override
    {
        registered_hooks.push_back(event_type);
        return register_result;
    }
    bool OnUnregisterEvent(EVENT_TYPE event_type) override
    {
        unregistered_hooks.push_back(event_type);
        return unregister_result;
    }
    Mutex& GetLock() override { return lock; }
    bool SupportsModuleEvents(size_t& max_data_size) override
    {
        max_data_size = supported_size;
        return supports_module_events;
    }

private:
    Mutex lock;
};

struct NoBuffers : GenTLNewBufferEvent::BufferOwner {
    bool SetQueued(BUFFER_HANDLE, bool) override { return true; }
    bool TakeOverData(BUFFER_HANDLE, BUFFER_HANDLE) override { return true; }
};

TEST(EventSrcFinalizeTest, OffersTheErrorEventTheEventsAddedBeforeAndAModuleEventWhenAsked)
{
    TestEventSource plain;
    plain.FinalizeEvents(false, 0);
    SharedPtr<GenTLEvent> candidate;
    EXPECT_EQ(GC_ERR_SUCCESS, plain.RegisterEvent(EVENT_ERROR, candidate));
    candidate.Reset();
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, plain.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ("RegisterEvent: requested event type not implemented for given module.", LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, plain.RegisterEvent(EVENT_NEW_BUFFER, candidate));
    EXPECT_FALSE(plain.GetModuleEvent());

    // The module event's data size is the larger of the supported and the forced one.
    const struct {
        bool supported;
        size_t supported_size;
        bool forced;
        size_t forced_size;
        size_t expected;
    } rows[] = {{false, 0, true, 4, 4}, {true, 256, true, 4, 256}, {true, 8, false, 100, 8}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        TestEventSource source;
        source.supports_module_events = row.supported;
        source.supported_size = row.supported_size;
        source.FinalizeEvents(row.forced, row.forced_size);
        ASSERT_TRUE(source.GetModuleEvent());
        size_t value = 0;
        size_t size = sizeof value;
        INFO_DATATYPE type = 0;
        EXPECT_EQ(GC_ERR_SUCCESS, source.GetModuleEvent()->GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size));
        EXPECT_EQ(row.expected + 8, value);
    }

    // A second event of one type is refused and the first kept.
    TestSupport::AssertionCounter assertions;
    NoBuffers owner;
    SharedPtr<GenTLEvent> new_buffer(new GenTLNewBufferEvent(owner));
    SharedPtr<GenTLEvent> first(new GenTLModuleEvent(4));
    SharedPtr<GenTLEvent> second(new GenTLModuleEvent(4));
    TestEventSource source;
    candidate.Reset();
    for (const auto& event : {new_buffer, first, second}) {
        event->CompleteConstruction();
        source.AddEvent(event);
    }
    EXPECT_EQ(1, assertions.Failures());
    source.FinalizeEvents(false, 0);
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_NEW_BUFFER, candidate));
    EXPECT_EQ(new_buffer.Get(), candidate.Get());
    candidate.Reset();
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ(first.Get(), candidate.Get());
}

// The module side of GCRegisterEvent and GCUnregisterEvent.
class EventSrcRegistrationTest : public ::testing::Test {
protected:
    EventSrcRegistrationTest() { source.FinalizeEvents(true, 4); }
    TestEventSource source;
    SharedPtr<GenTLEvent> candidate;
};

TEST_F(EventSrcRegistrationTest, RegisterHandsOutTheEventAfterTheHookAgreesAndOnlyOnce)
{
    EXPECT_FALSE(source.GetModuleEvent()->AddEvent(1, nullptr, 0));  // posts only once registered
    source.register_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_FALSE(candidate);
    source.register_result = GC_ERR_SUCCESS;
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ(static_cast<GenTLEvent*>(source.GetModuleEvent().Get()), candidate.Get());
    EXPECT_EQ((Types{EVENT_MODULE, EVENT_MODULE}), source.registered_hooks);
    ASSERT_EQ(GC_ERR_SUCCESS, candidate->Open());
    EXPECT_TRUE(source.GetModuleEvent()->AddEvent(1, nullptr, 0));
    EXPECT_EQ(1u, source.GetModuleEvent()->GetNumInQueue());
    // A registered event is refused before the hook runs.
    SharedPtr<GenTLEvent> second;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, source.RegisterEvent(EVENT_MODULE, second));
    EXPECT_EQ("Open/Register: requested object is already in use", LastErrorText());
    EXPECT_FALSE(second);
    EXPECT_EQ(2u, source.registered_hooks.size());
    EXPECT_TRUE(candidate->IsOpen());
}

TEST_F(EventSrcRegistrationTest, UnregisterHandsOutTheEventAndRunsTheHookReportingItsFailure)
{
    EXPECT_EQ(GC_ERR_SUCCESS, source.UnregisterEvent(EVENT_ERROR, candidate));
    EXPECT_EQ(static_cast<GenTLEvent*>(source.GetErrorEvent().Get()), candidate.Get());
    source.unregister_result = false;
    candidate.Reset();
    EXPECT_EQ(GC_ERR_ERROR, source.UnregisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ("UnregisterEvent: the event type specific cleanup failed.", LastErrorText());
    EXPECT_EQ(static_cast<GenTLEvent*>(source.GetModuleEvent().Get()), candidate.Get());
    source.RollbackRegisterEvent(EVENT_MODULE);
    EXPECT_EQ((Types{EVENT_ERROR, EVENT_MODULE, EVENT_MODULE}), source.unregistered_hooks);
    SharedPtr<GenTLEvent> absent;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, source.UnregisterEvent(EVENT_REMOTE_DEVICE, absent));
    EXPECT_EQ("UnregisterEvent: requested event type not implemented for given module.", LastErrorText());
    EXPECT_FALSE(absent);
}

}  // namespace
}  // namespace GenTLCore
