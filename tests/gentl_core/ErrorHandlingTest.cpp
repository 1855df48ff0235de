#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "support/WaitUntil.h"

namespace {

using GenTLCore::ErrorName;
using GenTLCore::LastErrorRecord;
using GenTLCore::ReportError;
using GenTLCore::SetLogLevelForTest;
using GenTLCore::TLSControl;
using TestSupport::LogCapture;
using TestSupport::WaitUntil;

constexpr std::size_t MESSAGE_COLUMN = 48;

TLSControl& Store()
{
    TLSControl* store = TLSControl::Instance();
    if (store == nullptr)
        throw std::runtime_error("no error store");
    return *store;
}

LastErrorRecord ReadLastError()
{
    LastErrorRecord record;
    record.code = 12345;
    record.text = "untouched";
    EXPECT_TRUE(Store().GetLastError(record));
    return record;
}

// Runs `body` on a new thread and waits for it to end.
template <class Body>
void RunOnThread(Body body)
{
    std::thread thread(body);
    thread.join();
}

// Each thread reads back the error it reported itself.
class LastErrorPerThreadTest : public ::testing::Test {};

TEST_F(LastErrorPerThreadTest, LaterReportReplacesTheEarlierOne)
{
    ReportError(GC_ERR_IO, "first");
    EXPECT_EQ(GC_ERR_TIMEOUT, ReportError(GC_ERR_TIMEOUT, "second"));
    const LastErrorRecord record = ReadLastError();
    EXPECT_EQ(GC_ERR_TIMEOUT, record.code);
    EXPECT_EQ("second", record.text);
    EXPECT_EQ(1u, Store().RecordCountForTest());
}

TEST_F(LastErrorPerThreadTest, CodeOutsideTheTableIsStoredAsGiven)
{
    ReportError(5, "odd success code");
    EXPECT_EQ(5, ReadLastError().code);
    ReportError(-2000, "odd failure code");
    EXPECT_EQ(-2000, ReadLastError().code);
}

TEST_F(LastErrorPerThreadTest, ConcurrentThreadsEachReadTheirOwn)
{
    constexpr int THREADS = 8;
    constexpr int ROUNDS = 500;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int round = 0; round < ROUNDS; ++round) {
                const GC_ERROR code = -1001 - ((t + round) % 22);
                const std::string text = "thread " + std::to_string(t) + " round " + std::to_string(round);
                ReportError(code, text);
                const LastErrorRecord record = ReadLastError();
                if (record.code != code || record.text != text)
                    ++mismatches;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches.load());
    // The main thread never failed; the others' errors are not its own.
    EXPECT_EQ(0, ReadLastError().code);
}

// ResetAllLastErrors: every thread's record, not only the caller's.
class ResetAllLastErrorsTest : public ::testing::Test {};

TEST_F(ResetAllLastErrorsTest, EveryThreadReadsNoErrorAfterTheReset)
{
    constexpr int THREADS = 4;
    std::atomic<int> reported{0};
    std::atomic<bool> reset_done{false};
    std::atomic<int> reads_after_reset{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&] {
            ReportError(GC_ERR_BUSY, "busy");
            ++reported;
            if (!WaitUntil([&] { return reset_done.load(); }))
                return;
            const LastErrorRecord record = ReadLastError();
            if (record.code == 0 && record.text == "No Error")
                ++reads_after_reset;
        });
    }
    ReportError(GC_ERR_ABORT, "main");
    ASSERT_TRUE(WaitUntil([&] { return reported.load() == THREADS; }));
    Store().ResetAllLastErrors();
    reset_done = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(THREADS, reads_after_reset.load());
    const LastErrorRecord record = ReadLastError();
    EXPECT_EQ(0, record.code);
    EXPECT_EQ("No Error", record.text);
}

// Records are freed when their thread ends or asks for it.
class ThreadRecordReleaseTest : public ::testing::Test {};

TEST_F(ThreadRecordReleaseTest, ThreadThatNeverFailedCreatesNoRecord)
{
    RunOnThread([] { ReadLastError(); });
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

TEST_F(ThreadRecordReleaseTest, EndingThreadsFreeTheirRecords)
{
    constexpr int THREADS = 6;
    std::atomic<bool> may_end{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&] {
            ReportError(GC_ERR_ERROR, "ending soon");
            WaitUntil([&] { return may_end.load(); });
        });
    }
    EXPECT_TRUE(WaitUntil([] { return Store().RecordCountForTest() == THREADS; }));
    may_end = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

TEST_F(ThreadRecordReleaseTest, ExplicitReleaseLeavesTheThreadUsable)
{
    ReportError(GC_ERR_IO, "before release");
    Store().ReleaseThreadRecord();
    EXPECT_EQ(0u, Store().RecordCountForTest());
    EXPECT_EQ("No Error", ReadLastError().text);
    // A freed record still in the slot would be written here.
    ReportError(GC_ERR_TIMEOUT, "after release");
    EXPECT_EQ("after release", ReadLastError().text);
    Store().ReleaseThreadRecord();
    Store().ReleaseThreadRecord();
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

TEST_F(ThreadRecordReleaseTest, ReleasedThreadEndsWithoutFreeingTwice)
{
    RunOnThread([] {
        ReportError(GC_ERR_IO, "released early");
        Store().ReleaseThreadRecord();
    });
    EXPECT_EQ(0u, Store().RecordCountForTest());
}

TEST_F(ThreadRecordReleaseTest, DeletingTheStoreFreesEveryRecordAndStopsExitCleanup)
{
    std::atomic<bool> reported{false};
    std::atomic<bool> may_end{false};
    std::thread parked([&] {
        ReportError(GC_ERR_ERROR, "outlives the store");
        reported = true;
        WaitUntil([&] { return may_end.load(); });
    });
    ReportError(GC_ERR_ERROR, "main thread");
    ASSERT_TRUE(WaitUntil([&] { return reported.load(); }));
    // What the core teardown does last; the leak and address checkers see the rest.
    delete TLSControl::Instance();
    may_end = true;
    parked.join();
}

// After Shutdown nothing is stored, read, reset or logged.
class ErrorHandlingShutdownTest : public ::testing::Test {};

TEST_F(ErrorHandlingShutdownTest, ReadFailsAndLeavesTheRecordAlone)
{
    ReportError(GC_ERR_IO, "stored before");
    Store().Shutdown();
    LastErrorRecord record;
    record.code = 77;
    record.text = "caller's";
    EXPECT_FALSE(Store().GetLastError(record));
    EXPECT_EQ(77, record.code);
    EXPECT_EQ("caller's", record.text);
}

TEST_F(ErrorHandlingShutdownTest, ReportStillReturnsItsCodeButStoresAndLogsNothing)
{
    SetLogLevelForTest(LOG_LEVEL_TRACE);
    LogCapture capture;
    Store().Shutdown();
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, ReportError(GC_ERR_ACCESS_DENIED, "too late"));
    RunOnThread([] { ReportError(GC_ERR_ACCESS_DENIED, "too late too"); });
    EXPECT_EQ(0u, Store().RecordCountForTest());
    EXPECT_TRUE(capture.Lines().empty());
}

// The failure's log line: "TLErr", level 2, the code's name and the text.
class ReportErrorLogTest : public ::testing::Test {
protected:
    LogCapture capture;
};

TEST_F(ReportErrorLogTest, WritesTheFailureLineAtLevelTwo)
{
    SetLogLevelForTest(LOG_LEVEL_ERROR);
    ReportError(GC_ERR_INVALID_PARAMETER, "ReadPort: invalid buffer/size pointer");
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("TLErr       Error   ", lines[0].substr(0, 20));
    EXPECT_EQ("GenTL interface call failure: GC_ERR_INVALID_PARAMETER, "
              "ReadPort: invalid buffer/size pointer\n",
              lines[0].substr(MESSAGE_COLUMN));
}

TEST_F(ReportErrorLogTest, LogsNothingAtLevelOneButStillStores)
{
    SetLogLevelForTest(LOG_LEVEL_ALWAYS);
    ReportError(GC_ERR_TIMEOUT, "quiet");
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(GC_ERR_TIMEOUT, ReadLastError().code);
}

TEST_F(ReportErrorLogTest, SuccessCodeIsNeverLogged)
{
    SetLogLevelForTest(LOG_LEVEL_TRACE);
    EXPECT_EQ(GC_ERR_SUCCESS, ReportError(GC_ERR_SUCCESS, "fine"));
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ReportErrorLogTest, CodeOutsideTheTableIsLoggedAsUnknown)
{
    SetLogLevelForTest(LOG_LEVEL_ERROR);
    ReportError(-2000, "Open: strange");
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("GenTL interface call failure: Unknown error code, Open: strange\n",
              lines[0].substr(MESSAGE_COLUMN));
}

struct NameCase {
    GC_ERROR code;
    const char* name;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.code << " -> " << c.name;
}

// ErrorName: the GenTL names of -1001 to -1022, "Unknown error code" around them.
class ErrorNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ErrorNameTest, NamesTheCode)
{
    EXPECT_STREQ(GetParam().name, ErrorName(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorNameTest,
    ::testing::Values(NameCase{-1001, "GC_ERR_ERROR"}, NameCase{-1002, "GC_ERR_NOT_INITIALIZED"},
                      NameCase{-1003, "GC_ERR_NOT_IMPLEMENTED"}, NameCase{-1004, "GC_ERR_RESOURCE_IN_USE"},
                      NameCase{-1005, "GC_ERR_ACCESS_DENIED"}, NameCase{-1006, "GC_ERR_INVALID_HANDLE"},
                      NameCase{-1007, "GC_ERR_INVALID_ID"}, NameCase{-1008, "GC_ERR_NO_DATA"},
                      NameCase{-1009, "GC_ERR_INVALID_PARAMETER"}, NameCase{-1010, "GC_ERR_IO"},
                      NameCase{-1011, "GC_ERR_TIMEOUT"}, NameCase{-1012, "GC_ERR_ABORT"},
                      NameCase{-1013, "GC_ERR_INVALID_BUFFER"}, NameCase{-1014, "GC_ERR_NOT_AVAILABLE"},
                      NameCase{-1015, "GC_ERR_INVALID_ADDRESS"}, NameCase{-1016, "GC_ERR_BUFFER_TOO_SMALL"},
                      NameCase{-1017, "GC_ERR_INVALID_INDEX"}, NameCase{-1018, "GC_ERR_PARSING_CHUNK_DATA"},
                      NameCase{-1019, "GC_ERR_INVALID_VALUE"}, NameCase{-1020, "GC_ERR_RESOURCE_EXHAUSTED"},
                      NameCase{-1021, "GC_ERR_OUT_OF_MEMORY"}, NameCase{-1022, "GC_ERR_BUSY"},
                      NameCase{-1023, "Unknown error code"}, NameCase{-1000, "Unknown error code"},
                      NameCase{0, "Unknown error code"}, NameCase{5, "Unknown error code"},
                      NameCase{-2000, "Unknown error code"},
                      NameCase{INT32_MIN, "Unknown error code"},
                      NameCase{INT32_MAX, "Unknown error code"}));

}  // namespace
