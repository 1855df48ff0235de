// EventLogTest.cpp: the log lines events write when they refuse a packet or
// drop and return data.
#include "gentl_core/GenTLEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventTestHelpers.h"
#include "LogCapture.h"
#include "gentl_core/Logger.h"

namespace GenTLCore {
namespace {

using EventTestHelpers::Registered;

// Lines of category "Event" that contain `text`.
int CountEventLines(const std::vector<std::string>& lines, const std::string& text)
{
    int count = 0;
    for (const std::string& line : lines) {
        if (line.rfind("Event ", 0) == 0 && line.find(text) != std::string::npos)
            ++count;
    }
    return count;
}

class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() { SetLogLevelForTest(LOG_LEVEL_DEBUG); }
    ~EventLogTest() override { SetLogLevelForTest(0); }

    TestSupport::LogCapture capture;
    Registered<GenTLModuleEvent> module_event{4};
    Registered<GenTLVirtualRemoteDeviceEvent> device_event{4};
};

TEST_F(EventLogTest, EachRejectedPacketIsLoggedOnce)
{
    const uint8_t data[5] = {0x79, 0x6B, 0x69};
    module_event->AddEvent(1, data, sizeof data);
    device_event->AddEventPacket(data, 3);
    GenTLVirtualRemoteDeviceEvent::MakeEventPacket(nullptr, 2);
    const std::vector<std::string> lines = capture.Lines();
    EXPECT_EQ(1, CountEventLines(lines, "Rejected invalid module event packet"));
    EXPECT_EQ(1, CountEventLines(lines, "Rejected invalid device event packet"));
    EXPECT_EQ(1, CountEventLines(lines, "Rejected invalid virtual remote device event packet"));
}

TEST_F(EventLogTest, FlushCountsTheDroppedData)
{
    module_event->AddEvent(1, nullptr, 0);
    module_event->AddEvent(2, nullptr, 0);
    module_event->FlushEvent();
    EXPECT_EQ(1, CountEventLines(capture.Lines(), "Flushing 2 events"));
}

TEST_F(EventLogTest, FlushOfAnEmptyQueueWritesNothing)
{
    module_event->FlushEvent();
    EXPECT_EQ(0, CountEventLines(capture.Lines(), "Flushing"));
}

TEST_F(EventLogTest, ReplacementCountsTheReturnedData)
{
    struct AnyBuffers : GenTLNewBufferEvent::BufferOwner {
        bool SetQueued(BUFFER_HANDLE, bool) override { return true; }
        bool TakeOverData(BUFFER_HANDLE, BUFFER_HANDLE) override { return true; }
    } owner;
    Registered<GenTLNewBufferEvent> event(owner);
    int buffers[3];
    event->AddBuffer(&buffers[0], nullptr);
    event->AddBuffer(&buffers[1], nullptr);
    std::vector<BUFFER_HANDLE> returned;
    event->ReplaceBuffers(&buffers[2], nullptr, QueueModification::ReplaceAll, returned);
    EXPECT_EQ(1, CountEventLines(capture.Lines(), "Returning 2 events"));
}

TEST_F(EventLogTest, NothingIsLoggedBelowTheLinesLevel)
{
    SetLogLevelForTest(LOG_LEVEL_ALWAYS);
    const uint8_t data[5] = {};
    module_event->AddEvent(1, data, sizeof data);
    EXPECT_EQ(0, CountEventLines(capture.Lines(), "Rejected"));
}

}  // namespace
}  // namespace GenTLCore
