// Failures inside a data stream: out of memory, an exception in the middle
// of a start, a register it does not serve, an engine thread refused a
// higher priority. Each is answered and leaves nothing half done.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include "StreamHarness.h"
#include "support/AssertionCounter.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

// Runs out of memory once the transport-layer engine has started.
class EngineStartOutOfMemoryStream : public FakeEngineStream {
protected:
    bool StartEngine() override
    {
        FakeEngineStream::StartEngine();
        throw std::bad_alloc();
    }
};

// The core register accessors, which only a map entry the stream does not
// serve could reach.
class RegisterAccessStream : public FakeEngineStream {
public:
    using GenTLDataStream::ReadInt32Register;
    using GenTLDataStream::ReadStringRegister;
    using GenTLDataStream::ReadUInt32Register;
    using GenTLDataStream::WriteInt32Register;
    using GenTLDataStream::WriteUInt32Register;
};

class StreamFailureTest : public ::testing::Test {
protected:
    void SetUp() override { InstallAcquisitionBranding(); }
};

TEST_F(StreamFailureTest, AnExceptionDuringStartUndoesTheStartAndNothingAssertsFalsely)
{
    StreamHarness<EngineStartOutOfMemoryStream> stream;
    TestSupport::AssertionCounter assertions;
    GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> huge;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, stream->AllocAndAnnounceBuffer(SIZE_MAX, nullptr, huge));
    EXPECT_EQ(0, assertions.Failures());

    stream.Announce(64);
    EXPECT_THROW(stream->StartAcquisition(ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE),
                 std::bad_alloc);
    EXPECT_EQ(1, stream->calls.deconfigure.load());
    EXPECT_EQ(1, stream->calls.stop_engine.load());
}

TEST_F(StreamFailureTest, AnUnservedRegisterNamesTheStreamAccessor)
{
    StreamHarness<RegisterAccessStream> stream;
    TestSupport::AssertionCounter assertions;
    uint32_t uint_value = 0;
    int32_t int_value = 0;
    std::string text;
    const struct {
        std::function<GC_ERROR()> access;
        const char* message;
    } rows[] = {
        {[&] { return stream->ReadUInt32Register(4999, uint_value); }, "uint32 register to be read"},
        {[&] { return stream->ReadInt32Register(4999, int_value); }, "int32 register to be read"},
        {[&] { return stream->ReadStringRegister(4999, text); }, "string register to be read"},
        {[&] { return stream->WriteUInt32Register(4999, 1); }, "uint32 register to be written"},
        {[&] { return stream->WriteInt32Register(4999, 1); }, "int32 register to be written"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(GC_ERR_ERROR, row.access());
        EXPECT_EQ(std::string("Internal error: cannot identify the data stream ") + row.message,
                  LastError().text);
    }
    EXPECT_EQ(5, assertions.Failures());
}

// Says it runs, then waits (at most 10 s) until released.
class ParkedThread : public GenTLCore::SimpleThread {
public:
    GenTLCore::Signal release;
    std::atomic<bool> running{false};

protected:
    void Run() override
    {
        running = true;
        release.Wait(10.0);
    }
};

int PriorityOf(ParkedThread& thread)
{
    int policy = -1;
    int priority = -100;
    return thread.GetPriority(&policy, &priority) ? priority : -100;
}

// As user "nobody" a thread may lower its priority but never raise it.
int RaiseAsNobody()
{
    ParkedThread thread;
    if (::setuid(65534) != 0 || !thread.Start() ||
        !TestSupport::WaitUntil([&] { return thread.running.load(); }))
        return 64;
    const int failed = (thread.SetPriority(0, -2) ? 0 : 1) | (PriorityOf(thread) == -2 ? 0 : 2) |
                       (thread.SetPriority(0, 2) ? 4 : 0) | (PriorityOf(thread) == -2 ? 0 : 8);
    thread.release.Post();
    thread.Join();
    return failed;
}

TEST(ThreadPriorityTest, ARefusedRaiseFailsAndThePriorityReadIsTheRealOne)
{
    EXPECT_EXIT(_exit(RaiseAsNobody()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace AcquisitionTest
