// ReportError, each thread's last error, and the records' release.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "support/WaitUntil.h"

namespace {

using GenTLCore::LastErrorRecord;
using GenTLCore::ReportError;
using TestSupport::WaitUntil;

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

// Threads that each report an error, then wait until `may_end` or, for at
// most the wait's bound, for ever.
struct ParkedThreads {
    ParkedThreads(int count)
    {
        for (int t = 0; t < count; ++t)
            threads.emplace_back([this, t] {
                ReportError(-1001 - t, "thread " + std::to_string(t));
                ++reported;
                WaitUntil([&] { return may_end.load(); });
                const LastErrorRecord record = ReadLastError();
                cleared += record.code == 0 && record.text == "No Error";
            });
        EXPECT_TRUE(WaitUntil([&] { return reported.load() == count; }));
    }
    ~ParkedThreads() { Join(); }
    void Join()
    {
        may_end = true;
        for (std::thread& thread : threads) thread.join();
        threads.clear();
    }

    std::atomic<int> reported{0};
    std::atomic<int> cleared{0};
    std::atomic<bool> may_end{false};
    std::vector<std::thread> threads;
};

class ErrorHandlingTest : public ::testing::Test {
protected:
    // Every case starts with no record for the main thread.
    void TearDown() override
    {
        Store().ReleaseThreadRecord();
        GenTLCore::SetLogLevelForTest(0);
    }
};

// A freed record left in the slot would be written by the next report.
TEST_F(ErrorHandlingTest, LaterReportReplacesTheEarlierOneAndReleaseLeavesTheThreadUsable)
{
    EXPECT_EQ("No Error", ReadLastError().text);
    ReportError(GC_ERR_IO, "first");
    EXPECT_EQ(-2000, ReportError(-2000, "second"));
    const LastErrorRecord record = ReadLastError();
    EXPECT_EQ(-2000, record.code);
    EXPECT_EQ("second", record.text);
    Store().ReleaseThreadRecord();
    EXPECT_EQ(0u, Store().RecordCountForTest());
    EXPECT_EQ("No Error", ReadLastError().text);
    ReportError(GC_ERR_TIMEOUT, "after release");
    EXPECT_EQ("after release", ReadLastError().text);
    EXPECT_EQ(1u, Store().RecordCountForTest());
}

TEST_F(ErrorHandlingTest, ConcurrentThreadsEachReadTheirOwn)
{
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t, &mismatches] {
            for (int round = 0; round < 500; ++round) {
                const GC_ERROR code = -1001 - ((t + round) % 22);
                const std::string text = std::to_string(t) + "/" + std::to_string(round);
                ReportError(code, text);
                const LastErrorRecord record = ReadLastError();
                mismatches += record.code != code || record.text != text;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, mismatches.load());
    EXPECT_EQ(0, ReadLastError().code);
}

TEST_F(ErrorHandlingTest, ResetReachesEveryThreadAndEndingThreadsFreeTheirRecords)
{
    ParkedThreads parked(6);
    std::thread([] { ReadLastError(); }).join();  // never failed: no record
    std::thread([] {
        ReportError(GC_ERR_IO, "released early");  // then ends without a second free
        Store().ReleaseThreadRecord();
    }).join();
    EXPECT_EQ(6u, Store().RecordCountForTest());
    Store().ResetAllLastErrors();
    parked.Join();
    EXPECT_EQ(6, parked.cleared.load());
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

TEST_F(ErrorHandlingTest, FailureLineIsTLErrAtLevelTwoWithTheCodesName)
{
    const struct {
        uint32_t level;
        GC_ERROR code;
        const char* message;  // after the prefix, or empty when nothing is logged
    } cases[] = {
        {LOG_LEVEL_ERROR, GC_ERR_INVALID_PARAMETER,
         "GenTL interface call failure: GC_ERR_INVALID_PARAMETER, ReadPort: bad\n"},
        {LOG_LEVEL_ERROR, -2000,
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
        ASSERT_EQ(*row.message == '\0' ? 0u : 1u, capture.Lines().size());
        for (const std::string& line : capture.Lines()) {
            EXPECT_EQ("TLErr       Error   ", line.substr(0, 20));
            EXPECT_EQ(row.message, line.substr(48));
        }
    }
}

TEST(ErrorNameTest, NamesTheGenTLCodesAndNoOther)
{
    const char* const names[] = {"GC_ERR_ERROR",
                                 "GC_ERR_NOT_INITIALIZED",
                                 "GC_ERR_NOT_IMPLEMENTED",
                                 "GC_ERR_RESOURCE_IN_USE",
                                 "GC_ERR_ACCESS_DENIED",
                                 "GC_ERR_INVALID_HANDLE",
                                 "GC_ERR_INVALID_ID",
                                 "GC_ERR_NO_DATA",
                                 "GC_ERR_INVALID_PARAMETER",
                                 "GC_ERR_IO",
                                 "GC_ERR_TIMEOUT",
                                 "GC_ERR_ABORT",
                                 "GC_ERR_INVALID_BUFFER",
                                 "GC_ERR_NOT_AVAILABLE",
                                 "GC_ERR_INVALID_ADDRESS",
                                 "GC_ERR_BUFFER_TOO_SMALL",
                                 "GC_ERR_INVALID_INDEX",
                                 "GC_ERR_PARSING_CHUNK_DATA",
                                 "GC_ERR_INVALID_VALUE",
                                 "GC_ERR_RESOURCE_EXHAUSTED",
                                 "GC_ERR_OUT_OF_MEMORY",
                                 "GC_ERR_BUSY"};
    for (int i = 0; i < 22; ++i) EXPECT_STREQ(names[i], GenTLCore::ErrorName(-1001 - i));
    // INT32_MAX once overflowed the index computed in 32 bits.
    for (const GC_ERROR code : {-1023, -1000, 0, 5, INT32_MIN, INT32_MAX})
        EXPECT_STREQ("Unknown error code", GenTLCore::ErrorName(code)) << code;
}

// Shutdown and deletion cannot be undone, so they run in a child process.
// Each failed check sets one bit of the child's exit code.
void ShutDownThenDeleteTheStore()
{
    int failed = 0;
    std::atomic<bool> reported{false};
    std::atomic<bool> may_end{false};
    std::thread parked([&] {
        ReportError(GC_ERR_ERROR, "outlives the store");
        reported = true;
        WaitUntil([&] { return may_end.load(); });
    });
    if (!WaitUntil([&] { return reported.load(); })) failed |= 8;
    ReportError(GC_ERR_IO, "stored before");
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_TRACE);
    TestSupport::LogCapture capture;
    Store().Shutdown();
    LastErrorRecord record{77, "caller's"};
    if (Store().GetLastError(record) || record.code != 77 || record.text != "caller's") failed |= 1;
    if (ReportError(GC_ERR_ACCESS_DENIED, "too late") != GC_ERR_ACCESS_DENIED) failed |= 2;
    std::thread([] { ReportError(GC_ERR_ACCESS_DENIED, "too late too"); }).join();
    if (Store().RecordCountForTest() != 2 || !capture.Lines().empty()) failed |= 4;
    // What the core teardown does last; the leak and address checkers see the rest.
    delete GenTLCore::TLSControl::Instance();
    may_end = true;
    parked.join();
    std::exit(failed);
}

TEST(ErrorHandlingTeardownTest, AfterShutdownNothingIsStoredReadOrLoggedAndDeletionFreesAll)
{
    EXPECT_EXIT(ShutDownThenDeleteTheStore(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
