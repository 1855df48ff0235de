// The Tesk3D data stream in process over the scripted sensor: what reaches
// the consumer when the acquisition thread fails.
#include <gtest/gtest.h>

#include "SensorFakes.h"
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "support/WaitUntil.h"

namespace GenTLCore::ZoTL {
namespace {

// An exception in the acquisition thread ends the stream, not the process;
// the stream asks to be reopened and its buffers come back.
TEST(DataStreamTeskTest, AnExceptionInTheAcquisitionThreadEndsTheStream)
{
    TestSupport::ScriptedSensor sensor;
    const SharedPtr<GenTLDataStreamTesk> stream = TestSupport::StreamOver(sensor);
    stream->CompleteConstruction();
    ASSERT_EQ(GC_ERR_SUCCESS, stream->Open());
    std::vector<uint8_t> memory(sensor.cache->GetPayloadSize());
    SharedPtr<GenTLBuffer> buffer;
    ASSERT_EQ(GC_ERR_SUCCESS,
              stream->AnnounceBufferChecked(memory.data(), memory.size(), nullptr, buffer));
    buffer->Open();
    ASSERT_EQ(GC_ERR_SUCCESS, stream->QueueBuffer(buffer->GetHandle()));
    ASSERT_EQ(GC_ERR_SUCCESS, stream->StartAcquisition(ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    const auto grabbing = [&] {
        bool8_t value = 1;
        size_t size = sizeof value;
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        stream->GetStreamInfo(STREAM_INFO_IS_GRABBING, &type, &value, &size);
        return value != 0;
    };
    EXPECT_TRUE(grabbing());

    stream->FailNextTurnForTest();
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return !grabbing(); }));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, stream->FlushQueue(ACQ_QUEUE_UNQUEUED_TO_INPUT));
    stream->StopAcquisition(ACQ_STOP_FLAGS_DEFAULT);
    EXPECT_EQ(GC_ERR_SUCCESS, stream->FlushQueue(ACQ_QUEUE_ALL_DISCARD));
    EXPECT_EQ(GC_ERR_SUCCESS, stream->RevokeBuffer(buffer, nullptr, nullptr));
    buffer->Close();
    EXPECT_EQ(GC_ERR_SUCCESS, stream->Close());
}

}  // namespace
}  // namespace GenTLCore::ZoTL
