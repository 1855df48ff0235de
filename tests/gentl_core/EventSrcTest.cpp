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

// A module's event source with hooks the tests steer and watch.
class TestEventSource : public GenTLEventSrc {
public:
    bool supports_module_events = false;
    size_t supported_size = 0;
    GC_ERROR register_result = GC_ERR_SUCCESS;
    bool unregister_result = true;
    std::vector<EVENT_TYPE> registered_hooks;
    std::vector<EVENT_TYPE> unregistered_hooks;

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

size_t MaxEventSize(GenTLEvent& event)
{
    size_t value = 0;
    size_t size = sizeof value;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_SUCCESS, event.GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size));
    return value;
}

// What FinalizeEvents puts into a module's set of events.
class EventSrcFinalizeTest : public ::testing::Test {
protected:
    GC_ERROR Register(EVENT_TYPE event_type)
    {
        SharedPtr<GenTLEvent> candidate;
        return source.RegisterEvent(event_type, candidate);
    }
    TestEventSource source;
};

TEST_F(EventSrcFinalizeTest, ModuleWithoutModuleEventsOffersOnlyTheErrorEvent)
{
    source.FinalizeEvents(false, 0);
    EXPECT_EQ(GC_ERR_SUCCESS, Register(EVENT_ERROR));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Register(EVENT_MODULE));
    EXPECT_EQ("RegisterEvent: requested event type not implemented for given module.",
              LastErrorText());
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, Register(EVENT_NEW_BUFFER));
    EXPECT_FALSE(source.GetModuleEvent());
}

// {supported, supported size, forced, forced size}: the module event's data size.
struct SizeCase {
    bool supported;
    size_t supported_size;
    bool forced;
    size_t forced_size;
    size_t expected;
};

class EventSrcModuleEventSizeTest : public EventSrcFinalizeTest,
                                    public ::testing::WithParamInterface<SizeCase> {};

TEST_P(EventSrcModuleEventSizeTest, IsTheLargerOfTheSupportedAndTheForcedSize)
{
    source.supports_module_events = GetParam().supported;
    source.supported_size = GetParam().supported_size;
    source.FinalizeEvents(GetParam().forced, GetParam().forced_size);
    ASSERT_TRUE(source.GetModuleEvent());
    EXPECT_EQ(GetParam().expected + 8, MaxEventSize(*source.GetModuleEvent()));
}

INSTANTIATE_TEST_SUITE_P(Table, EventSrcModuleEventSizeTest,
                         ::testing::Values(SizeCase{false, 0, true, 4, 4},
                                           SizeCase{true, 256, true, 4, 256},
                                           SizeCase{true, 8, false, 100, 8}));

TEST_F(EventSrcFinalizeTest, EventAddedBeforeFinalisationIsOffered)
{
    struct NoBuffers : GenTLNewBufferEvent::BufferOwner {
        bool SetQueued(BUFFER_HANDLE, bool) override { return true; }
        bool TakeOverData(BUFFER_HANDLE, BUFFER_HANDLE) override { return true; }
    } owner;
    SharedPtr<GenTLEvent> new_buffer(new GenTLNewBufferEvent(owner));
    new_buffer->CompleteConstruction();
    source.AddEvent(new_buffer);
    source.FinalizeEvents(false, 0);

    SharedPtr<GenTLEvent> candidate;
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_NEW_BUFFER, candidate));
    EXPECT_EQ(new_buffer.Get(), candidate.Get());
}

TEST_F(EventSrcFinalizeTest, SecondEventOfOneTypeIsRefusedAndTheFirstKept)
{
    SharedPtr<GenTLEvent> first(new GenTLModuleEvent(4));
    SharedPtr<GenTLEvent> second(new GenTLModuleEvent(4));
    first->CompleteConstruction();
    second->CompleteConstruction();
    TestSupport::AssertionCounter assertions;
    source.AddEvent(first);
    source.AddEvent(second);
    EXPECT_EQ(1, assertions.Failures());
    source.FinalizeEvents(false, 0);

    SharedPtr<GenTLEvent> candidate;
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ(first.Get(), candidate.Get());
}

// The module side of GCRegisterEvent and GCUnregisterEvent.
class EventSrcRegistrationTest : public ::testing::Test {
protected:
    EventSrcRegistrationTest() { source.FinalizeEvents(true, 4); }
    ~EventSrcRegistrationTest() override
    {
        if (source.GetModuleEvent()->IsOpen())
            source.GetModuleEvent()->Close();
    }
    TestEventSource source;
    SharedPtr<GenTLEvent> candidate;
};

TEST_F(EventSrcRegistrationTest, RegisterHandsOutTheModuleEventAfterTheHook)
{
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ(static_cast<GenTLEvent*>(source.GetModuleEvent().Get()), candidate.Get());
    EXPECT_EQ((std::vector<EVENT_TYPE>{EVENT_MODULE}), source.registered_hooks);
}

TEST_F(EventSrcRegistrationTest, RefusingHookHandsOutNothing)
{
    source.register_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_FALSE(candidate);
}

TEST_F(EventSrcRegistrationTest, RegisteredEventIsRefusedBeforeTheHookRuns)
{
    ASSERT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    ASSERT_EQ(GC_ERR_SUCCESS, candidate->Open());
    SharedPtr<GenTLEvent> second;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, source.RegisterEvent(EVENT_MODULE, second));
    EXPECT_EQ("Open/Register: requested object is already in use", LastErrorText());
    EXPECT_FALSE(second);
    EXPECT_EQ(1u, source.registered_hooks.size());
    EXPECT_TRUE(candidate->IsOpen());
}

TEST_F(EventSrcRegistrationTest, UnregisterHandsOutTheEventAndRunsTheHook)
{
    EXPECT_EQ(GC_ERR_SUCCESS, source.UnregisterEvent(EVENT_ERROR, candidate));
    EXPECT_EQ(static_cast<GenTLEvent*>(source.GetErrorEvent().Get()), candidate.Get());
    EXPECT_EQ((std::vector<EVENT_TYPE>{EVENT_ERROR}), source.unregistered_hooks);
}

TEST_F(EventSrcRegistrationTest, FailingCleanupIsReportedWithTheEventStillHandedOut)
{
    source.unregister_result = false;
    EXPECT_EQ(GC_ERR_ERROR, source.UnregisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ("UnregisterEvent: the event type specific cleanup failed.", LastErrorText());
    EXPECT_TRUE(candidate);
}

TEST_F(EventSrcRegistrationTest, UnregisterOfAnAbsentTypeIsNotImplemented)
{
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, source.UnregisterEvent(EVENT_REMOTE_DEVICE, candidate));
    EXPECT_EQ("UnregisterEvent: requested event type not implemented for given module.",
              LastErrorText());
    EXPECT_FALSE(candidate);
}

TEST_F(EventSrcRegistrationTest, RollbackRunsTheUnregisterHook)
{
    source.RollbackRegisterEvent(EVENT_MODULE);
    EXPECT_EQ((std::vector<EVENT_TYPE>{EVENT_MODULE}), source.unregistered_hooks);
}

TEST_F(EventSrcRegistrationTest, ModuleEventPostsOnceRegistered)
{
    EXPECT_FALSE(source.GetModuleEvent()->AddEvent(1, nullptr, 0));
    ASSERT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    ASSERT_EQ(GC_ERR_SUCCESS, candidate->Open());
    EXPECT_TRUE(source.GetModuleEvent()->AddEvent(1, nullptr, 0));
    EXPECT_EQ(1u, source.GetModuleEvent()->GetNumInQueue());
}

}  // namespace
}  // namespace GenTLCore
