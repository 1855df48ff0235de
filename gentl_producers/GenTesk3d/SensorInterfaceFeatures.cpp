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

constexpr int32_t CAMERA_MODE_SCAN = 0;
constexpr int32_t CAMERA_MODE_IMAGE = 1;
constexpr int32_t CAMERA_LINE_TIME_WRITE_US = 1000000;
constexpr int32_t FEATURE_NOT_DEFINED = -3;
constexpr size_t INTENSITY = 0;
constexpr size_t RANGE = 1;

uint64_t KnownPixels(uint64_t reported)
{
    return reported >= 1 && reported <= SensorInterface::MAX_SENSOR_PIXELS
               ? reported
               : SensorInterface::MAX_SENSOR_PIXELS;
}

}  // namespace

SensorInterface::SizeRange SensorInterface::SizeLimit(SizeItem item)
{
    uint64_t x_pixels = 0, z_pixels = 0;
    UpdateCache([&](FeatureCache& cache) {
        x_pixels = KnownPixels(cache.sensor_width);
        z_pixels = KnownPixels(cache.sensor_height);
    });
    switch (item) {
        case SizeItem::PIXELS:
            return {1, MAX_SENSOR_PIXELS};
        case SizeItem::WIDTH:
            return {1, x_pixels};
        case SizeItem::HEIGHT:
            return {1, z_pixels};
        case SizeItem::OFFSET_X:
            return {0, x_pixels - 1};
        case SizeItem::OFFSET_Y:
            return {0, z_pixels - 1};
        case SizeItem::PROFILES:
            return {1, MAX_PROFILES_PER_SCAN};
        case SizeItem::DECIMATION_X:
            return {1, x_pixels};
        case SizeItem::DECIMATION_Z:
            return {1, z_pixels};
    }
    return {};
}

int32_t SensorInterface::ReadSize(const std::string& key, SizeRange range, uint64_t& value)
{
    float read = 0;
    const int32_t result = ReadParameter(key, &read);
    if (result != 0) return result;
    const bool sound =
        read >= static_cast<float>(range.low) && read <= static_cast<float>(range.high);
    {
        std::lock_guard<std::mutex> hold(channel_lock_);
        if (sound) {
            refused_keys_.erase(key);
        } else if (!refused_keys_.insert(key).second) {
            return VALUE_OUT_OF_RANGE;
        }
    }
    if (!sound) {
        TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_WARNING)
            << key << " answered " << read << ", outside " << range.low << " to " << range.high
            << ": the value is ignored.";
        return VALUE_OUT_OF_RANGE;
    }
    value = static_cast<uint64_t>(read);
    return 0;
}

GC_ERROR SensorInterface::CheckWrittenSize(const char* feature, SizeItem item, uint64_t value)
{
    const SizeRange range = SizeLimit(item);
    if (value >= range.low && value <= range.high) return GC_ERR_SUCCESS;
    return ReportError(GC_ERR_INVALID_PARAMETER,
                       std::string(feature) + " " + std::to_string(value) + " is outside " +
                           std::to_string(range.low) + " to " + std::to_string(range.high) + ".");
}

GC_ERROR SensorInterface::SetROI1WidthX(uint64_t width)
{
    if (const GC_ERROR refused = CheckWrittenSize("Width", SizeItem::WIDTH, width)) return refused;
    ScopedLock hold(lock_);
    WriteParameter("SetROI1WidthX", width);
    Settle(REGION_SETTLE_MS);
    const bool both_signals = cache_->signal_enable.load() == FeatureCache::SIGNAL_FIRST_AND_SECOND;
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].width = static_cast<uint32_t>(width);
        cache.region[1].width = static_cast<uint32_t>(width * (both_signals ? 2 : 1));
    });
    return GC_ERR_SUCCESS;
}

GC_ERROR SensorInterface::SetROI1OffsetX(uint64_t offset)
{
    return SetRegionOffset(true, offset);
}

GC_ERROR SensorInterface::SetROI1OffsetZ(uint64_t offset)
{
    return SetRegionOffset(false, offset);
}

// A failed vertical write leaves the cache as it was; a failed horizontal one
// still takes the value.
GC_ERROR SensorInterface::SetRegionOffset(bool horizontal, uint64_t offset)
{
    if (const GC_ERROR refused =
            CheckWrittenSize(horizontal ? "OffsetX" : "OffsetY",
                             horizontal ? SizeItem::OFFSET_X : SizeItem::OFFSET_Y, offset))
        return refused;
    ScopedLock hold(lock_);
    if (!WriteParameter(horizontal ? "SetROI1OffsetX" : "SetROI1OffsetZ", offset) && !horizontal)
        return GC_ERR_SUCCESS;
    Settle(REGION_SETTLE_MS);
    UpdateCache([&](FeatureCache& cache) {
        (horizontal ? cache.region[0].offset_x : cache.region[0].offset_y) =
            static_cast<uint32_t>(offset);
    });
    return GC_ERR_SUCCESS;
}

GC_ERROR SensorInterface::SetROI1HeightZ(uint64_t height)
{
    if (const GC_ERROR refused = CheckWrittenSize("Height", SizeItem::HEIGHT, height))
        return refused;
    ScopedLock hold(lock_);
    WriteParameter("SetROI1HeightZ", height);
    UpdateCache(
        [&](FeatureCache& cache) { cache.region[0].height = static_cast<uint32_t>(height); });
    return GC_ERR_SUCCESS;
}

GC_ERROR SensorInterface::SetAmountProfilesY(uint64_t profiles)
{
    ScopedLock hold(lock_);
    if (cache_->region_selector.load() == 0) {
        const GC_ERROR set = SetROI1HeightZ(profiles);
        if (set == GC_ERR_SUCCESS) Settle(REGION_SETTLE_MS);
        return set;
    }
    if (const GC_ERROR refused = CheckWrittenSize("Height", SizeItem::PROFILES, profiles))
        return refused;
    WriteParameter("SetAmountProfilesY", profiles);
    UpdateCache(
        [&](FeatureCache& cache) { cache.region[1].height = static_cast<uint32_t>(profiles); });
    Settle(REGION_SETTLE_MS);
    return GC_ERR_SUCCESS;
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
// ratio of the old to the new decimation, within the pixels left at the new
// one, so that a strange old decimation cannot blow the region up.
GC_ERROR SensorInterface::SetDecimation(bool horizontal, uint32_t decimation)
{
    const SizeItem item = horizontal ? SizeItem::DECIMATION_X : SizeItem::DECIMATION_Z;
    if (const GC_ERROR refused = CheckWrittenSize(
            horizontal ? "DecimationHorizontal" : "DecimationVertical", item, decimation))
        return refused;
    ScopedLock hold(lock_);
    const uint64_t pixels = SizeLimit(item).high;
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
    const uint64_t room = std::max<uint64_t>(pixels / decimation, 1);
    const uint64_t new_size = std::min<uint64_t>(
        std::max<uint64_t>(SaturatingCast<uint64_t>(size * ratio), MIN_REGION_SIZE), room);
    const uint64_t new_offset =
        std::min<uint64_t>(SaturatingCast<uint64_t>(offset * ratio), room - new_size);
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
    const int32_t result = ReadSize("GetROI1WidthX", SizeLimit(SizeItem::WIDTH), width);
    if (result != 0) return result;
    const bool both_signals = cache_->signal_enable.load() == FeatureCache::SIGNAL_FIRST_AND_SECOND;
    UpdateCache([&](FeatureCache& cache) {
        cache.region[0].width = static_cast<uint32_t>(width);
        cache.region[1].width = static_cast<uint32_t>(width * (both_signals ? 2 : 1));
    });
    return 0;
}

int32_t SensorInterface::GetROI1HeightZ()
{
    uint64_t height = 0;
    const int32_t result = ReadSize("GetROI1HeightZ", SizeLimit(SizeItem::HEIGHT), height);
    if (result == 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.region[0].height = static_cast<uint32_t>(height); });
    return result;
}

int32_t SensorInterface::GetAmountProfilesY()
{
    uint64_t profiles = 0;
    const int32_t result =
        ReadSize("GetAmountProfilesY", {0, SizeLimit(SizeItem::PROFILES).high}, profiles);
    if (result == 0)
        UpdateCache([&](FeatureCache& cache) {
            cache.region[1].height = static_cast<uint32_t>(std::max<uint64_t>(profiles, 1));
        });
    return result;
}

int32_t SensorInterface::GetROI1OffsetX()
{
    uint64_t offset = 0;
    const int32_t result = ReadSize("GetROI1OffsetX", SizeLimit(SizeItem::OFFSET_X), offset);
    if (result == 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.region[0].offset_x = static_cast<uint32_t>(offset); });
    return result;
}

int32_t SensorInterface::GetROI1OffsetZ()
{
    uint64_t offset = 0;
    const int32_t result = ReadSize("GetROI1OffsetZ", SizeLimit(SizeItem::OFFSET_Y), offset);
    if (result == 0)
        UpdateCache(
            [&](FeatureCache& cache) { cache.region[0].offset_y = static_cast<uint32_t>(offset); });
    return result;
}

int32_t SensorInterface::GetPixelXMax()
{
    uint64_t pixels = 0;
    const int32_t result = ReadSize("GetPixelXMax", SizeLimit(SizeItem::PIXELS), pixels);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.sensor_width = pixels; });
    return result;
}

int32_t SensorInterface::GetPixelZMax()
{
    uint64_t pixels = 0;
    const int32_t result = ReadSize("GetPixelZMax", SizeLimit(SizeItem::PIXELS), pixels);
    if (result == 0) UpdateCache([&](FeatureCache& cache) { cache.sensor_height = pixels; });
    return result;
}

int32_t SensorInterface::GetROI1StepX()
{
    return ReadDecimation(true);
}

int32_t SensorInterface::GetROI1StepZ()
{
    return ReadDecimation(false);
}

// The sensor reports the decimation minus one.
int32_t SensorInterface::ReadDecimation(bool horizontal)
{
    const SizeRange range = SizeLimit(horizontal ? SizeItem::DECIMATION_X : SizeItem::DECIMATION_Z);
    uint64_t step = 0;
    const int32_t result = ReadSize(horizontal ? "GetROI1StepX" : "GetROI1StepZ",
                                    {range.low - 1, range.high - 1}, step);
    if (result == 0)
        UpdateCache([&](FeatureCache& cache) {
            (horizontal ? cache.decimation_horizontal : cache.decimation_vertical) =
                static_cast<uint16_t>(step + 1);
        });
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
    // NaN and infinities too: the acquisition thread waits a line time.
    if (!(line_time_us > 0.0f && std::isfinite(line_time_us))) return READ_FAILED;
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

GC_ERROR SensorInterface::PrepareScanBuffers()
{
    std::lock_guard<std::mutex> scan_hold(scan_lock_);
    FeatureCache::Region camera, scan;
    UpdateCache([&](FeatureCache& cache) {
        camera = cache.region[0];
        scan = cache.region[1];
    });
    try {
        SizePlanesForStart(camera, scan);
    } catch (const std::bad_alloc&) {
        const FeatureCache::Region& sized = scan_mode_.load() ? scan : camera;
        return ReportError(GC_ERR_OUT_OF_MEMORY,
                           "The scan planes for " + std::to_string(sized.width) + " x " +
                               std::to_string(sized.height) + " points do not fit in memory.");
    }
    return GC_ERR_SUCCESS;
}

void SensorInterface::SizePlanesForStart(const FeatureCache::Region& camera,
                                         const FeatureCache::Region& scan)
{
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

static bool HasNoScanWidth(FeatureCache& cache)
{
    ScopedLock hold(cache.lock);
    return cache.region[1].width == 0;
}

static bool IsSoftwareFrameStart(FeatureCache& cache)
{
    ScopedLock hold(cache.lock);
    const FeatureCache::Trigger& frame = cache.trigger[FeatureCache::FRAME_START];
    return frame.trigger_mode && frame.trigger_source == FeatureCache::SOURCE_SOFTWARE;
}

GC_ERROR SensorInterface::SetAcquisitionStart()
{
    ScopedLock hold(lock_);
    if (scan_mode_.load() && HasNoScanWidth(*cache_)) {
        acquisition_started_ = false;
        return ReportError(GC_ERR_INVALID_VALUE,
                           "The scan width is not known (0): set Width before AcquisitionStart.");
    }
    ResetFifo();
    if (const GC_ERROR prepared = PrepareScanBuffers()) {
        acquisition_started_ = false;
        return prepared;
    }
    if (IsSoftwareFrameStart(*cache_)) {
        acquisition_started_ = true;  // each software trigger starts one scan
        return GC_ERR_SUCCESS;
    }
    const bool started = WriteCommand("SetAcquisitionStart");
    acquisition_started_ = started;
    if (!started) TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Start Acquisition failed.";
    return GC_ERR_SUCCESS;
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
