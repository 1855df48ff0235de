// EventSrcTest.cpp: which events a module offers and how they are
// registered and unregistered on its side.
#include <gtest/gtest.h>

#include "CoreTestHelpers.h"
#include "gentl_core/GenTLEventSrc.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

using CoreTestHelpers::LastErrorText;
using Types = std::vector<EVENT_TYPE>;

// A module's event source with hooks the tests steer and watch.
class TestEventSource : public GenTLEventSrc {
public:
    ~TestEventSource() override
    {
        if (GetModuleEvent() && GetModuleEvent()->IsOpen()) GetModuleEvent()->Close();
    }
    size_t supported_size = 0;  // 0: no module events
    GC_ERROR register_result = GC_ERR_SUCCESS;
    bool unregister_result = true;
    Types hooks;  // registrations; unregistrations as 100 + the type

protected:
    // clang-format off
    GC_ERROR OnRegisterEvent(EVENT_TYPE type) override { return hooks.push_back(type), register_result; }
    bool OnUnregisterEvent(EVENT_TYPE type) override { return hooks.push_back(100 + type), unregister_result; }
    Mutex& GetLock() override { return lock; }
    bool SupportsModuleEvents(size_t& max_data_size) override { return (max_data_size = supported_size) > 0; }
    // clang-format on
    Mutex lock;
};

// The module side of GCRegisterEvent and GCUnregisterEvent: an event is
// handed out only after the hook agrees, a registered one is refused before
// the hook runs, and a failing clean-up is reported. The module event is
// offered when supported or forced, with the larger data size; a second
// event of one type is refused and the first kept.
TEST(EventSrcTest, HandsOutEventsOnlyAfterTheHookAgreesAndReportsAFailingCleanup)
{
    TestSupport::AssertionCounter assertions;
    TestEventSource source;
    SharedPtr<GenTLEvent> added(new GenTLModuleEvent(4)), candidate;
    added->CompleteConstruction();
    source.AddEvent(added);
    source.AddEvent(added);
    EXPECT_EQ(1, assertions.Failures());
    source.FinalizeEvents(true, 4);
    source.register_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, source.RegisterEvent(EVENT_MODULE, candidate));
    source.register_result = GC_ERR_SUCCESS;
    EXPECT_EQ(GC_ERR_SUCCESS, source.RegisterEvent(EVENT_MODULE, candidate));
    EXPECT_EQ(added.Get(), candidate.Get());
    ASSERT_EQ(GC_ERR_SUCCESS, candidate->Open());
    // clang-format off
    const struct { bool unregister; EVENT_TYPE type; bool unregister_result; GC_ERROR result; std::string text; } rows[] = {
        {false, EVENT_MODULE, true, GC_ERR_RESOURCE_IN_USE, "Open/Register: requested object is already in use"},
        {true, EVENT_ERROR, true, GC_ERR_SUCCESS, ""},
        {true, EVENT_MODULE, false, GC_ERR_ERROR, "UnregisterEvent: the event type specific cleanup failed."},
        {false, EVENT_REMOTE_DEVICE, true, GC_ERR_NOT_IMPLEMENTED, "RegisterEvent: requested event type not implemented for given module."},
        {true, EVENT_REMOTE_DEVICE, true, GC_ERR_NOT_IMPLEMENTED, "UnregisterEvent: requested event type not implemented for given module."},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        source.unregister_result = row.unregister_result;
        EXPECT_EQ(row.result, row.unregister ? source.UnregisterEvent(row.type, candidate)
                                             : source.RegisterEvent(row.type, candidate));
        EXPECT_EQ(row.text, row.text.empty() ? "" : LastErrorText());
    }
    source.RollbackRegisterEvent(EVENT_MODULE);
    added->Close();
    EXPECT_EQ((Types{EVENT_MODULE, EVENT_MODULE, 100 + EVENT_ERROR, 100 + EVENT_MODULE,
                     100 + EVENT_MODULE}),
              source.hooks);
    // Supported size, forced with 100 or not, against the event's maximum size.
    // clang-format off
    const struct { size_t supported; bool forced; size_t max_size; } sizes[] = {{0, false, 0}, {0, true, 108}, {8, false, 16}, {256, true, 264}};
    // clang-format on
    for (const auto& [supported, forced, max_size] : sizes) {
        TestEventSource plain;
        plain.supported_size = supported;
        plain.FinalizeEvents(forced, 100);
        size_t value = 0, size = sizeof value;
        INFO_DATATYPE type = 0;
        if (plain.GetModuleEvent())
            plain.GetModuleEvent()->GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size);
        EXPECT_EQ(max_size, value);
    }
}

}  // namespace
}  // namespace GenTLCore
