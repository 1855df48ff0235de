// SensorInterface against a scripted sensor on a virtual clock: the exact
// commands, their spacing and the read-back of written values; the pins it
// offers; scans with B coordinates from each source, the 16-bit conversions,
// scans that end early or are stopped, camera images.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "SensorFakes.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/PayloadGenerator.h"
#include "sensor_library/TestLogging.h"

namespace GenTLCore::ZoTL {
namespace {

using TestSupport::LinkCall;
using TestSupport::ScriptedSensor;
using Texts = std::vector<std::string>;
using Profile = TestSupport::ScriptedSensorLink::Profile;

class SensorInterfaceTest : public ::testing::Test, protected ScriptedSensor {};

// One batch of reads that accept 1 s old values, then the stop that ends the
// startup, then the camera mode read still in startup. A step that gives no
// decimation of 1 to 65535 is ignored rather than divided by.
TEST_F(SensorInterfaceTest, OpensWithTheStartupSequence)
{
    link->Set("ROI1StepX", "65535");
    link->Set("ROI1StepZ", "-1");
    const int64_t t = clock->NowMs();
    Open(true);
    std::vector<LinkCall> expected;
    std::istringstream keys(
        "SignalEnable PixelXMax PixelZMax ROI1StepX ROI1StepZ ROI1WidthX ROI1HeightZ "
        "AmountProfilesY ROI1OffsetX ROI1OffsetZ FieldWidthXEnd WorkingRangeZStart "
        "MeasuringRangeZ FieldWidthXStart PixelXMax AcquisitionLineTime MaxFps EA1Function "
        "EA2Function EA3Function EA4Function TriggerSource");
    for (std::string key; keys >> key;) expected.push_back({"Get" + key, t + 20, 1000});
    expected.push_back({"SetAcquisitionStop", t + 100, 0});
    expected.push_back({"GetCameraMode", t + 120, 1000});
    EXPECT_EQ(link->Calls(), expected);

    ScopedLock hold(cache->lock);
    EXPECT_EQ(cache->decimation_horizontal + cache->decimation_vertical, 2);
    EXPECT_EQ(cache->width_max, 1180u);
    EXPECT_EQ(cache->offset_x_max, 640u);
    EXPECT_EQ(cache->region[1].height, 100u);
    EXPECT_EQ(cache->coordinate[FeatureCache::SLOT_MONO16][FeatureCache::COORD_A].scale, 0.09375f);
    EXPECT_EQ(cache->acquisition_line_time, 5714.0f);
}

// A read that gets no answer (the library's reply time out, or the link
// closed) ends the startup there: nothing more is asked or written, nor
// logged of reads never made. A read the sensor answers, even with an
// error, lets it go on.
TEST_F(SensorInterfaceTest, EndsTheStartupAtTheFirstUnansweredRead)
{
    const uint32_t level = GenTLCore::GetLogLevel();
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_ALWAYS);
    DebugCapture log;
    const struct {
        const char* item;
        const char* reply;
        const char* last_call;  // null: the whole sequence ran
    } rows[] = {
        {"SignalEnable", "!-5", "GetSignalEnable"},
        {"MaxFps", "!-1000", "GetMaxFps"},
        {"TriggerSource", "!-5", "GetTriggerSource"},
        {"ROI1OffsetX", "!-3", nullptr},
        {"CameraMode", "!-5", "GetCameraMode"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.item);
        ScriptedSensor scripted;
        scripted.link->Script(row.item, {row.reply});
        log.Text(true);
        scripted.Open(true);
        const std::vector<LinkCall>& calls = scripted.link->Calls();
        if (row.last_call == nullptr) {
            EXPECT_FALSE(scripted.sensor->StartupFailed());
            EXPECT_EQ("GetCameraMode", calls.back().text);
            continue;
        }
        ASSERT_TRUE(scripted.sensor->StartupFailed());
        EXPECT_EQ(row.last_call, scripted.sensor->StartupFailed()->key);
        EXPECT_EQ(std::stoi(row.reply + 1), scripted.sensor->StartupFailed()->code);
        EXPECT_EQ(row.last_call, calls.back().text);
        EXPECT_EQ(1, std::ranges::count(calls, std::string(row.last_call), &LinkCall::text));
        EXPECT_EQ(row.last_call == std::string("GetTriggerSource") ? 1u : 0u,
                  log.Count("Read Trigger Source failed."));
    }
    GenTLCore::SetLogLevelForTest(level);
}

TEST_F(SensorInterfaceTest, PacesWritesAndReads)
{
    Open();
    const uint32_t level = GenTLCore::GetLogLevel();
    GenTLCore::SetLogLevelForTest(LOG_LEVEL_ALWAYS);
    DebugCapture log;
    clock->Advance(1000);
    const int64_t t = clock->NowMs();
    link->FailWrites(1);
    EXPECT_FALSE(sensor->WriteCommand("SetFirst"));
    EXPECT_TRUE(sensor->WriteCommand("SetSecond"));  // a failed write does not delay it
    EXPECT_TRUE(sensor->WriteParameter("SetThird", int32_t{-3}));
    uint32_t width = 0;
    EXPECT_EQ(sensor->ReadParameter("GetROI1WidthX", &width), 0);
    {
        SensorInterface::ReadBatch batch(*sensor);
        EXPECT_EQ(sensor->ReadParameter("GetROI1HeightZ", &width), 0);
        EXPECT_EQ(sensor->ReadParameter("GetROI1OffsetX", &width), 0);
    }
    clock->Advance(-10'000);  // a clock stepping back delays a write by 100 ms, no more
    EXPECT_TRUE(sensor->WriteCommand("SetFourth"));
    link->FailWrites(1);
    EXPECT_FALSE(sensor->WriteParameter("SetFifth", 5u));
    GenTLCore::SetLogLevelForTest(level);
    for (const char* line : {"Write SetFirst\r failed. Err: -1\n", "Write SetSecond\n",
                             "Write SetThird=-3\n", "Write SetFifth=5\r . Err: -1\n"})
        EXPECT_EQ(1u, log.Count(line)) << line;
    const std::vector<LinkCall> expected{{"SetFirst", t, 0},
                                         {"SetSecond", t, 0},
                                         {"SetThird=-3", t + 100, 0},
                                         {"GetROI1WidthX", t + 120, 0},
                                         {"GetROI1HeightZ", t + 120, 0},
                                         {"GetROI1OffsetX", t + 120, 1000},
                                         {"SetFourth", t - 9780, 0},
                                         {"SetFifth=5", t - 9680, 0}};
    EXPECT_EQ(link->Calls(), expected);
}

// A width is confirmed by the sensor's 16-step neighbours; anything else is
// read again every 50 ms until a second after the write. Each row but the
// last leaves nothing pending.
TEST_F(SensorInterfaceTest, ReadsBackAWrittenWidth)
{
    struct Row {
        const char* name;
        Texts replies;
        int32_t result;
        uint64_t value;
        int64_t last_read_ms;  // after the write
    };
    const Row rows[] = {
        {"lower step", {"96"}, 0, 96, 20},
        {"upper step", {"112"}, 0, 112, 20},
        {"settles", {"104", "104", "96"}, 0, 96, 120},
        {"never settles", Texts(30, "104"), SensorInterface::READBACK_TIMEOUT, 104, 1020},
        {"read fails", {"!-5"}, -5, 7, 20},
    };
    Open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clock->Advance(1000);
        link->Script("ROI1WidthX", row.replies);
        ASSERT_TRUE(sensor->WriteParameter("SetROI1WidthX", uint64_t{100}));
        const int64_t written = clock->NowMs();
        link->ClearCalls();
        uint64_t value = 7;
        EXPECT_EQ(sensor->ReadParameter("GetROI1WidthX", &value), row.result);
        EXPECT_EQ(value, row.value);
        const auto& calls = link->Calls();
        EXPECT_EQ(calls.back().at_ms - written, row.last_read_ms);
        for (size_t i = 1; i < calls.size(); ++i)
            EXPECT_EQ(calls[i].at_ms - calls[i - 1].at_ms, 50);
    }
}

TEST_F(SensorInterfaceTest, KeepsPendingWritesUntilReadAndAtMost256)
{
    Open();
    sensor->WriteParameter("SetExposureTime", uint32_t{10});
    sensor->WriteParameter("SetExposureTime", uint32_t{20});
    uint32_t exposure = 0;
    EXPECT_EQ(sensor->ReadParameter("GetExposureTime", &exposure), 0);
    EXPECT_EQ(exposure, 20u);
    EXPECT_EQ(sensor->PendingWriteCountForTest(), 0u);
    for (int i = 0; i < 300; ++i) sensor->WriteParameter("SetItem" + std::to_string(i), int32_t{i});
    EXPECT_EQ(sensor->PendingWriteCountForTest(), SensorInterface::MAX_PENDING_WRITES);
}

// A size beyond what the sensor can have (1280 x 1024 pixels, 2048, 65535
// profiles) is refused like a failed read and leaves cache and planes alone.
TEST_F(SensorInterfaceTest, RefusesSizesTheSensorCannotHave)
{
    struct Row {
        const char* item;
        int32_t (SensorInterface::*read)();
        uint64_t (*field)(const FeatureCache&);
        uint64_t max;
        bool zero_ok;
    };
    using C = const FeatureCache&;
    // clang-format off
    const Row rows[] = {
        {"ROI1WidthX", &SensorInterface::GetROI1WidthX, [](C c) -> uint64_t { return c.region[1].width; }, 1280, false},
        {"ROI1HeightZ", &SensorInterface::GetROI1HeightZ, [](C c) -> uint64_t { return c.region[0].height; }, 1024, false},
        {"AmountProfilesY", &SensorInterface::GetAmountProfilesY, [](C c) -> uint64_t { return c.region[1].height; }, 65535, true},
        {"ROI1OffsetX", &SensorInterface::GetROI1OffsetX, [](C c) -> uint64_t { return c.region[0].offset_x; }, 1279, true},
        {"ROI1OffsetZ", &SensorInterface::GetROI1OffsetZ, [](C c) -> uint64_t { return c.region[0].offset_y; }, 1023, true},
        {"ROI1StepX", &SensorInterface::GetROI1StepX, [](C c) -> uint64_t { return c.decimation_horizontal - 1u; }, 1279, true},
        {"ROI1StepZ", &SensorInterface::GetROI1StepZ, [](C c) -> uint64_t { return c.decimation_vertical - 1u; }, 1023, true},
        {"PixelXMax", &SensorInterface::GetPixelXMax, [](C c) -> uint64_t { return c.sensor_width; }, 2048, false},
    };
    // clang-format on
    SetItems("ROI1WidthX=16");  // so that 65535 profiles stay small
    Open();
    cache->region[1].components = {{1, PFNC_MONO16}, {1, PFNC_COORD3D_ABC32F}};
    for (const Row& row : rows) {
        const std::string max = std::to_string(row.max), past = std::to_string(row.max + 1);
        const std::pair<const char*, bool> answers[] = {
            {"0", row.zero_ok},    {"1", true},           {max.c_str(), true},
            {past.c_str(), false}, {"2147483648", false}, {"4294967295", false},
            {"50000000", false},   {"-1", false},         {"nan", row.zero_ok}};
        for (const auto& [answer, taken] : answers) {
            SCOPED_TRACE(std::string(row.item) + " = " + answer);
            const uint64_t before = row.field(*cache);
            link->Script(row.item, {answer});
            const int32_t result = (sensor.get()->*row.read)();
            EXPECT_EQ(taken ? 0 : SensorInterface::VALUE_OUT_OF_RANGE, result);
            const uint64_t expected = !taken                         ? before
                                      : std::string(answer) == "nan" ? 0
                                                                     : std::stoull(answer);
            EXPECT_EQ(std::max<uint64_t>(expected, row.item == std::string("AmountProfilesY")),
                      row.field(*cache));
            ASSERT_EQ(GC_ERR_SUCCESS, sensor->PrepareScanBuffers());
            EXPECT_EQ(uint64_t{cache->region[1].width} * cache->region[1].height,
                      sensor->intensity16.size());
            link->Set(row.item, "1");  // the sensor as it was, within any limit
            (sensor.get()->*row.read)();
        }
    }
}

// Writes beyond the sensor's pixels send nothing; a decimation rescales the
// region only within the pixels left at the new one, whatever the sensor
// reported as the old decimation.
TEST_F(SensorInterfaceTest, KeepsWrittenSizesWithinTheSensor)
{
    SetItems("ROI1StepX=1024 ROI1WidthX=1 ROI1OffsetX=0");
    Open();
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, sensor->SetROI1WidthX(4294967295u));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, sensor->SetROI1WidthX(0));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, sensor->SetAmountProfilesY(0));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, sensor->SetROI1OffsetZ(1024));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, sensor->SetROI1StepX(1281));
    EXPECT_EQ("", Writes());
    cache->region[0].width = 640;
    cache->region[0].offset_x = 600;
    ASSERT_EQ(GC_ERR_SUCCESS, sensor->SetROI1StepX(2));
    EXPECT_EQ("SetROI1StepX=1 SetROI1WidthX=640 SetROI1OffsetX=0", Writes());
}

// A width the sensor never gave sensibly cannot be scanned: the start says
// so instead of delivering nothing.
TEST_F(SensorInterfaceTest, StartsOnlyWithAKnownWidth)
{
    SetItems("ROI1WidthX=0");
    Open();
    EXPECT_EQ(GC_ERR_INVALID_VALUE, sensor->SetAcquisitionStart());
    EXPECT_FALSE(sensor->IsAcquisitionStarted());
    EXPECT_EQ("", Writes());
}

// The start empties the library's FIFO first, so no scan from before it is
// delivered.
TEST_F(SensorInterfaceTest, StartDropsTheScansQueuedBeforeIt)
{
    Open();
    link->profiles.assign(3, Profile{{1}, {110}});
    link->empty_result = -1;  // the library's "nothing there"
    EXPECT_EQ(GC_ERR_SUCCESS, sensor->SetAcquisitionStart());
    EXPECT_TRUE(link->profiles.empty());
    EXPECT_EQ("SetAcquisitionStart", Writes());
}

// Pin 1 an output, pin 2 the LineStart input, pin 3 the encoder reset.
TEST_F(SensorInterfaceTest, OffersOnlyFreePins)
{
    SetItems("EA1Function=4 TriggerSource=1 EA2Function=1 EA3FunctionResetCounter=1");
    Open();
    sensor->GetEncoderResetSource();
    const auto pins = [](const std::function<bool(uint32_t)>& available) {
        std::string offered;
        for (uint32_t pin = 1; pin <= 4; ++pin) offered += available(pin) ? '1' : '0';
        return offered;
    };
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor->IsTriggerSourceAvailable(pin); }), "0101");
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor->IsResetSourceAvailable(pin); }), "0011");
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor->IsEncoderSourceAvailable(pin); }), "0001");
    EXPECT_EQ(pins([&](uint32_t pin) {
                  cache->line_selector = pin - 1;
                  return sensor->IsLineOutputAvailable();
              }),
              "1001");
    cache->trigger_selector = 1;
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor->IsTriggerSourceAvailable(pin); }), "0001");
    SetItems("EA2Function=3");  // read afresh
    EXPECT_EQ(sensor->GetPlainInputLines(), (std::vector<uint32_t>{2, 3, 4}));
}

constexpr uint32_t W = 4;
const Profile FLAT = {{1, 1, 1, 1}, {110, 110, 110, 110}};

class ScanAcquisitionTest : public ::testing::Test, protected TestSupport::ScriptedSensor {
protected:
    void SetUp() override
    {
        SetItems("Timestamp=500 Temperature=41 ScannerState=R");
        Open();
        Scene(3, PFNC_COORD3D_ABC32F);
        for (auto& format : cache->coordinate) {
            format[FeatureCache::COORD_A] = {0.5f, 0, 0, 1.0f, 0, 0, {}, 0.0f, 10.0f};
            format[FeatureCache::COORD_B] = {2.0f, 0, 0, 0.25f, 0, 0, {}, 0, 0};
            format[FeatureCache::COORD_C] = {0.1f, 0, 0, 100.0f, 0, 0, {}, 100.0f, 200.0f};
        }
        sensor->SetAcquisitionStart();
    }
    void Scene(uint32_t height, uint32_t range_format, uint32_t width = W)
    {
        ScopedLock hold(cache->lock);
        cache->region[1].width = width;
        cache->region[1].height = height;
        cache->region[1].components = {{1, PFNC_MONO10}, {1, range_format}};
    }
    ScanData scan;
};

// B = (value - first value) x scale + offset; an empty point has B = 0.
TEST_F(ScanAcquisitionTest, BCoordinateFromEachSource)
{
    const struct {
        const char* name;
        uint32_t source;
        std::vector<float> b;
    } rows[] = {
        {"FrameID 10, 11, 13", SensorInterface::SOURCE_FRAME_ID, {0.25f, 2.25f, 6.25f}},
        {"Encoder 7, 5, 9", SensorInterface::SOURCE_ENCODER, {0.25f, -3.75f, 4.25f}},
        {"Timestamp 100, 150, 400", SensorInterface::SOURCE_TIMESTAMP, {0.25f, 100.25f, 600.25f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        cache->coordinate_source = row.source;
        link->Script("Timestamp", {"100", "150", "400"});
        for (const auto& [picture, encoder] : {std::pair{10, 7u}, {11, 5u}, {13, 9u}})
            link->profiles.push_back({{1, 2, 0, 3}, {110, 120, 0, 130}, picture, encoder});
        ASSERT_TRUE(sensor->Acquire(scan));
        ASSERT_EQ(3u, scan.profile_count);
        for (size_t r = 0; r < 3; ++r) {
            EXPECT_EQ(row.b[r], scan.points32[3 * r * W + 1]);
            EXPECT_EQ(0.0f, scan.points32[3 * (r * W + 2) + 1]) << "empty point";
        }
        EXPECT_EQ(std::vector<float>({3, row.b[2], 130}),
                  std::vector<float>(scan.points32 + 33, scan.points32 + 36));
        EXPECT_EQ(1, scan.intensity[0]) << "the low 16 bits";
        EXPECT_EQ(13u, cache->GetScanStatus().picture_counter);
        EXPECT_EQ('R', scan.scan_status.scanner_state);
    }
}

// X 2.25 bins to column 3 (2.5 rounds away from zero), where the later point
// wins; 9 falls outside; Z 300 lies outside the C axis and stores 0; the
// columns no point reaches stay 0. A turn takes the width as it is then.
TEST_F(ScanAcquisitionTest, SixteenBitFormatsConvertAndBin)
{
    const Profile profile = {{1.2, 2.25, 2.3, 9.0, 1, 1}, {150, 300, 180, 150, 150, 150}};
    const struct {
        const char* name;
        uint32_t format, width;
        std::vector<uint16_t> range, intensity;
    } rows[] = {
        {"ABC16", PFNC_COORD3D_ABC16, W, {0, 0, 500, 0, 0, 0, 2, 0, 800, 16, 0, 500}, {1, 2, 3, 4}},
        {"Mono16", PFNC_MONO16, W, {500, 0, 0, 800}, {1, 0, 0, 3}},
        {"Mono16, 6 wide", PFNC_MONO16, 6, {500, 0, 0, 800, 0, 0}, {6, 0, 0, 3, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scene(1, row.format, row.width);
        link->profiles.push_back(profile);
        ASSERT_TRUE(sensor->Acquire(scan));
        const uint16_t* plane = row.format == PFNC_MONO16 ? scan.range16 : scan.points16;
        EXPECT_EQ(row.range, std::vector<uint16_t>(plane, plane + row.range.size()));
        EXPECT_EQ(row.intensity, std::vector<uint16_t>(scan.intensity, scan.intensity + row.width));
    }
}

// k of n profiles, then nothing for the profile time-out: a success with k
// rows. A stop while Acquire waits, or the engine's cancel, ends the scan.
TEST_F(ScanAcquisitionTest, ScanEndsEarlyOnTimeOutStopOrCancel)
{
    link->empty_result = -1;
    link->profiles.assign(2, FLAT);
    int64_t start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(2u, scan.profile_count);
    EXPECT_GT(clock->NowMs() - start, 1000);

    link->profiles.assign(1, FLAT);
    link->on_empty_read = [this] { sensor->SetAcquisitionStop(); };
    start = clock->NowMs();
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_EQ(1u, scan.profile_count);
    EXPECT_EQ(100, clock->NowMs() - start);
    EXPECT_FALSE(sensor->IsAcquisitionStarted());
    EXPECT_FALSE(sensor->Acquire(scan)) << "stopped: nothing is read";

    link->on_empty_read = nullptr;
    sensor->SetAcquisitionStart();
    sensor->SetAcquireCancelled(true);
    link->profiles.assign(1, FLAT);
    EXPECT_FALSE(sensor->Acquire(scan));
    EXPECT_EQ(1u, link->profiles.size()) << "cancelled: nothing is read";
    sensor->SetAcquireCancelled(false);
}

// Planes written straight into a buffer's data area fill it as the scan
// buffers do, also after a scan that ended early; a target too small or
// misaligned for the values is not used.
TEST_F(ScanAcquisitionTest, PlanesInTheTargetFillAsFromTheScanBuffers)
{
    const Profile profile = {{1.2, 2.25, 0, 9.0}, {150, 120, 0, 190}};
    const struct {
        const char* name;
        uint32_t format, profiles;
        size_t offset, room;  // of the target in the buffer, and its size
        bool in_place;
    } rows[] = {
        {"ABC32f", PFNC_COORD3D_ABC32F, 3, 0, 1024, true},
        {"ABC16", PFNC_COORD3D_ABC16, 3, 0, 1024, true},
        {"Mono16", PFNC_MONO16, 3, 0, 1024, true},
        {"ABC32f, 2 of 3 profiles", PFNC_COORD3D_ABC32F, 2, 0, 1024, true},
        {"misaligned", PFNC_COORD3D_ABC32F, 3, 1, 1023, false},
        {"too small", PFNC_COORD3D_ABC32F, 3, 0, 3 * W * 14 - 1, false},
    };
    link->empty_result = -1;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scene(3, row.format);
        std::vector<uint8_t> filled[2] = {std::vector<uint8_t>(1024), std::vector<uint8_t>(1024)};
        for (std::vector<uint8_t>& buffer : filled) {
            link->profiles.assign(row.profiles, profile);
            const bool target = &buffer == &filled[1];
            ASSERT_TRUE(sensor->Acquire(scan, target ? PlaneTarget{buffer.data() + row.offset, row.room}
                                                     : PlaneTarget{}));
            EXPECT_EQ(target && row.in_place,
                      static_cast<const void*>(scan.intensity) == buffer.data());
            PayloadGenerator().Fill(buffer.data() + row.offset, row.room, scan, {}, 1);
        }
        EXPECT_EQ(filled[0], filled[1]);
    }
}

// An image is taken only when width x height fits the bytes received.
TEST_F(ScanAcquisitionTest, CameraImageMustFitTheBytesReceived)
{
    sensor->SetCameraMode(true);
    link->image.assign(12, 9);
    link->image_width = W;
    link->image_height = 4;
    EXPECT_FALSE(sensor->Acquire(scan)) << "4 x 4 in 12 bytes";
    EXPECT_FALSE(sensor->Acquire(scan)) << "no image";
    link->image.assign(12, 9);
    link->image_height = 3;
    ASSERT_TRUE(sensor->Acquire(scan));
    EXPECT_TRUE(scan.profile_count == 3 && scan.image[11] == 9 &&
                scan.intensity_format == PFNC_MONO8);
}

}  // namespace
}  // namespace GenTLCore::ZoTL
