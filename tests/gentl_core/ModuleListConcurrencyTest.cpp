// List updates, opens and closes from several consumer threads at once. The
// results must stay among the documented ones; the sanitizer builds check
// the locking.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ModuleTreeFixture.h"

namespace ModuleTest {
namespace {

using GenTLCore::GenTLInterface;
using GenTLCore::GenTLLocalDevice;

constexpr int ROUNDS = 200;

class ModuleListConcurrencyTest : public ModuleTreeTest {
protected:
    void SetUp() override
    {
        ModuleTreeTest::SetUp();
        itf = InterfaceWithDevices({"D1", "D2"});
        ASSERT_TRUE(itf);
        itf->alternate = true;  // devices come and go
    }

    // Opens D1 as IFOpenDevice and the pool do, touches it and closes it.
    GC_ERROR OpenAndCloseDevice()
    {
        SharedPtr<GenTLLocalDevice> dev;
        const GC_ERROR found = itf->DevOpen("TestPrefix_DEV_D1", DEVICE_ACCESS_CONTROL, dev);
        if (found != GC_ERR_SUCCESS)
            return found;
        const GC_ERROR opened_result = dev->Open();
        if (opened_result != GC_ERR_SUCCESS)
            return opened_result;
        uint32_t streams = 0;
        dev->GetNumDataStreams(&streams);
        SharedPtr<GenTLCore::GenTLRemoteDevice> remote;
        dev->DevGetPort(remote);
        dev->Close();
        return GC_ERR_SUCCESS;
    }

    SharedPtr<TestInterface> itf;
};

TEST_F(ModuleListConcurrencyTest, UpdatesAndOpensFromTwoThreadsGiveOnlyDocumentedResults)
{
    std::atomic<int> unexpected{0};
    std::thread updater([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            bool8_t changed = 0;
            if (itf->UpdateDeviceListReportChange(&changed, 0) != GC_ERR_SUCCESS)
                ++unexpected;
        }
    });
    std::thread opener([&] {
        const std::set<GC_ERROR> documented{GC_ERR_SUCCESS, GC_ERR_ACCESS_DENIED,
                                            GC_ERR_INVALID_ID};
        for (int i = 0; i < ROUNDS; ++i)
            if (documented.count(OpenAndCloseDevice()) == 0)
                ++unexpected;
    });
    updater.join();
    opener.join();
    EXPECT_EQ(unexpected, 0);

    uint32_t count = 0;
    ASSERT_EQ(itf->GetNumDevices(&count), GC_ERR_SUCCESS);
    EXPECT_LE(count, 2u);
    for (uint32_t i = 0; i < count; ++i) {
        char id[64];
        size_t size = sizeof id;
        EXPECT_EQ(itf->GetDeviceID(i, id, &size), GC_ERR_SUCCESS);
    }
}

TEST_F(ModuleListConcurrencyTest, SystemUpdatesAndInterfaceOpensFromTwoThreads)
{
    std::atomic<int> unexpected{0};
    std::thread updater([&] {
        for (int i = 0; i < ROUNDS; ++i)
            if (system->UpdateInterfaceListReportChange(nullptr, 0) != GC_ERR_SUCCESS)
                ++unexpected;
    });
    std::thread reader([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            SharedPtr<GenTLInterface> found;
            if (system->ItfOpen("TestPrefix_If", found) != GC_ERR_SUCCESS)
                ++unexpected;
            char name[64];
            size_t size = sizeof name;
            INFO_DATATYPE type = 0;
            if (system->GetInterfaceInfo("TestPrefix_If", INTERFACE_INFO_DISPLAYNAME, &type, name,
                                         &size) != GC_ERR_SUCCESS)
                ++unexpected;
        }
    });
    updater.join();
    reader.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_EQ(PublishedInterfaceIDs(), std::vector<std::string>{"TestPrefix_If"});
}

}  // namespace
}  // namespace ModuleTest
