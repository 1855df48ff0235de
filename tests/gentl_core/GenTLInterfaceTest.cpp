// The interface module: its device list update, device lookup by plain,
// alternative and probe IDs, and list updates racing with opens. Its info and
// registers are read through the real producer in consumer_library_tests.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ModuleTreeFixture.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLLocalDevice;
using IDs = std::vector<std::string>;
using InterfaceTest = ModuleTreeTest;

TEST_F(InterfaceTest, OpenDeviceNotRediscoveredIsMarkedRefusesItsChildrenAndGoesOnceClosed)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    const SharedPtr<TestDevice> dev = OpenDevice(*itf, "TestPrefix_DEV_D1");
    ASSERT_TRUE(dev);
    itf->discovered.clear();
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_TRUE(PublishedDeviceIDs(*itf).empty());
    SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
    SharedPtr<GenTLCore::GenTLDataStream> stream;
    SharedPtr<GenTLLocalDevice> again;
    EXPECT_EQ(dev->DevGetPort(remote), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(dev->StmOpen("anything", stream), GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, again),
              GC_ERR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorText(),
              "DevOpen: the requested device exists in the list, but is marked as inaccessible");
    opened.CloseDownTo(dev.Get());
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.UseCount(), 1);
}

// Only a probe key of the branding ("ip", exact case) probes; other
// alternative IDs run a full discovery; a listed device needs neither. A
// probed device is handed out unpublished; a failed probe gives its code.
TEST_F(InterfaceTest, DevOpenFindsByIDAlternativeIDOrProbe)
{
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1"});
    SharedPtr<GenTLLocalDevice> dev;
    EXPECT_EQ(itf->DevOpen(nullptr, DEVICE_ACCESS_CONTROL, dev), GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(LastErrorText(), "DevOpen: invalid device ID pointer");
    const SharedPtr<TestDevice> d1 = OpenDevice(*itf, "#ip#127.0.0.1");
    ASSERT_TRUE(d1);
    ASSERT_EQ(itf->DevOpen("#sn#D1", DEVICE_ACCESS_CONTROL, dev), GC_ERR_SUCCESS);
    EXPECT_EQ(dev.Get(), static_cast<GenTLLocalDevice*>(d1.Get()));
    for (const char* id : {"#IP#127.0.0.7", "#sn#D9", "#ip", "#mac#aa"}) {
        SCOPED_TRACE(id);
        SharedPtr<GenTLLocalDevice> none;
        EXPECT_EQ(itf->DevOpen(id, DEVICE_ACCESS_CONTROL, none), GC_ERR_INVALID_ID);
    }
    EXPECT_EQ(itf->last_probe, "");
    const SharedPtr<TestDevice> probed = OpenDevice(*itf, "#ip#127.0.0.7");
    ASSERT_TRUE(probed);
    EXPECT_EQ(itf->last_probe, "ip/127.0.0.7");
    EXPECT_EQ(PublishedDeviceIDs(*itf), IDs{"TestPrefix_DEV_D1"});
    opened.CloseDownTo(probed.Get());  // let go once closed
    ASSERT_EQ(itf->RunDeviceDiscovery(true, 0), GC_ERR_SUCCESS);
    EXPECT_EQ(probed.UseCount(), 1);
    const struct {
        GC_ERROR result;
        bool finds, implemented;
        const char* text;
    } failures[] = {
        {GC_ERR_INVALID_PARAMETER, true, true, nullptr},
        {GC_ERR_SUCCESS, false, true, "DevOpen: invalid device ID, no such device exists"},
        {GC_ERR_SUCCESS, true, false,
         "Attempt to direct probe a device, but direct probing not fully implemented."}};
    for (const auto& row : failures) {
        std::tie(itf->probe_result, itf->probe_finds_device, itf->probe_implemented) =
            std::tie(row.result, row.finds, row.implemented);
        EXPECT_FALSE(OpenDevice(*itf, "#ip#127.0.0.8"));
        EXPECT_TRUE(row.text == nullptr || LastErrorText() == row.text) << LastErrorText();
    }
    expected_asserts = 1;
}

// List updates against opens and closes, and system updates against lookups:
// only documented results, the lists intact. The sanitizer builds check the
// locking.
TEST_F(InterfaceTest, UpdatesRacingWithOpensGiveOnlyDocumentedResults)
{
    constexpr int ROUNDS = 200;
    const SharedPtr<TestInterface> itf = InterfaceWithDevices({"D1", "D2"});
    itf->alternate = true;  // devices come and go
    std::atomic<int> unexpected{0};
    std::thread updater([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            if (itf->UpdateDeviceListReportChange(nullptr, 0) != GC_ERR_SUCCESS ||
                system->UpdateInterfaceListReportChange(nullptr, 0) != GC_ERR_SUCCESS)
                ++unexpected;
        }
    });
    std::thread opener([&] {
        const std::set<GC_ERROR> documented{GC_ERR_SUCCESS, GC_ERR_ACCESS_DENIED,
                                            GC_ERR_INVALID_ID};
        for (int i = 0; i < ROUNDS; ++i) {
            SharedPtr<GenTLCore::GenTLInterface> found;
            if (system->ItfOpen("TestPrefix_If", found) != GC_ERR_SUCCESS) ++unexpected;
            SharedPtr<GenTLLocalDevice> dev;
            GC_ERROR result = itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, dev);
            if (result == GC_ERR_SUCCESS && (result = dev->Open()) == GC_ERR_SUCCESS) {
                uint32_t streams = 0;
                dev->GetNumDataStreams(&streams);
                SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
                dev->DevGetPort(remote);
                dev->Close();
            }
            if (documented.count(result) == 0) ++unexpected;
        }
    });
    updater.join();
    opener.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_LE(PublishedDeviceIDs(*itf).size(), 2u);
    EXPECT_EQ(PublishedInterfaceIDs(), IDs{"TestPrefix_If"});
}

}  // namespace
}  // namespace ModuleTest
