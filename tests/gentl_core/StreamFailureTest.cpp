// Failures inside a data stream: out of memory, an exception in the middle
// of a start, a register it does not serve, an engine thread refused a
// higher priority. Each is answered and leaves nothing half done.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <new>
#include <string>

#include "StreamHarness.h"
#include "support/AssertionCounter.h"
#include "support/WaitUntil.h"

namespace AcquisitionTest {
namespace {

// Runs out of memory once its engine has started; shows the register
// accessors, which only a map entry the stream does not serve could reach.
class FailingStream : public FakeEngineStream {
public:
    using GenTLDataStream::ReadInt32Register;
    using GenTLDataStream::ReadStringRegister;
    using GenTLDataStream::ReadUInt32Register;
    using GenTLDataStream::WriteInt32Register;
    using GenTLDataStream::WriteUInt32Register;

protected:
    bool StartEngine() override
    {
        FakeEngineStream::StartEngine();
        throw std::bad_alloc();
    }
};

class StreamFailureTest : public ::testing::Test {
protected:
    void SetUp() override { InstallAcquisitionBranding(); }
};

TEST_F(StreamFailureTest, OutOfMemoryUndoesTheStartAndAssertsNothingFalse)
{
    StreamHarness<FailingStream> stream;
    TestSupport::AssertionCounter assertions;
    GenTLCore::SharedPtr<GenTLCore::GenTLBuffer> huge;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, stream->AllocAndAnnounceBuffer(SIZE_MAX, nullptr, huge));
    EXPECT_EQ(0, assertions.Failures());
    stream.Announce(64);
    EXPECT_THROW(stream->StartAcquisition(ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), std::bad_alloc);
    EXPECT_EQ(1, stream->calls.deconfigure.load());
    EXPECT_EQ(1, stream->calls.stop_engine.load());
}

TEST_F(StreamFailureTest, AnUnservedRegisterNamesTheStreamAccessor)
{
    StreamHarness<FailingStream> stream;
    uint32_t uint_value = 0;
    int32_t int_value = 0;
    std::string text;
    const std::pair<std::function<GC_ERROR()>, const char*> rows[] = {
        {[&] { return stream->ReadUInt32Register(4999, uint_value); },
         "uint32 register to be read"},
        {[&] { return stream->ReadInt32Register(4999, int_value); }, "int32 register to be read"},
        {[&] { return stream->ReadStringRegister(4999, text); }, "string register to be read"},
        {[&] { return stream->WriteUInt32Register(4999, 1); }, "uint32 register to be written"},
        {[&] { return stream->WriteInt32Register(4999, 1); }, "int32 register to be written"},
    };
    for (const auto& [access, text_end] : rows) {
        SCOPED_TRACE(text_end);
        EXPECT_EQ(GC_ERR_ERROR, access());
        EXPECT_EQ(std::string("Internal error: cannot identify the data stream ") + text_end,
                  LastError().text);
    }
}

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

// As user "nobody" a thread may lower its priority, never raise it. 0 when
// the raise is refused and the lowered priority still reads back.
int RaiseAsNobody()
{
    ParkedThread thread;
    int policy = 0;
    int lowered = 0;
    int after_refusal = 0;
    const bool started = ::setuid(65534) == 0 && thread.Start() &&
                         TestSupport::WaitUntil([&] { return thread.running.load(); });
    const bool lowers = thread.SetPriority(0, -2) && thread.GetPriority(&policy, &lowered);
    const bool raises = thread.SetPriority(0, 2);
    thread.GetPriority(&policy, &after_refusal);
    thread.release.Post();
    thread.Join();
    return started && lowers && lowered == -2 && !raises && after_refusal == -2 ? 0 : 1;
}

TEST(ThreadPriorityTest, ARefusedRaiseFailsAndThePriorityReadIsTheRealOne)
{
    EXPECT_EXIT(_exit(RaiseAsNobody()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace AcquisitionTest
