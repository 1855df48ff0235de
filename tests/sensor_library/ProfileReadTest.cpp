// Profile, image and range-image reads out of the container FIFO, against
// the simulated sensor's model worked by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "ReadyConnection.h"

namespace {

using namespace TestSupport;

// One profile as GetXZIExtended hands it out.
struct Profile {
    int32_t result = 0;
    std::vector<double> x, z;
    std::vector<int32_t> intensity, width;
    uint32_t encoder = 0;
    uint8_t user_io = 0;
    int32_t picture = -1;
};

Profile ReadProfile(CScanvo& scanvo, int32_t capacity, int32_t timeout_ms = 0)
{
    Profile p;
    p.x.resize(capacity);
    p.z.resize(capacity);
    p.intensity.resize(capacity);
    p.width.resize(capacity);
    p.result = scanvo.GetXZIExtended(p.x.data(), p.z.data(), p.intensity.data(), p.width.data(),
                                     capacity, &p.encoder, &p.user_io, timeout_ms, nullptr, 0,
                                     &p.picture);
    return p;
}

class ProfileReadTest : public ReadyConnection {
protected:
    void Feed(ScanKind kind, uint16_t counter, uint32_t width = 64)
    {
        fake->Feed(ScanContainer(kind, counter, counter * 1000u, width));
    }
};

TEST_F(ProfileReadTest, ARawProfileLinearizesToTheSensorModelExactly)
{
    Feed(ScanKind::RawProfile, 7, 2048);
    const Profile p = ReadProfile(scanvo, 2048);
    const LinModel model;
    ASSERT_EQ(2048, p.result);
    EXPECT_EQ(7, p.picture);
    // Columns past the model's field have no millimetres.
    for (uint32_t c = 0; c < 2048; ++c) {
        const double row = ScanRawZ(c) / 32.0;
        const bool inside = c <= model.width_x;
        ASSERT_EQ(inside ? model.X(c, row) : 0.0, p.x[c]) << "column " << c;
        ASSERT_EQ(inside ? model.Z(row) : 0.0, p.z[c]) << "column " << c;
        ASSERT_EQ(ScanIntensity(c, 7) * 4 + (ScanLowByte(c) >> 6), p.intensity[c]);
        ASSERT_EQ(ScanLowByte(c) & 63, p.width[c]);
    }
}

TEST_F(ProfileReadTest, ResultCodesForNoOutputNoDataAndASmallArray)
{
    EXPECT_EQ(-3, scanvo.GetXZIExtended(nullptr, nullptr, nullptr, nullptr, 5, nullptr, nullptr, 0,
                                        nullptr, 0, nullptr));
    EXPECT_EQ(-1, ReadProfile(scanvo, 64, 0).result);
    Feed(ScanKind::RawProfile, 1);
    EXPECT_EQ(10, ReadProfile(scanvo, 10).result);
    Feed(ScanKind::RawProfile, 2);
    double x[1];
    EXPECT_EQ(0, scanvo.GetXZIExtended(x, nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0,
                                       nullptr, 0, nullptr));
    fake->Disconnect();
    fake->Connect();  // the geometry must come again
    EXPECT_EQ(-2, ReadProfile(scanvo, 64).result);
}

TEST_F(ProfileReadTest, ARawCopyAloneReturnsTheContainerBytes)
{
    const Bytes container = ScanContainer(ScanKind::RawProfile, 3, 3000, 64);
    fake->Feed(container);
    fake->Feed(container);
    Bytes raw(container.size() + 10, 0);
    ASSERT_EQ(static_cast<int32_t>(container.size()),
              scanvo.GetXZIExtended(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0,
                                    raw.data(), static_cast<int32_t>(raw.size()), nullptr));
    EXPECT_EQ(container, Bytes(raw.begin(), raw.begin() + static_cast<long>(container.size())));
    EXPECT_EQ(16, scanvo.GetXZIExtended(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0,
                                        raw.data(), 16, nullptr));
}

TEST_F(ProfileReadTest, ACameraImageComesOutByteForByte)
{
    Feed(ScanKind::Camera, 4, 32);
    std::vector<char> image(16 + 32 * 16);
    uint32_t w = 0, h = 0, x_offset = 9, z_offset = 9, x_step = 9, z_step = 9;
    EXPECT_EQ(-1, scanvo.GetImage(image.data(), static_cast<int32_t>(image.size()) - 1, &w, &h,
                                  &x_offset, &z_offset, &x_step, &z_step, 0));
    ASSERT_EQ(512, scanvo.GetImage(image.data(), static_cast<int32_t>(image.size()), &w, &h,
                                   &x_offset, &z_offset, &x_step, &z_step, 0));
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

    void Configure()
    {
        for (const char* command : {"SetRangeImageNrProfiles=2", "SetRangeImageXScale=2",
                                    "SetRangeImageZScale=0.015625", "SetRangeImageZOffset=100"})
            ASSERT_LT(0, scanvo.WriteData(command, static_cast<int32_t>(std::strlen(command))))
                << command;
    }
};

// X = column - 64 falls on image column c / 2 (offset -64, scale 2), so the
// odd columns win; Z becomes its word (offset 100, scale 1/64).
TEST_F(RangeImageTest, BuildsOneRowPerProfile)
{
    Configure();
    Feed(ScanKind::LinearProfile, 1);
    Feed(ScanKind::LinearProfile, 3);
    std::vector<uint16_t> image(128, 0xAAAA);
    bool gap = false;
    int32_t counters[2] = {}, encoders[2] = {};
    uint32_t stamps[2] = {};
    ASSERT_EQ(0, scanvo.GetRangeImage(image.data(), 128, 0, &gap, counters, encoders, stamps));
    for (uint32_t n = 0; n < 2; ++n) {
        for (uint32_t k = 0; k < 64; ++k) {
            const uint16_t expected = k < 32 ? static_cast<uint16_t>(1000 + 3 * (2 * k + 1)) : 0;
            ASSERT_EQ(expected, image[n * 64 + k]) << "row " << n << " column " << k;
        }
    }
    EXPECT_TRUE(gap);
    EXPECT_EQ(1, counters[0]);
    EXPECT_EQ(3, counters[1]);
    EXPECT_EQ(3000u, stamps[1]);
}

TEST_F(RangeImageTest, RefusesASmallImageAndAFieldThatIsNotANumber)
{
    Configure();
    std::vector<uint16_t> image(128);
    EXPECT_EQ(-4, scanvo.GetRangeImage(image.data(), 127, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(-3, scanvo.GetRangeImage(nullptr, 128, 0, nullptr, nullptr, nullptr, nullptr));
    xml_values["device:general:pixel_x_max"] = "wide";
    fake->Feed(TextContainer(SensorXml(xml_values)));
    EXPECT_EQ(-3, scanvo.GetRangeImage(image.data(), 128, 0, nullptr, nullptr, nullptr, nullptr));
}

// The receive side writes, resets and changes the size while readers take
// profiles and the live values: every profile read is whole and matches
// its own picture counter (the thread sanitizer build checks the rest).
TEST_F(ProfileReadTest, ConcurrentResetsAndSizeChangesNeverTearAProfile)
{
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread feeder([&] {
        for (uint16_t counter = 1; counter <= 1500; ++counter)
            Feed(ScanKind::RawProfile, counter, counter % 300 < 150 ? 64 : 96);
        done = true;
    });
    const auto read = [&] {
        while (!done) {
            const Profile p = ReadProfile(scanvo, 96);
            if (p.result < 0)
                continue;
            if (p.result != 64 && p.result != 96)
                ++torn;
            for (int32_t c = 0; c < p.result; ++c) {
                if (p.intensity[c] != ScanIntensity(c, static_cast<uint16_t>(p.picture)) * 4 + (ScanLowByte(c) >> 6))
                    ++torn;
            }
        }
    };
    std::thread reader1(read), reader2(read);
    std::thread live([&] {
        char text[32];
        while (!done)
            scanvo.ReadData("PictureCounter", text, sizeof(text), -1);
    });
    while (!done) {
        scanvo.ResetDllFiFo();
        std::this_thread::yield();
    }
    feeder.join();
    reader1.join();
    reader2.join();
    live.join();
    EXPECT_EQ(0, torn.load());
}

}  // namespace
