// Failure reports: the log line they write and each thread's last error.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LogCapture.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"

namespace {

using namespace GenTLCore;

LastErrorRecord ReadLastError()
{
    LastErrorRecord record{12345, "untouched"};
    EXPECT_TRUE(TLSControl::Instance()->GetLastError(record));
    return record;
}

// A freed record left in the slot would be written by the next report.
TEST(ErrorHandlingTest, ReportIsLoggedWithItsNameAndReleaseLeavesTheThreadUsable)
{
    TestSupport::LogCapture capture;
    SetLogLevelForTest(LOG_LEVEL_ERROR);
    EXPECT_EQ(-2000, ReportError(-2000, "Read: bad"));
    SetLogLevelForTest(0);
    EXPECT_EQ(GC_ERR_TIMEOUT, ReportError(GC_ERR_TIMEOUT, "Read: worse"));
    ASSERT_EQ(1u, capture.Lines().size());
    EXPECT_EQ("TLErr       Error   ", capture.Lines()[0].substr(0, 20));
    EXPECT_EQ("GenTL interface call failure: Unknown error code, Read: bad\n",
              capture.Lines()[0].substr(48));
    EXPECT_EQ("Read: worse", ReadLastError().text);
    TLSControl::Instance()->ReleaseThreadRecord();
    TLSControl::Instance()->ReleaseThreadRecord();
    EXPECT_EQ(0u, TLSControl::Instance()->RecordCountForTest());
    EXPECT_EQ("No Error", ReadLastError().text);
    ReportError(GC_ERR_TIMEOUT, "after release");
    EXPECT_EQ("after release", ReadLastError().text);
    TLSControl::Instance()->ReleaseThreadRecord();
    // INT32_MAX once overflowed the index computed in 32 bits.
    EXPECT_STREQ("GC_ERR_RESOURCE_EXHAUSTED", ErrorName(-1020));
    for (const GC_ERROR code : {-1023, -1000, INT32_MIN, INT32_MAX})
        EXPECT_STREQ("Unknown error code", ErrorName(code)) << code;
}

TEST(ErrorHandlingTest, ConcurrentThreadsEachReadTheirOwn)
{
    std::atomic<int> mismatches{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([t, &mismatches] {
                for (int round = 0; round < 500; ++round) {
                    const LastErrorRecord sent{-1001 - (t + round) % 22, std::to_string(round)};
                    ReportError(sent.code, sent.text);
                    const LastErrorRecord record = ReadLastError();
                    mismatches += record.code != sent.code || record.text != sent.text;
                }
            });
    }
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0u, TLSControl::Instance()->RecordCountForTest());
}

}  // namespace
