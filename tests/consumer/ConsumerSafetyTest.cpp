// What a consumer relies on: the standard stacked part-info layout, a GenTL
// code with its last error when memory runs out, a quiet terminal while the
// call log is off, and a producer still whole while its process exits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FixtureSession.h"

namespace {

// The entry as the GenTL standard declares it, not as our header does.
#pragma pack(push, 1)
struct StandardPartInfoEntry {
    uint32_t iPartIndex;
    int32_t iInfoCmd;
    int32_t iResult;
    int32_t iType;
    void* pBuffer;
    size_t iSize;
};
#pragma pack(pop)
using StandardPartInfoStacked = int32_t (*)(void*, void*, StandardPartInfoEntry*, size_t);

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

// A buffer never filled answers every part query "not available": the result
// must land where this consumer reads it. A buffer no container can hold is
// out of memory with its last error. The fixture's device cannot tell its
// event thread priority: reading it reaches an internal check, which stays
// off stderr while the call log is off.
TEST_F(ConsumerSafetyTest, TheStandardPartInfoLayoutOutOfMemoryAndAQuietTerminal)
{
    StandardPartInfoEntry entries[2] = {{0, BUFFER_PART_INFO_REGION_ID, -1, -1, nullptr, 8},
                                        {1, BUFFER_PART_INFO_REGION_ID, -1, -1, nullptr, 8}};
    const auto query =
        reinterpret_cast<StandardPartInfoStacked>(session->DSGetBufferPartInfoStacked);
    EXPECT_EQ(GC_ERR_SUCCESS, query(stream, session.AllocBuffer(stream), entries, 2));
    for (const StandardPartInfoEntry& entry : entries)
        EXPECT_EQ(GC_ERR_NOT_AVAILABLE, entry.iResult) << entry.iPartIndex;
    BUFFER_HANDLE buffer = nullptr;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY,
              session->DSAllocAndAnnounceBuffer(stream, SIZE_MAX, nullptr, &buffer));
    EXPECT_EQ("AnnounceBuffer: failed to create the buffer", session.LastError().text);
    int32_t priority = -1;
    size_t size = sizeof priority;
    testing::internal::CaptureStderr();
    EXPECT_EQ(GC_ERR_SUCCESS,
              session->GCReadPort(session.OpenDevice(1), 0x2000000C, &priority, &size));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

// The exit handler is registered before the producer creates its documents,
// so it calls in after their exit-time destruction, as a consumer thread
// still running would.
const TestSupport::GenTLFunctions* exiting = nullptr;
TL_HANDLE exiting_system = nullptr;
char document_head[64] = {};

bool ReadsTheDocumentHead(char* head)
{
    size_t size = sizeof document_head;
    return exiting->GCReadPort(exiting_system, 0xF0000000, head, &size) == GC_ERR_SUCCESS;
}

TEST(ExitTimeCallTest, TheSystemDocumentStillReadsWhileTheProcessExits)
{
    EXPECT_EXIT(
        {
            TestSupport::CtiLoader cti(GENTESK_CTI_PATH);
            exiting = &cti.Functions();
            std::atexit([] {
                char head[sizeof document_head] = {};
                _exit(ReadsTheDocumentHead(head) && !std::memcmp(head, document_head, 64) ? 0 : 3);
            });
            if (cti->GCInitLib() != 0 || cti->TLOpen(&exiting_system) != 0 ||
                !ReadsTheDocumentHead(document_head))
                _exit(2);
            std::exit(4);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
