// The sensor's replies on the command channel, its profiles and camera
// images, all taken from the input, into a SensorInterface on a virtual
// clock: its open, then a list of feature operations and acquisition steps.
// Whatever the sensor answers, the scene stays within what a sensor of the
// family can have.
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "producer/SensorFakes.h"

namespace {

using namespace GenTLCore::ZoTL;

// The scripted sensor, answering from the input instead of its items. A
// reply: one byte; bit 7 a failure code (its low 3 bits), bit 6 a number
// (the next 4 bytes, unsigned with bit 5), else that many bytes (up to 31)
// of text. An input that has run out answers as a sensor that has gone quiet.
class FuzzSensorLink : public TestSupport::ScriptedSensorLink {
public:
    FuzzSensorLink(GenTLCore::ZoTL::IClock& clock, FuzzInput& input)
        : ScriptedSensorLink(clock), time(clock), input(input)
    {
    }

    int ReadData(const std::string&, std::string& reply, int) override
    {
        if (input.RestSize() == 0) return -5;
        const auto kind = input.Take<uint8_t>();
        if (kind & 0x80) return -(kind & 0x07);
        if (kind & 0x40) {
            const auto bits = input.Take<uint32_t>();
            reply = kind & 0x20 ? std::to_string(bits) : std::to_string(static_cast<int32_t>(bits));
            return 0;
        }
        reply.clear();
        for (int i = 0; i < (kind & 0x1F) && input.RestSize() > 0; ++i)
            reply += static_cast<char>(input.Take<uint8_t>());
        return 0;
    }
    int GetXZIExtended(ProfileRequest& request) override
    {
        if (input.RestSize() == 0) {
            time.SleepForMs(request.timeout_ms);
            return -1;
        }
        const auto kind = input.Take<uint8_t>();
        if (kind & 0x80) return -(kind & 0x07);
        const auto count = input.Take<uint16_t>();
        const int filled = std::min<int>(count, request.buffer_size);
        for (int i = 0; i < filled; ++i) {
            request.x[i] = input.Take<int8_t>() / 4.0;
            request.z[i] = 100 + input.Take<uint8_t>() / 2.0;
            request.intensity[i] = input.Take<uint8_t>();
        }
        request.encoder = input.Take<uint32_t>();
        request.picture_count = input.Take<uint16_t>();
        return count;  // a count beyond the room, too
    }
    bool TakeCameraImage(std::vector<uint8_t>& out, uint32_t& width, uint32_t& height,
                         uint32_t) override
    {
        width = input.Take<uint16_t>();
        height = input.Take<uint16_t>();
        out.assign(input.Take<uint16_t>(), 0x5A);
        return !out.empty();
    }

private:
    GenTLCore::ZoTL::IClock& time;  // the harness's, which outlives the link
    FuzzInput& input;               // the run's, which outlives the link
};

const uint32_t FORMATS[] = {PFNC_COORD3D_ABC32F, PFNC_COORD3D_ABC16, PFNC_MONO16, PFNC_MONO8};

// A legitimate scene this large costs memory the fuzzer has not got, and is
// sized by the same code as a small one.
constexpr uint64_t MAX_FUZZED_POINTS = uint64_t{1} << 20;

bool SceneFits(FeatureCache& cache)
{
    GenTLCore::ScopedLock hold(cache.lock);
    return uint64_t{cache.region[1].width} * cache.region[1].height <= MAX_FUZZED_POINTS;
}

// What no sensor of the family has must never reach the cache.
void CheckScene(FeatureCache& cache)
{
    GenTLCore::ScopedLock hold(cache.lock);
    const uint64_t pixels = SensorInterface::MAX_SENSOR_PIXELS;
    if (cache.region[0].width > pixels || cache.region[1].width > 2 * pixels ||
        cache.region[0].height > pixels ||
        cache.region[1].height > SensorInterface::MAX_PROFILES_PER_SCAN ||
        cache.sensor_width > pixels || cache.sensor_height > pixels ||
        cache.decimation_horizontal == 0 || cache.decimation_vertical == 0)
        std::abort();
}

void Operate(SensorInterface& sensor, FeatureCache& cache, FuzzInput& input, ScanData& scan)
{
    const auto op = input.Take<uint8_t>();
    switch (op % 20) {
        case 0:
            sensor.GetROI1WidthX();
            break;
        case 1:
            sensor.GetHeight();
            break;
        case 2:
            sensor.GetROI1StepX();
            break;
        case 3:
            sensor.GetROI1StepZ();
            break;
        case 4:
            sensor.GetPixelXMax();
            break;
        case 5:
            sensor.GetROI1OffsetX();
            break;
        case 6:
            sensor.SetROI1StepX(input.Take<uint16_t>());
            break;
        case 7:
            sensor.SetROI1WidthX(input.Take<uint32_t>());
            break;
        case 8:
            sensor.SetAmountProfilesY(input.Take<uint32_t>());
            break;
        case 9:
            sensor.SetRegionSelector(op & 0x80);
            break;
        case 10:
            sensor.GetAcquisitionLineTime();
            break;
        case 11:
            sensor.GetCameraMode();
            break;
        case 12:
            if (SceneFits(cache)) sensor.SetAcquisitionStart();
            break;
        case 13:
            if (SceneFits(cache)) {
                std::lock_guard<std::mutex> hold(sensor.ScanLock());
                sensor.Acquire(scan);
            }
            break;
        case 14:
            sensor.SetAcquisitionStop();
            break;
        case 15:
            sensor.ReadRegionSettings();
            break;
        case 16:
            sensor.SetCameraMode(op & 0x80);
            break;
        case 17:
            sensor.GetTriggerSource();
            break;
        case 18:
            sensor.GetMaxFps();
            break;
        default: {
            cache.component_selector = 1;
            cache.SetPixelFormat(FORMATS[(op >> 5) & 3]);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    auto clock = std::make_unique<TestSupport::VirtualClock>();
    auto link = std::make_unique<FuzzSensorLink>(*clock, input);
    GenTLCore::SharedPtr<FeatureCache> cache(new FeatureCache);
    SensorInterface sensor(std::move(link), cache, std::move(clock));
    CheckScene(*cache);
    ScanData scan;
    for (int ops = 0; ops < 32 && input.RestSize() > 0; ++ops) {
        Operate(sensor, *cache, input, scan);
        CheckScene(*cache);
    }
    return 0;
}
