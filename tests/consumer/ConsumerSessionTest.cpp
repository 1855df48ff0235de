// A consumer's session against the fixture producer, through the exported
// functions only: the walk down the module tree to an acquired buffer, the
// pool's answers, and racing consumer threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "FixtureSession.h"

using FrontTest::BUFFER_BYTES;
using FrontTest::WaitForBuffer;

namespace {

class ConsumerSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.IsLoaded()) << session.LoadError();
        ASSERT_TRUE(session.OpenToInterface());
    }

    FrontTest::FixtureSession session;
};

// A buffer comes back filled with its user pointer; revoking hands back no
// producer memory; every level closes.
TEST_F(ConsumerSessionTest, WalksFromTheLibraryToAFilledBufferAndClosesEverything)
{
    DEV_HANDLE device = session.OpenDevice(0);
    DS_HANDLE stream = session.OpenStream(device);
    int user_marker = 0;
    BUFFER_HANDLE buffer = session.AllocBuffer(stream, &user_marker);
    EVENT_HANDLE event = session.RegisterNewBufferEvent(stream);
    ASSERT_EQ(GC_ERR_SUCCESS, session->DSQueueBuffer(stream, buffer));
    ASSERT_EQ(GC_ERR_SUCCESS,
              session->DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    const FrontTest::Delivery delivery = WaitForBuffer(session.Functions(), event);
    ASSERT_EQ(GC_ERR_SUCCESS, delivery.result);
    EXPECT_EQ(buffer, delivery.buffer);
    EXPECT_EQ(&user_marker, delivery.user_ptr);
    uint64_t filled = 0;
    INFO_DATATYPE type = 0;
    size_t size = sizeof filled;
    EXPECT_EQ(GC_ERR_SUCCESS, session->DSGetBufferInfo(stream, buffer, BUFFER_INFO_SIZE_FILLED,
                                                       &type, &filled, &size));
    EXPECT_EQ(BUFFER_BYTES, filled);
    char name[32] = {};  // the branding's own name for the interface
    size = sizeof name;
    EXPECT_EQ(GC_ERR_SUCCESS,
              session->IFGetInfo(session.iface, INTERFACE_INFO_DISPLAYNAME, &type, name, &size));
    EXPECT_STREQ("Fixture interface", name);
    EXPECT_EQ(GC_ERR_SUCCESS, session->DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    EXPECT_EQ(GC_ERR_SUCCESS, session->GCUnregisterEvent(stream, EVENT_NEW_BUFFER));
    void* memory = &user_marker;
    void* user_ptr = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, session->DSRevokeBuffer(stream, buffer, &memory, &user_ptr));
    EXPECT_EQ(nullptr, memory);
    EXPECT_EQ(&user_marker, user_ptr);
    EXPECT_EQ(GC_ERR_SUCCESS, session->DSClose(stream));
    EXPECT_EQ(GC_ERR_SUCCESS, session->DevClose(device));
    EXPECT_EQ(GC_ERR_SUCCESS, session->IFClose(session.iface));
    EXPECT_EQ(GC_ERR_SUCCESS, session->TLClose(session.system));
}

// The kind of the handle plays no part in a parent query; the remote device
// is handed out again under the same handle.
TEST_F(ConsumerSessionTest, ParentsAndTheRemoteDeviceAreAnsweredFromThePool)
{
    DEV_HANDLE device = session.OpenDevice(1);
    DS_HANDLE stream = session.OpenStream(device);
    const struct {
        GC_ERROR (*call)(void*, void**);
        void* handle;
        void* parent;
    } rows[] = {{session->IFGetParentTL, session.iface, session.system},
                {session->DevGetParentIF, device, session.iface},
                {session->DSGetParentDev, stream, device},
                {session->IFGetParentTL, stream, device},
                {session->IFGetParentTL, session.system, nullptr}};
    for (const auto& row : rows) {
        void* parent = &parent;
        EXPECT_EQ(GC_ERR_SUCCESS, row.call(row.handle, &parent));
        EXPECT_EQ(row.parent, parent);
    }
    PORT_HANDLE first = nullptr, second = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, session->DevGetPort(device, &first));
    ASSERT_EQ(GC_ERR_SUCCESS, session->DevGetPort(device, &second));
    EXPECT_EQ(first, second);
}

// While one thread waits in EventGetData, the stream, its event and the pool
// answer other threads; a kill reaches it even before it waits.
TEST_F(ConsumerSessionTest, AWaitingEventGetDataHoldsNothingThatOtherCallsNeed)
{
    DS_HANDLE stream = session.OpenStream(session.OpenDevice(0));
    EVENT_HANDLE event = session.RegisterNewBufferEvent(stream);
    std::atomic<GC_ERROR> waited{GC_ERR_SUCCESS};
    std::thread waiter(
        [&] { waited = WaitForBuffer(session.Functions(), event, GENTL_INFINITE).result; });
    for (int announced = 0; announced < 20; ++announced)
        EXPECT_NE(nullptr, session.AllocBuffer(stream));
    EXPECT_EQ(GC_ERR_SUCCESS, session->EventKill(event));
    waiter.join();
    EXPECT_EQ(GC_ERR_ABORT, waited.load());
}

// Of six threads released together to open one device or to register one
// event, exactly one gets it.
TEST_F(ConsumerSessionTest, OfSeveralRacingThreadsExactlyOneOpensOrRegisters)
{
    DS_HANDLE stream = session.OpenStream(session.OpenDevice(0));
    const std::function<GC_ERROR(void**)> attempts[] = {
        [&](void** out) {
            return session->IFOpenDevice(session.iface, FrontTest::DeviceID(3).c_str(),
                                         DEVICE_ACCESS_EXCLUSIVE, out);
        },
        [&](void** out) { return session->GCRegisterEvent(stream, EVENT_NEW_BUFFER, out); }};
    for (const auto& attempt : attempts) {
        std::vector<void*> handles(6, nullptr);
        std::vector<GC_ERROR> results(6, GC_ERR_ERROR);
        std::atomic<int> ready{0};
        std::vector<std::thread> racers;
        for (int i = 0; i < 6; ++i)
            racers.emplace_back([&, i] {
                ++ready;
                while (ready.load() < 6) std::this_thread::yield();
                results[i] = attempt(&handles[i]);
            });
        for (std::thread& racer : racers) racer.join();
        EXPECT_EQ(1, std::count(results.begin(), results.end(), GC_ERR_SUCCESS));
        EXPECT_EQ(5, std::count(results.begin(), results.end(), GC_ERR_RESOURCE_IN_USE));
    }
}

}  // namespace
