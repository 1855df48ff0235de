// A consumer's session against the fixture producer, through the exported
// functions only: the walk down the module tree to an acquired buffer, closes
// in any order, several consumer threads at once, and the announce, revoke and
// event registration paths the service front guards.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FixtureSession.h"

using FrontTest::BUFFER_BYTES;
using FrontTest::Delivery;
using FrontTest::DEVICE_COUNT;
using FrontTest::FixtureSession;
using FrontTest::QueryNumber;
using FrontTest::WaitForBuffer;

namespace {

constexpr uint64_t DOCUMENT_ADDRESS = 0xF0000000;

class ConsumerSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.IsLoaded()) << session.LoadError();
        ASSERT_TRUE(session.OpenToInterface());
    }

    const TestSupport::GenTLFunctions& gentl() const { return session.Functions(); }

    uint64_t BufferInfo(DS_HANDLE stream, BUFFER_HANDLE buffer, BUFFER_INFO_CMD command)
    {
        return QueryNumber<uint64_t>([&](INFO_DATATYPE* type, void* value, size_t* size) {
            return gentl().DSGetBufferInfo(stream, buffer, command, type, value, size);
        });
    }
    uint64_t StreamInfo(DS_HANDLE stream, STREAM_INFO_CMD command)
    {
        return QueryNumber<uint64_t>([&](INFO_DATATYPE* type, void* value, size_t* size) {
            return gentl().DSGetInfo(stream, command, type, value, size);
        });
    }

    FixtureSession session;
};

// ---- The whole walk ----

TEST_F(ConsumerSessionTest, WalksFromTheLibraryToAFilledBufferAndClosesEverything)
{
    uint32_t num_devices = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().IFGetNumDevices(session.iface, &num_devices));
    EXPECT_EQ(DEVICE_COUNT, num_devices);
    DEV_HANDLE device = session.OpenDevice(0);
    ASSERT_NE(nullptr, device);

    PORT_HANDLE port = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DevGetPort(device, &port));
    const uint64_t address = QueryNumber<uint64_t>([&](INFO_DATATYPE* t, void* v, size_t* s) {
        return gentl().GCGetPortURLInfo(port, 0, URL_INFO_FILE_REGISTER_ADDRESS, t, v, s);
    });
    EXPECT_EQ(DOCUMENT_ADDRESS, address);
    const uint64_t file_size = QueryNumber<uint64_t>([&](INFO_DATATYPE* t, void* v, size_t* s) {
        return gentl().GCGetPortURLInfo(port, 0, URL_INFO_FILE_SIZE, t, v, s);
    });
    ASSERT_GT(file_size, 0u);
    std::vector<uint8_t> hash(SHA_DIGEST_LENGTH);
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    size_t hash_size = hash.size();
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCGetPortURLInfo(port, 0, URL_INFO_FILE_SHA1_HASH, &type,
                                                       hash.data(), &hash_size));
    std::vector<uint8_t> document(file_size);
    size_t read_size = document.size();
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCReadPort(port, address, document.data(), &read_size));
    EXPECT_EQ(file_size, read_size);
    std::vector<uint8_t> digest(SHA_DIGEST_LENGTH);
    SHA1(document.data(), document.size(), digest.data());
    EXPECT_EQ(hash, digest);

    DS_HANDLE stream = session.OpenStream(device);
    ASSERT_NE(nullptr, stream);
    int user_marker = 0;
    BUFFER_HANDLE buffer = session.AllocBuffer(stream, &user_marker);
    ASSERT_NE(nullptr, buffer);
    EVENT_HANDLE event = session.StartWithOneBuffer(stream, buffer);

    const Delivery delivery = WaitForBuffer(gentl(), event);
    ASSERT_EQ(GC_ERR_SUCCESS, delivery.result);
    EXPECT_EQ(buffer, delivery.buffer);
    EXPECT_EQ(&user_marker, delivery.user_ptr);
    EXPECT_EQ(BUFFER_BYTES, BufferInfo(stream, buffer, BUFFER_INFO_SIZE_FILLED));
    EXPECT_EQ(1u, BufferInfo(stream, buffer, BUFFER_INFO_NEW_DATA) & 0xFF);
    EXPECT_EQ(0u, BufferInfo(stream, buffer, BUFFER_INFO_IS_QUEUED) & 0xFF);

    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().GCUnregisterEvent(stream, EVENT_NEW_BUFFER));
    void* memory = &user_marker;
    void* user_ptr = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSRevokeBuffer(stream, buffer, &memory, &user_ptr));
    EXPECT_EQ(nullptr, memory);  // the producer's own memory is not handed out
    EXPECT_EQ(&user_marker, user_ptr);
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSClose(stream));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DevClose(device));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().IFClose(session.iface));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().TLClose(session.system));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().GCCloseLib());
}

// The kind of the handle plays no part in a parent query; the remote device
// is handed out again under the same handle.
TEST_F(ConsumerSessionTest, ParentsAndTheRemoteDeviceAreAnsweredFromThePool)
{
    DEV_HANDLE device = session.OpenDevice(1);
    DS_HANDLE stream = session.OpenStream(device);
    ASSERT_NE(nullptr, stream);
    const struct {
        const char* name;
        GC_ERROR (*call)(void*, void**);
        void* handle;
        void* parent;
    } rows[] = {{"IFGetParentTL", gentl().IFGetParentTL, session.iface, session.system},
                {"DevGetParentIF", gentl().DevGetParentIF, device, session.iface},
                {"DSGetParentDev", gentl().DSGetParentDev, stream, device},
                {"IFGetParentTL of a stream", gentl().IFGetParentTL, stream, device},
                {"IFGetParentTL of the system", gentl().IFGetParentTL, session.system, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        void* parent = &parent;
        EXPECT_EQ(GC_ERR_SUCCESS, row.call(row.handle, &parent));
        EXPECT_EQ(row.parent, parent);
    }
    PORT_HANDLE first = nullptr;
    PORT_HANDLE second = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DevGetPort(device, &first));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DevGetPort(device, &second));
    EXPECT_EQ(first, second);
    EXPECT_NE(device, first);
}

// A close takes the subtree below it along, whatever level goes first.
TEST_F(ConsumerSessionTest, ClosingAnyLevelLeavesNoHandleBelowAndTheLibraryClosesCleanly)
{
    for (int level = 0; level < 5; ++level) {
        SCOPED_TRACE(level);
        if (level > 0) {
            ASSERT_TRUE(session.OpenToInterface());
        }
        DEV_HANDLE device = session.OpenDevice(0);
        DS_HANDLE stream = session.OpenStream(device);
        BUFFER_HANDLE buffer = session.AllocBuffer(stream);
        EVENT_HANDLE event = session.StartWithOneBuffer(stream, buffer);
        ASSERT_EQ(GC_ERR_SUCCESS, WaitForBuffer(gentl(), event).result);
        void* const handles[] = {stream, device, session.iface, session.system};
        const GC_ERROR closed = level == 0   ? gentl().DSClose(handles[0])
                                : level == 1 ? gentl().DevClose(handles[1])
                                : level == 2 ? gentl().IFClose(handles[2])
                                : level == 3 ? gentl().TLClose(handles[3])
                                             : gentl().GCCloseLib();
        EXPECT_EQ(GC_ERR_SUCCESS, closed);
        if (level == 4) continue;
        uint32_t count = 0;
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().DSGetNumBufferParts(stream, buffer, &count));
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().EventKill(event));
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().DSClose(stream));
        EXPECT_EQ(GC_ERR_SUCCESS, gentl().GCCloseLib());
    }
}

// A refused revoke or registration leaves everything as it was.
TEST_F(ConsumerSessionTest, RefusedRevokeAndRegistrationKeepTheirObjects)
{
    DS_HANDLE stream = session.OpenStream(session.OpenDevice(0));
    BUFFER_HANDLE buffer = session.AllocBuffer(stream);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSQueueBuffer(stream, buffer));
    EXPECT_EQ(GC_ERR_BUSY, gentl().DSRevokeBuffer(stream, buffer, nullptr, nullptr));
    EXPECT_EQ(BUFFER_BYTES, BufferInfo(stream, buffer, BUFFER_INFO_SIZE));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSRevokeBuffer(stream, buffer, nullptr, nullptr));
    EXPECT_EQ(0u, StreamInfo(stream, STREAM_INFO_NUM_ANNOUNCED));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().DSRevokeBuffer(stream, buffer, nullptr, nullptr));

    EVENT_HANDLE event = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, gentl().GCRegisterEvent(stream, EVENT_NEW_BUFFER, nullptr));
    EVENT_HANDLE first = session.RegisterNewBufferEvent(stream);
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, gentl().GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event));
    buffer = session.AllocBuffer(stream);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSQueueBuffer(stream, buffer));
    ASSERT_EQ(GC_ERR_SUCCESS,
              gentl().DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    EXPECT_EQ(buffer, WaitForBuffer(gentl(), first).buffer);

    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(session.system, EVENT_ERROR, &event));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().GCUnregisterEvent(session.system, EVENT_ERROR));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().EventFlush(event));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(session.system, EVENT_ERROR, &event));
}

TEST_F(ConsumerSessionTest, AWaitingEventGetDataHoldsNothingThatOtherCallsNeed)
{
    DS_HANDLE stream = session.OpenStream(session.OpenDevice(0));
    EVENT_HANDLE event = session.RegisterNewBufferEvent(stream);
    std::atomic<GC_ERROR> waited{GC_ERR_SUCCESS};
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        waited = WaitForBuffer(gentl(), event, GENTL_INFINITE).result;
        returned = true;
    });
    // While it waits, the stream, its event and the pool answer other threads.
    for (uint64_t announced = 0; announced < 20; ++announced) {
        EXPECT_EQ(announced, StreamInfo(stream, STREAM_INFO_NUM_ANNOUNCED));
        EXPECT_NE(nullptr, session.AllocBuffer(stream));
    }
    EXPECT_FALSE(returned.load());
    // A kill must reach it even if it has not started waiting yet.
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().EventKill(event));
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
            return gentl().IFOpenDevice(session.iface, FrontTest::DeviceID(3).c_str(),
                                        DEVICE_ACCESS_EXCLUSIVE, out);
        },
        [&](void** out) { return gentl().GCRegisterEvent(stream, EVENT_NEW_BUFFER, out); }};
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

// Each thread walks its own device from open to close, repeatedly, while
// another thread keeps asking the shared system and interface.
TEST_F(ConsumerSessionTest, SeveralThreadsWalkTheirOwnDevicesAtOnce)
{
    constexpr int ROUNDS = 5;
    std::atomic<bool> walking{true};
    std::atomic<int> failures{0};
    auto count_failure = [&](bool ok) {
        if (!ok) ++failures;
    };
    std::vector<std::thread> walkers;
    for (uint32_t index = 0; index < DEVICE_COUNT; ++index)
        walkers.emplace_back([&, index] {
            for (int round = 0; round < ROUNDS; ++round) {
                DEV_HANDLE device = session.OpenDevice(index);
                DS_HANDLE stream = session.OpenStream(device);
                BUFFER_HANDLE buffer = session.AllocBuffer(stream);
                EVENT_HANDLE event = session.StartWithOneBuffer(stream, buffer);
                const Delivery delivery = WaitForBuffer(gentl(), event);
                count_failure(delivery.result == GC_ERR_SUCCESS && delivery.buffer == buffer);
                count_failure(BufferInfo(stream, buffer, BUFFER_INFO_SIZE_FILLED) == BUFFER_BYTES);
                count_failure(gentl().DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT) == 0);
                // Closing the device takes stream, buffer and event along.
                count_failure(gentl().DevClose(device) == GC_ERR_SUCCESS);
            }
        });
    std::thread observer([&] {
        while (walking.load()) {
            uint32_t count = 0;
            count_failure(gentl().TLGetNumInterfaces(session.system, &count) == 0 && count == 1);
            count_failure(gentl().IFGetNumDevices(session.iface, &count) == 0 &&
                          count == DEVICE_COUNT);
        }
    });
    for (std::thread& walker : walkers) walker.join();
    walking = false;
    observer.join();
    EXPECT_EQ(0, failures.load());
}

}  // namespace
