// What a consumer relies on: the standard stacked part-info layout, a GenTL
// code with its last error when memory runs out, a quiet terminal while the
// call log is off, and a producer still whole while its process exits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FixtureSession.h"

extern "C" int32_t QueryRegionIDStandardLayout(void (*function)(void), void* stream, void* buffer,
                                               uint32_t part, uint64_t* region_id,
                                               int64_t result_size_type[3]);

namespace {

class ConsumerSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.IsLoaded()) << session.LoadError();
        ASSERT_TRUE(session.OpenToInterface());
        stream = session.OpenStream(session.OpenDevice(0));
    }

    FrontTest::FixtureSession session;
    DS_HANDLE stream = nullptr;
};

TEST_F(ConsumerSafetyTest, AConsumerWithTheStandardPartInfoLayoutGetsItsAnswers)
{
    BUFFER_HANDLE buffer = session.AllocBuffer(stream);
    EVENT_HANDLE event = session.RegisterNewBufferEvent(stream);
    ASSERT_EQ(GC_ERR_SUCCESS, session->DSQueueBuffer(stream, buffer));
    ASSERT_EQ(GC_ERR_SUCCESS, session->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, 1));
    ASSERT_EQ(GC_ERR_SUCCESS, FrontTest::WaitForBuffer(session.Functions(), event).result);
    for (uint32_t part = 0; part < 2; ++part) {
        uint64_t region_id = 0;
        int64_t result_size_type[3] = {};
        EXPECT_EQ(GC_ERR_SUCCESS, QueryRegionIDStandardLayout(
            reinterpret_cast<void (*)(void)>(session->DSGetBufferPartInfoStacked), stream, buffer,
            part, &region_id, result_size_type));
        EXPECT_EQ(100u + part, region_id);  // the fixture's region IDs
        EXPECT_EQ((std::vector<int64_t>{GC_ERR_SUCCESS, 8, INFO_DATATYPE_UINT64}),
                  std::vector<int64_t>(result_size_type, result_size_type + 3));
    }
}

TEST_F(ConsumerSafetyTest, ABufferNoContainerCanHoldIsOutOfMemoryWithItsLastError)
{
    BUFFER_HANDLE buffer = nullptr;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY,
              session->DSAllocAndAnnounceBuffer(stream, SIZE_MAX, nullptr, &buffer));
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, session.LastError().code);
    EXPECT_EQ("AnnounceBuffer: failed to create the buffer", session.LastError().text);
}

// The fixture's device cannot tell its event thread priority: reading it
// reaches an internal check.
TEST_F(ConsumerSafetyTest, InternalChecksStayOffStderrWhileTheCallLogIsOff)
{
    int32_t priority = -1;
    size_t size = sizeof priority;
    testing::internal::CaptureStderr();
    EXPECT_EQ(GC_ERR_SUCCESS,
              session->GCReadPort(session.OpenDevice(1), 0x2000000C, &priority, &size));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

// Read while exit() runs: this handler is registered before the producer
// creates its documents, so it runs after their exit-time destruction, as a
// consumer thread still calling in would.
const TestSupport::GenTLFunctions* exiting_gentl = nullptr;
TL_HANDLE exiting_system = nullptr;
char document_head[64] = {};

bool DocumentHeadIsUnchanged()
{
    char head[sizeof document_head] = {};
    size_t size = sizeof head;
    return exiting_gentl->GCReadPort(exiting_system, 0xF0000000, head, &size) == GC_ERR_SUCCESS &&
           std::memcmp(head, document_head, sizeof head) == 0;
}

TEST(ExitTimeCallTest, TheSystemDocumentStillReadsWhileTheProcessExits)
{
    EXPECT_EXIT(
        {
            TestSupport::CtiLoader cti(GENTESK_CTI_PATH);
            exiting_gentl = &cti.Functions();
            std::atexit([] { _exit(DocumentHeadIsUnchanged() ? 0 : 3); });
            size_t size = sizeof document_head;
            if (cti->GCInitLib() != GC_ERR_SUCCESS || cti->TLOpen(&exiting_system) != 0 ||
                cti->GCReadPort(exiting_system, 0xF0000000, document_head, &size) != 0)
                _exit(2);
            std::exit(4);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
