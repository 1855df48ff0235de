// SensorInterface's region, geometry, line-time, camera-mode and
// acquisition operations.
#include <algorithm>
#include <cmath>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/SaturatingCast.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr uint32_t MAX_DECIMATION = 65535;
constexpr int32_t CAMERA_MODE_SCAN = 0;
constexpr int32_t CAMERA_MODE_IMAGE = 1;
constexpr int32_t CAMERA_LINE_TIME_WRITE_US = 1000000;
constexpr int32_t FEATURE_NOT_DEFINED = -3;
constexpr int32_t READ_FAILED = -5;
constexpr size_t INTENSITY = 0;
constexpr size_t RANGE = 1;
// The decimation a sensor step value stands for; 0 when out of range.
uint16_t DecimationOfStep(int32_t step)
{
    const int64_t decimation = int64_t{step} + 1;
    return decimation >= 1 && decimation <= MAX_DECIMATION ? static_cast<uint16_t>(decimation) : 0;
}

}  // namespace

void SensorInterface::SetROI1WidthX(uint64_t width)
{
    ScopedLock hold(lock_);
    WriteParameter("SetROI1WidthX", width);
    Settle(REGION_SETTLE_MS);
    const bool both_signals = cache_->signal_enable.load() == FeatureCache::SIGNAL_FIRST_AND_SECOND;
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].width = SaturatingCast<uint32_t>(static_cast<double>(width));
        cache.region[1].width =
            SaturatingCast<uint32_t>(static_cast<double>(width) * (both_signals ? 2 : 1));
    });
}

void SensorInterface::SetROI1OffsetX(uint64_t offset)
{
    ScopedLock hold(lock_);
    WriteParameter("SetROI1OffsetX", offset);
    Settle(REGION_SETTLE_MS);
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].offset_x = SaturatingCast<uint32_t>(static_cast<double>(offset));
    });
}

void SensorInterface::SetROI1OffsetZ(uint64_t offset)
{
    ScopedLock hold(lock_);
    if (!WriteParameter("SetROI1OffsetZ", offset)) return;
    Settle(REGION_SETTLE_MS);
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].offset_y = SaturatingCast<uint32_t>(static_cast<double>(offset));
    });
}

void SensorInterface::SetROI1HeightZ(uint64_t height)
{
    ScopedLock hold(lock_);
    WriteParameter("SetROI1HeightZ", height);
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].height = SaturatingCast<uint32_t>(static_cast<double>(height));
    });
}

void SensorInterface::SetAmountProfilesY(uint64_t profiles)
{
    ScopedLock hold(lock_);
    if (cache_->region_selector.load() != 0) {
        WriteParameter("SetAmountProfilesY", profiles);
        UpdateCache([&](FeatureCache& cache) {
            cache.region[1].height = SaturatingCast<uint32_t>(static_cast<double>(profiles));
        });
    } else {
        SetROI1HeightZ(profiles);
    }
    Settle(REGION_SETTLE_MS);
}

GC_ERROR SensorInterface::SetROI1StepX(uint32_t decimation)
{
    return SetDecimation(true, decimation);
}

GC_ERROR SensorInterface::SetROI1StepZ(uint32_t decimation)
{
    return SetDecimation(false, decimation);
}

// Keeps the region where it was on the sensor: size and offset scale by the
// ratio of the old to the new decimation.
GC_ERROR SensorInterface::SetDecimation(bool horizontal, uint32_t decimation)
{
    if (decimation == 0 || decimation > MAX_DECIMATION)
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "Decimation " + std::to_string(decimation) + " is outside 1 to 65535.");
    ScopedLock hold(lock_);
    uint16_t old_decimation = 1;
    uint32_t size = 0;
    uint32_t offset = 0;
    UpdateCache([&](FeatureCache& cache) {
        uint16_t& stored = horizontal ? cache.decimation_horizontal : cache.decimation_vertical;
        old_decimation = std::max<uint16_t>(stored, 1);
        stored = static_cast<uint16_t>(decimation);
        size = horizontal ? cache.region[0].width : cache.region[0].height;
        offset = horizontal ? cache.region[0].offset_x : cache.region[0].offset_y;
    });
    const float ratio = static_cast<float>(old_decimation) / static_cast<float>(decimation);
    WriteParameter(horizontal ? "SetROI1StepX" : "SetROI1StepZ",
                   static_cast<int32_t>(decimation - 1));
    const auto new_size =
        std::max<uint64_t>(SaturatingCast<uint64_t>(size * ratio), MIN_REGION_SIZE);
    const auto new_offset = SaturatingCast<uint64_t>(offset * ratio);
    if (horizontal) {
        SetROI1WidthX(new_size);
        SetROI1OffsetX(new_offset);
    } else {
        SetROI1HeightZ(new_size);
        SetROI1OffsetZ(new_offset);
    }
    return GC_ERR_SUCCESS;
}

int32_t SensorInterface::GetROI1WidthX()
{
    uint64_t width = 0;
    const int32_t result = ReadParameter("GetROI1WidthX", &width);
    if (result != 0) return result;
    const bool both_signals = cache_->signal_enable.load() == FeatureCache::SIGNAL_FIRST_AND_SECOND;
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].width = SaturatingCast<uint32_t>(static_cast<double>(width));
        cache.region[1].width =
            SaturatingCast<uint32_t>(static_cast<double>(width) * (both_signals ? 2 : 1));
    });
    return 0;
}

int32_t SensorInterface::GetROI1HeightZ()
{
    uint32_t height = 0;
    const int32_t result = ReadParameter("GetROI1HeightZ", &height);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.region[0].height = height; });
    return result;
}

int32_t SensorInterface::GetAmountProfilesY()
{
    uint32_t profiles = 0;
    const int32_t result = ReadParameter("GetAmountProfilesY", &profiles);
    if (result == 0)
        UpdateCache([&](FeatureCache& cache) { cache.region[1].height = std::max(profiles, 1u); });
    return result;
}

int32_t SensorInterface::GetROI1OffsetX()
{
    uint32_t offset = 0;
    const int32_t result = ReadParameter("GetROI1OffsetX", &offset);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.region[0].offset_x = offset; });
    return result;
}

int32_t SensorInterface::GetROI1OffsetZ()
{
    uint32_t offset = 0;
    const int32_t result = ReadParameter("GetROI1OffsetZ", &offset);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.region[0].offset_y = offset; });
    return result;
}

int32_t SensorInterface::GetPixelXMax()
{
    uint64_t pixels = 0;
    const int32_t result = ReadParameter("GetPixelXMax", &pixels);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.sensor_width = pixels; });
    return result;
}

int32_t SensorInterface::GetPixelZMax()
{
    uint64_t pixels = 0;
    const int32_t result = ReadParameter("GetPixelZMax", &pixels);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.sensor_height = pixels; });
    return result;
}

// A step that gives no decimation of 1 to 65535 is ignored: it would divide by 0.
int32_t SensorInterface::GetROI1StepX()
{
    int32_t step = 0;
    const int32_t result = ReadParameter("GetROI1StepX", &step);
    if (result == 0 && DecimationOfStep(step) != 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.decimation_horizontal = DecimationOfStep(step); });
    return result;
}

int32_t SensorInterface::GetROI1StepZ()
{
    int32_t step = 0;
    const int32_t result = ReadParameter("GetROI1StepZ", &step);
    if (result == 0 && DecimationOfStep(step) != 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.decimation_vertical = DecimationOfStep(step); });
    return result;
}

int32_t SensorInterface::GetSignalEnable()
{
    int32_t value = 0;
    const int32_t result = ReadParameter("GetSignalEnable", &value);
    if (result == 0) cache_->signal_enable = static_cast<uint32_t>(value);
    return result;
}

int32_t SensorInterface::GetHeight()
{
    return cache_->region_selector.load() != 0 ? GetAmountProfilesY() : GetROI1HeightZ();
}

bool SensorInterface::SetSignalEnable(int32_t value)
{
    WriteParameter("SetSignalEnable", value);
    cache_->signal_enable = static_cast<uint32_t>(value);
    return true;
}

void SensorInterface::SetRegionSelector(bool scan_region)
{
    cache_->region_selector = scan_region ? 1 : 0;
}

void SensorInterface::ReadRegionSettings()
{
    GetSignalEnable();
    GetPixelXMax();
    GetPixelZMax();
    GetROI1StepX();
    GetROI1StepZ();
    GetROI1WidthX();
    GetROI1HeightZ();
    GetAmountProfilesY();
    GetROI1OffsetX();
    GetROI1OffsetZ();
    uint32_t scan_width = 0;
    UpdateCache([&](FeatureCache& cache) {
        cache.ComputeWidthMax();
        cache.ComputeHeightMax();
        cache.ComputeOffsetXMax();
        cache.ComputeOffsetYMax();
        scan_width = cache.region[1].width;
    });
    x_values.resize(scan_width);
    z_values.resize(scan_width);
    intensity_values.resize(scan_width);
}

void SensorInterface::ReadGeometry()
{
    float width_end = 0, z_start = 0, z_range = 0, width_start = 0, pixels = 0;
    ReadParameter("GetFieldWidthXEnd", &width_end);
    ReadParameter("GetWorkingRangeZStart", &z_start);
    ReadParameter("GetMeasuringRangeZ", &z_range);
    const bool has_start = ReadParameter("GetFieldWidthXStart", &width_start) == 0;
    ReadParameter("GetPixelXMax", &pixels);
    using C = FeatureCache::Coordinate;
    UpdateCache([&](FeatureCache& cache) {
        if (has_start) cache.field_width_start = width_start;
        for (auto& format : cache.coordinate) {
            format[FeatureCache::COORD_A].axis_min = -width_end / 2;
            format[FeatureCache::COORD_A].axis_max = width_end / 2;
            format[FeatureCache::COORD_B] = C{0.01f, 0.00001f, 10.0f, 0, -1000.0f, 1000.0f};
            format[FeatureCache::COORD_C].axis_min = z_start;
            format[FeatureCache::COORD_C].axis_max = z_start + z_range;
        }
        const auto set_scale = [](C& c, float scale, float scale_min, float offset,
                                  float offset_max) {
            c.scale = c.scale_max = scale;
            c.scale_min = scale_min;
            c.offset = c.offset_min = offset;
            c.offset_max = offset_max;
        };
        const auto sixteen_bit = [&](C& c) {
            const float scale = (c.axis_max - c.axis_min) / 65535;
            set_scale(c, scale, scale, c.axis_min, c.axis_min);
        };
        auto* abc32 = cache.coordinate[FeatureCache::SLOT_ABC32F];
        auto* abc16 = cache.coordinate[FeatureCache::SLOT_ABC16];
        auto* mono16 = cache.coordinate[FeatureCache::SLOT_MONO16];
        for (const uint32_t axis : {FeatureCache::COORD_A, FeatureCache::COORD_C}) {
            set_scale(abc32[axis], 1.0f, 1.0f, 0, 0);
            sixteen_bit(abc16[axis]);
        }
        C& a = mono16[FeatureCache::COORD_A];
        // Divided, not multiplied by 1 / P: that differs by a float step for
        // many widths. No pixel count: no scale rather than a division by zero.
        const auto per_pixel = [pixels](float span) { return pixels > 0 ? span / pixels : 0.0f; };
        set_scale(a, per_pixel(a.axis_max - a.axis_min), per_pixel(0.01f), a.axis_min,
                  a.axis_max - 0.01f);
        sixteen_bit(mono16[FeatureCache::COORD_C]);
    });
}

int32_t SensorInterface::GetMaxFps()
{
    ScopedLock hold(lock_);
    uint32_t fps = 0;
    int32_t result = ReadParameter("GetMaxFps", &fps);
    if (result == FEATURE_NOT_DEFINED) {
        fps = UNDEFINED_MAX_FPS;
        result = 0;
    }
    if (result == 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.max_fps = fps != 0 ? fps : UNDEFINED_MAX_FPS; });
    return result;
}

GC_ERROR SensorInterface::SetAcquisitionLineTime(float line_rate)
{
    if (!(line_rate >= 1.0f))
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "A line rate below 1 profile per second cannot be set.");
    ScopedLock hold(lock_);
    const double line_time_us = 1000000.0 / line_rate;
    WriteParameter("SetAcquisitionLineTime", SaturatingCast<int32_t>(line_time_us));
    UpdateCache([&](FeatureCache& cache) {
        cache.acquisition_line_time = static_cast<float>(line_time_us);
    });
    TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_DEBUG) << "Write Acquisition FrameRate" << line_rate;
    return GC_ERR_SUCCESS;
}

int32_t SensorInterface::GetAcquisitionLineTime()
{
    ScopedLock hold(lock_);
    float line_time_us = 0;
    const int32_t result = ReadParameter("GetAcquisitionLineTime", &line_time_us);
    if (result != 0) return result;
    if (line_time_us == 0.0f) return READ_FAILED;
    GetMaxFps();
    uint32_t max_fps = 0;
    UpdateCache([&](FeatureCache& cache) {
        max_fps = cache.max_fps != 0 ? cache.max_fps : UNDEFINED_MAX_FPS;
    });
    if (1000000.0 / line_time_us > max_fps) {
        TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_DEBUG)
            << " AcquisitionLinerate is greater than maxFps, so set AcquisitionLinerate = maxFps: "
            << max_fps;
        line_time_us = static_cast<float>(1000000.0 / max_fps);
        WriteParameter("SetAcquisitionLineTime", SaturatingCast<int32_t>(line_time_us));
    }
    UpdateCache([&](FeatureCache& cache) { cache.acquisition_line_time = line_time_us; });
    TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_DEBUG) << "Read Acquisition LineTime" << line_time_us;
    return 0;
}

void SensorInterface::GetCameraMode()
{
    int32_t mode = 0;
    const int32_t result = ReadParameter("GetCameraMode", &mode);
    const bool known = result == 0 && (mode == CAMERA_MODE_SCAN || mode == CAMERA_MODE_IMAGE);
    if (result != 0) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "GetCameraMode failed.";
        startup_ = false;
    } else if (!known) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "Read Camera mode error. Please reset/reboot the camera.";
        startup_ = false;
    }
    if (known) scan_mode_ = mode == CAMERA_MODE_SCAN;
    UpdateCache([&](FeatureCache& cache) {
        if (known) {
            const uint32_t scan = mode == CAMERA_MODE_SCAN ? 1 : 0;
            cache.region[0].region_mode = 1 - scan;
            cache.region[1].region_mode = scan;
            cache.region[1].components[RANGE].component_enable = scan;
        }
        cache.region[1].components[INTENSITY].component_enable = 1;
        cache.acquisition_line_time = CAMERA_LINE_TIME_US;
    });
}

bool SensorInterface::SetCameraMode(bool on)
{
    const uint32_t selector = cache_->region_selector.load();
    TL_LOG(LOG_CATEGORY_DEVDISC, LOG_LEVEL_DEBUG) << "SelectedRegion: " << selector;
    TL_LOG(LOG_CATEGORY_DEVDISC, LOG_LEVEL_DEBUG) << "set SelectedRegionMode to: " << on;
    if (selector > 1) return false;
    const bool scan = (selector == 1) == on;
    scan_mode_ = scan;
    float line_time_us = 0;
    UpdateCache([&](FeatureCache& cache) {
        cache.region[1].region_mode = scan ? 1 : 0;
        cache.region[0].region_mode = scan ? 0 : 1;
        line_time_us = cache.acquisition_line_time;
    });
    ScopedLock hold(lock_);
    if (scan)
        return SwitchCameraMode(CAMERA_MODE_SCAN,
                                SaturatingCast<int32_t>(std::round(line_time_us)));
    return SwitchCameraMode(CAMERA_MODE_IMAGE, CAMERA_LINE_TIME_WRITE_US);
}

// Under lock_: the sensor needs time to switch, and confirms by reading back.
bool SensorInterface::SwitchCameraMode(int32_t mode, int32_t line_time_us)
{
    WriteParameter("SetCameraMode", mode);
    Settle(CAMERA_MODE_SETTLE_MS);
    int32_t read = -1;
    if (ReadParameter("GetCameraMode", &read) != 0 || read != mode) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "Set cameraMode=" << mode << " failed. Please retry or restart the sensor";
        return false;
    }
    WriteParameter("SetAcquisitionLineTime", line_time_us);
    Settle(CAMERA_MODE_SETTLE_MS);
    return true;
}

void SensorInterface::PrepareScanBuffers()
{
    std::lock_guard<std::mutex> scan_hold(scan_lock_);
    FeatureCache::Region camera, scan;
    UpdateCache([&](FeatureCache& cache) {
        camera = cache.region[0];
        scan = cache.region[1];
    });
    if (!scan_mode_.load()) {
        intensity16.clear();
        points32.clear();
        points16.clear();
        range16.clear();
        image.assign(uint64_t{camera.width} * camera.height, 0);
        return;
    }
    const uint64_t points = uint64_t{scan.width} * scan.height;
    image.clear();
    x_values.assign(scan.width, 0);
    z_values.assign(scan.width, 0);
    intensity_values.assign(scan.width, 0);
    intensity16.assign(points, 0);
    const uint32_t format = scan.components[RANGE].pixel_format;
    if (format == PFNC_MONO16) {
        points32.clear();
        points16.clear();
        range16.assign(points, 0);
    } else if (format == PFNC_COORD3D_ABC16) {
        points32.clear();
        range16.clear();
        points16.assign(points * 3, 0);
    } else if (format == PFNC_COORD3D_ABC32F) {
        range16.clear();
        points16.clear();
        points32.assign(points * 3, 0);
    }
}

static bool IsSoftwareFrameStart(FeatureCache& cache)
{
    ScopedLock hold(cache.lock);
    const FeatureCache::Trigger& frame = cache.trigger[FeatureCache::FRAME_START];
    return frame.trigger_mode && frame.trigger_source == FeatureCache::SOURCE_SOFTWARE;
}

void SensorInterface::SetAcquisitionStart()
{
    ScopedLock hold(lock_);
    ResetFifo();
    PrepareScanBuffers();
    if (IsSoftwareFrameStart(*cache_)) {
        acquisition_started_ = true;  // each software trigger starts one scan
        return;
    }
    const bool started = WriteCommand("SetAcquisitionStart");
    acquisition_started_ = started;
    if (!started) TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Start Acquisition failed.";
}

void SensorInterface::SetAcquisitionStop()
{
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Stop Acquisition";
    if (!IsSoftwareFrameStart(*cache_)) WriteCommand("SetAcquisitionStop");
    acquisition_started_ = false;
}

bool SensorInterface::SetResetSettings()
{
    const bool sent = WriteCommand("SetResetSettings");
    Settle(RESET_SETTLE_MS);
    link_->Disconnect();
    Settle(RESET_SETTLE_MS);
    TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_ALWAYS)
        << "Command SetResetSettings has been sent to Device. The device is being disconnected.";
    return sent;
}

}  // namespace GenTLCore::ZoTL
