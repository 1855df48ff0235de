// ReportError, each thread's last error, and the records' release.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"

namespace {

using GenTLCore::LastErrorRecord;
using GenTLCore::ReportError;

GenTLCore::TLSControl& Store()
{
    return *GenTLCore::TLSControl::Instance();
}

LastErrorRecord ReadLastError()
{
    LastErrorRecord record{12345, "untouched"};
    EXPECT_TRUE(Store().GetLastError(record));
    return record;
}

// A freed record left in the slot would be written by the next report. The
// failure line is TLErr at level two, with the code's name.
TEST(ErrorHandlingTest, ReportIsLoggedAndReplacesTheLastAndReleaseLeavesTheThreadUsable)
{
    const struct {
        uint32_t level;
        GC_ERROR code;
        const char* message;  // after the prefix, or empty when nothing is logged
    } cases[] = {
        {LOG_LEVEL_ERROR, GC_ERR_INVALID_PARAMETER,
         "GenTL interface call failure: GC_ERR_INVALID_PARAMETER, ReadPort: bad\n"},
        {LOG_LEVEL_TRACE, -2000,
         "GenTL interface call failure: Unknown error code, ReadPort: bad\n"},
        {LOG_LEVEL_ALWAYS, GC_ERR_TIMEOUT, ""},
        {LOG_LEVEL_TRACE, GC_ERR_SUCCESS, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.code);
        TestSupport::LogCapture capture;
        GenTLCore::SetLogLevelForTest(row.level);
        EXPECT_EQ(row.code, ReportError(row.code, "ReadPort: bad"));
        EXPECT_EQ(row.code, ReadLastError().code);
        std::string logged;
        for (const std::string& line : capture.Lines())
            logged += line.substr(0, 20) + line.substr(48);
        EXPECT_EQ(*row.message ? "TLErr       Error   " + std::string(row.message) : "", logged);
    }
    GenTLCore::SetLogLevelForTest(0);
    EXPECT_EQ("ReadPort: bad", ReadLastError().text);
    Store().ReleaseThreadRecord();
    Store().ReleaseThreadRecord();
    EXPECT_EQ(0u, Store().RecordCountForTest());
    EXPECT_EQ("No Error", ReadLastError().text);
    ReportError(GC_ERR_TIMEOUT, "after release");
    EXPECT_EQ("after release", ReadLastError().text);
    Store().ReleaseThreadRecord();
}

TEST(ErrorHandlingTest, ConcurrentThreadsEachReadTheirOwn)
{
    std::atomic<int> mismatches{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([t, &mismatches] {
                for (int round = 0; round < 500; ++round) {
                    const LastErrorRecord sent{-1001 - ((t + round) % 22),
                                               std::to_string(t * 1000 + round)};
                    ReportError(sent.code, sent.text);
                    const LastErrorRecord record = ReadLastError();
                    mismatches += record.code != sent.code || record.text != sent.text;
                }
            });
    }
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

// INT32_MAX once overflowed the index computed in 32 bits.
TEST(ErrorHandlingTest, ErrorNameNamesTheGenTLCodesAndNoOther)
{
    EXPECT_STREQ("GC_ERR_ERROR", GenTLCore::ErrorName(-1001));
    EXPECT_STREQ("GC_ERR_RESOURCE_EXHAUSTED", GenTLCore::ErrorName(-1020));
    EXPECT_STREQ("GC_ERR_BUSY", GenTLCore::ErrorName(-1022));
    for (const GC_ERROR code : {-1023, -1000, 0, 5, INT32_MIN, INT32_MAX})
        EXPECT_STREQ("Unknown error code", GenTLCore::ErrorName(code)) << code;
}

}  // namespace
