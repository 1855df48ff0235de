// A consumer built against the standard GenTL declaration of the stacked
// part-info entry gets its answers where it looks for them.
#include <gtest/gtest.h>

#include "FixtureSession.h"
#include "StandardPartInfoLayout.h"

namespace {

TEST(StackedPartInfoTest, AnswersAConsumerThatUsesTheStandardEntryLayout)
{
    FrontTest::FixtureSession session;
    ASSERT_TRUE(session.IsLoaded()) << session.LoadError();
    ASSERT_TRUE(session.OpenToInterface());
    const auto& gentl = session.Functions();
    DS_HANDLE stream = session.OpenStream(session.OpenDevice(0));
    BUFFER_HANDLE buffer = session.AllocBuffer(stream);
    EVENT_HANDLE event = session.RegisterNewBufferEvent(stream);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl.DSQueueBuffer(stream, buffer));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, 1));
    ASSERT_EQ(GC_ERR_SUCCESS, FrontTest::WaitForBuffer(gentl, event).result);

    StandardPartInfoAnswer answers[2] = {};
    EXPECT_EQ(GC_ERR_SUCCESS,
              QueryRegionIDsStandardLayout(
                  reinterpret_cast<void (*)(void)>(gentl.DSGetBufferPartInfoStacked), stream,
                  buffer, answers));
    // The fixture's parts carry region IDs 100 and 101.
    for (uint64_t part = 0; part < 2; ++part) {
        SCOPED_TRACE(part);
        EXPECT_EQ(GC_ERR_SUCCESS, answers[part].result);
        EXPECT_EQ(INFO_DATATYPE_UINT64, answers[part].type);
        EXPECT_EQ(100 + part, answers[part].value);
        EXPECT_EQ(sizeof(uint64_t), answers[part].size);
    }
}

}  // namespace
