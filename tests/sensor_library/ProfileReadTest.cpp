// Profile, image and range-image reads out of the container FIFO, worked
// by hand from the simulated sensor's scans, and all of them at once.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "ReadyConnection.h"

namespace {

using namespace TestSupport;

// One profile as GetXZIExtended hands it out.
struct Profile {
    int32_t result = 0;
    std::vector<double> x, z;
    std::vector<int32_t> intensity, width;
    int32_t picture = -1;
};

Profile ReadProfile(CScanvo& scanvo, int32_t capacity)
{
    Profile p{0, std::vector<double>(capacity), std::vector<double>(capacity),
              std::vector<int32_t>(capacity), std::vector<int32_t>(capacity)};
    uint32_t encoder = 0;
    uint8_t user_io = 0;
    p.result = scanvo.GetXZIExtended(p.x.data(), p.z.data(), p.intensity.data(), p.width.data(),
                                     capacity, &encoder, &user_io, 0, nullptr, 0, &p.picture);
    return p;
}

int32_t Intensity(int32_t column, uint16_t picture)
{
    return ScanIntensity(column, picture) * 4 + (ScanLowByte(column) >> 6);
}

class ProfileReadTest : public ReadyConnection {
protected:
    void Feed(ScanKind kind, uint16_t counter, uint32_t width = 64)
    {
        fake->Feed(ScanContainer(kind, counter, counter * 1000u, width));
    }
};

// No output, no data, a small array, a raw copy alone (whole or cut), and
// a reconnect whose geometry has not come again.
TEST_F(ProfileReadTest, ResultCodesAndTheRawCopy)
{
    const auto read = [&](double* x, int32_t count, uint8_t* raw, int32_t raw_size) {
        return scanvo.GetXZIExtended(x, nullptr, nullptr, nullptr, count, nullptr, nullptr, 0, raw,
                                     raw_size, nullptr);
    };
    EXPECT_EQ(-3, read(nullptr, 5, nullptr, 0));
    EXPECT_EQ(-1, ReadProfile(scanvo, 64).result);
    Feed(ScanKind::RawProfile, 1, 2048);  // wider than the field
    EXPECT_EQ(10, ReadProfile(scanvo, 10).result);
    Feed(ScanKind::RawProfile, 2);
    double x[1];
    EXPECT_EQ(0, read(x, 0, nullptr, 0));
    const Bytes container = ScanContainer(ScanKind::RawProfile, 3, 3000, 64);
    fake->Feed(container);
    fake->Feed(container);
    Bytes raw(container.size() + 10, 0);
    ASSERT_EQ(int32_t(container.size()), read(nullptr, 0, raw.data(), int32_t(raw.size())));
    EXPECT_EQ(container, Bytes(raw.begin(), raw.begin() + long(container.size())));
    EXPECT_EQ(16, read(nullptr, 0, raw.data(), 16));
    fake->Disconnect();
    fake->Connect();
    EXPECT_EQ(-2, ReadProfile(scanvo, 64).result);
}

TEST_F(ProfileReadTest, ACameraImageComesOutByteForByte)
{
    Feed(ScanKind::Camera, 4, 32);
    std::vector<char> image(16 + 32 * 16);
    uint32_t w = 0, h = 0, x_offset = 9, z_offset = 9, x_step = 9, z_step = 9;
    EXPECT_EQ(-1, scanvo.GetImage(image.data(), int32_t(image.size()) - 1, &w, &h, &x_offset,
                                  &z_offset, &x_step, &z_step, 0));
    ASSERT_EQ(512, scanvo.GetImage(image.data(), int32_t(image.size()), &w, &h, &x_offset,
                                   &z_offset, &x_step, &z_step, 0));
    EXPECT_EQ((std::vector<uint32_t>{32, 16, 0, 0, 0, 0}),
              (std::vector<uint32_t>{w, h, x_offset, z_offset, x_step, z_step}));
    for (uint32_t i = 0; i < 512; ++i)
        ASSERT_EQ(ScanPixel(i % 32, i / 32, 4), static_cast<uint8_t>(image[i])) << i;
    Feed(ScanKind::Camera, 5, 32);
    std::vector<uint8_t> taken;
    ASSERT_TRUE(scanvo.TakeCameraImage(taken, w, h, 100));
    ASSERT_EQ(512u, taken.size());
    EXPECT_EQ(ScanPixel(31, 15, 5), taken.back());
    EXPECT_FALSE(scanvo.TakeCameraImage(taken, w, h, 0));
}

class RangeImageTest : public ProfileReadTest {
protected:
    RangeImageTest()
    {
        xml_values["device:general:fieldwidth_x_end"] = "128";
        xml_values["device:general:pixel_x_max"] = "64";
        xml_values["device:general:measuringrange_z"] = "1024";
    }
};

// X = column - 64 falls on image column c / 2 (offset -64, scale 2), so the
// odd columns win; Z becomes its word (offset 100, scale 1/64).
TEST_F(RangeImageTest, BuildsOneRowPerProfileAndRefusesASmallImageOrABadField)
{
    for (const char* command : {"SetRangeImageNrProfiles=2", "SetRangeImageXScale=2",
                                "SetRangeImageZScale=0.015625", "SetRangeImageZOffset=100"})
        ASSERT_LT(0, scanvo.WriteData(command, int32_t(std::strlen(command)))) << command;
    Feed(ScanKind::LinearProfile, 1);
    Feed(ScanKind::LinearProfile, 3);
    std::vector<uint16_t> image(128, 0xAAAA);
    bool gap = false;
    int32_t counters[2] = {}, encoders[2] = {};
    uint32_t stamps[2] = {};
    EXPECT_EQ(-4, scanvo.GetRangeImage(image.data(), 127, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(-3, scanvo.GetRangeImage(nullptr, 128, 0, nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(0, scanvo.GetRangeImage(image.data(), 128, 0, &gap, counters, encoders, stamps));
    for (uint32_t n = 0; n < 128; ++n) {
        const uint32_t k = n % 64;
        ASSERT_EQ(k < 32 ? 1000 + 3 * (2 * k + 1) : 0, image[n]) << "row " << n / 64 << " column " << k;
    }
    EXPECT_TRUE(gap);
    EXPECT_EQ((std::vector<int32_t>{1, 3}), std::vector<int32_t>(counters, counters + 2));
    EXPECT_EQ(3000u, stamps[1]);
    xml_values["device:general:pixel_x_max"] = "wide";
    fake->Feed(TextContainer(SensorXml(xml_values)));
    EXPECT_EQ(-3, scanvo.GetRangeImage(image.data(), 128, 0, nullptr, nullptr, nullptr, nullptr));
}

// The receive thread writes, resets and changes the size while readers
// take profiles and the live values, another thread sends commands and two
// threads make requests: every profile read is whole and matches its own
// picture counter, each request gets its own reply (the thread sanitizer
// build checks the rest).
TEST_F(ProfileReadTest, ConcurrentReadsResetsCommandsAndRequestsNeverMixUp)
{
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, replies{0};
    std::mutex requests_mutex;
    std::vector<std::string> requests;
    fake->SetResponder([&](const std::string& command) {
        std::lock_guard<std::mutex> lock(requests_mutex);
        if (command.rfind("Set", 0) != 0)
            requests.push_back(command.substr(0, command.size() - 1));
    });
    const auto answer = [&] {  // on the receive thread, as a sensor's reply arrives
        std::vector<std::string> pending;
        {
            std::lock_guard<std::mutex> lock(requests_mutex);
            pending.swap(requests);
        }
        for (const std::string& request : pending) fake->Feed(TextContainer("reply to " + request));
        return (replies += int(pending.size())) == 2;
    };
    const auto reply = [&](const char* request) {
        char buffer[64] = {};
        return scanvo.RequestReply(request, buffer, sizeof(buffer), nullptr) == 0 ? std::string(buffer) : "(none)";
    };
    std::string one, two;
    std::thread asker1([&] { one = reply("one\r"); }), asker2([&] { two = reply("two\r"); });
    std::thread feeder([&] {
        for (uint16_t counter = 1; counter <= 1500; ++counter) {
            Feed(ScanKind::RawProfile, counter, counter % 300 < 150 ? 64 : 96);
            answer();
        }
        EXPECT_TRUE(WaitUntil(answer));
        done = true;
    });
    const auto read = [&] {
        while (!done) {
            const Profile p = ReadProfile(scanvo, 96);
            if (p.result >= 0 && p.result != 64 && p.result != 96)
                ++torn;
            for (int32_t c = 0; c < p.result; ++c)
                torn += p.intensity[c] != Intensity(c, static_cast<uint16_t>(p.picture));
        }
    };
    std::thread reader1(read), reader2(read);
    std::thread live([&] {
        char text[32];
        for (int i = 0; !done; ++i) {
            scanvo.ReadData("PictureCounter", text, sizeof(text), -1);
            scanvo.WriteData(i % 2 ? "SetAcquisitionStop\r" : "SetAcquisitionStart\r", 20 - i % 2);
        }
    });
    while (!done) {
        scanvo.ResetDllFiFo();
        std::this_thread::yield();
    }
    for (std::thread* thread : {&feeder, &reader1, &reader2, &live, &asker1, &asker2})
        thread->join();
    EXPECT_EQ(std::make_pair(std::string("reply to one"), std::string("reply to two")), std::make_pair(one, two));
    EXPECT_EQ(0, torn.load());
    EXPECT_EQ(0u, scanvo.Statistics().crc_errors);
}

}  // namespace
