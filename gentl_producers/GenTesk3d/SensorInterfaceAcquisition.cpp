// SensorInterfaceAcquisition.cpp: one scan (profiles or a camera image)
// from the sensor into the scan planes, the FIFO reset and status reads.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/RowKernels.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr size_t INTENSITY = 0;
constexpr size_t RANGE = 1;

bool IsKnownRangeFormat(uint32_t format)
{
    return format == PFNC_COORD3D_ABC32F || format == PFNC_COORD3D_ABC16 || format == PFNC_MONO16;
}

// The low 16 bits of a value truncated toward zero. Clamped into int32
// first, so that no value overflows the conversion; NaN gives 0.
uint16_t Low16(float value)
{
    constexpr float LOWEST = -2147483648.0f, HIGHEST = 2147483520.0f;
    const float clamped = value == value ? std::clamp(value, LOWEST, HIGHEST) : 0.0f;
    return static_cast<uint16_t>(static_cast<int32_t>(clamped));
}

// The nearest integer, halves away from zero, like std::round but inline;
// outside int32 (and NaN) it is -1, which no column is.
int64_t RoundHalfAway(float value)
{
    if (!(value > -2147483648.0f && value < 2147483520.0f)) return -1;
    const auto whole = static_cast<int32_t>(value);
    const float rest = value - static_cast<float>(whole);
    return int64_t{whole} + (rest >= 0.5f) - (rest <= -0.5f);
}

bool IsAligned(const uint8_t* at, size_t alignment)
{
    return reinterpret_cast<uintptr_t>(at) % alignment == 0;
}

bool InAxis(const FeatureCache::Coordinate& axis, double value)
{
    return value >= axis.axis_min && value <= axis.axis_max;
}

}  // namespace

SensorInterface::AcquireKind SensorInterface::ChooseAcquireKind(bool scan_mode, uint64_t height,
                                                                uint32_t source)
{
    if (!scan_mode) return AcquireKind::IMAGE;
    if (height < 2) return AcquireKind::SINGLE_PROFILE;
    return source == SOURCE_TIMESTAMP ? AcquireKind::TIMESTAMP_SCAN : AcquireKind::SCAN;
}

bool SensorInterface::Acquire(ScanData& scan, PlaneTarget target)
{
    if (!acquisition_started_.load()) return false;
    FeatureCache::Coordinate table[3];
    uint32_t timeout_ms = 0;
    const bool scan_mode = scan_mode_.load();
    {
        ScopedLock hold(cache_->lock);
        const FeatureCache::Region& region = cache_->region[1];
        ScanData fresh;
        fresh.width = region.width;
        fresh.height = region.height;
        fresh.chunks_active = cache_->chunks_active.load();
        fresh.chunk_scan3d_enabled = cache_->chunk_scan3d_enabled.load();
        fresh.chunk_picture_counter_enabled = cache_->chunk_picture_counter_enabled.load();
        fresh.chunk_encoder_enabled = cache_->chunk_encoder_enabled.load();
        fresh.chunk_user_io_enabled = cache_->chunk_user_io_enabled.load();
        fresh.gendc_mode = cache_->gendc_mode.load();
        fresh.scan_mode = scan_mode;
        if (scan_mode && region.components.size() > RANGE) {
            fresh.intensity_enabled = region.components[INTENSITY].component_enable != 0;
            fresh.intensity_format = region.components[INTENSITY].pixel_format;
            fresh.range_format = region.components[RANGE].pixel_format;
            fresh.range_enabled = region.components[RANGE].component_enable != 0 &&
                                  IsKnownRangeFormat(fresh.range_format);
        } else if (!scan_mode) {
            fresh.intensity_enabled = true;
            fresh.intensity_format = PFNC_MONO8;
        }
        std::copy(std::begin(cache_->coordinate[FeatureCache::FormatIndex(fresh.range_format)]),
                  std::end(cache_->coordinate[FeatureCache::FormatIndex(fresh.range_format)]),
                  table);
        timeout_ms = cache_->profile_timeout_ms;
        scan = fresh;
    }
    if (scan_mode && scan.width == 0) return false;  // no width known: nothing to take
    bool taken = false;
    switch (ChooseAcquireKind(scan_mode, scan.height, cache_->coordinate_source.load())) {
        case AcquireKind::IMAGE:
            taken = AcquireImage(scan);
            break;
        case AcquireKind::SINGLE_PROFILE:
            SizeScanPlanes(scan, target);
            taken = AcquireSingleProfile(scan, table);
            break;
        case AcquireKind::TIMESTAMP_SCAN:
            SizeScanPlanes(scan, target);
            taken = AcquireScan(scan, table, SOURCE_TIMESTAMP, timeout_ms);
            break;
        case AcquireKind::SCAN:
            SizeScanPlanes(scan, target);
            taken = AcquireScan(scan, table, cache_->coordinate_source.load(), timeout_ms);
            break;
    }
    if (taken) cache_->SetScanStatus(scan.scan_status);
    return taken;
}

// The planes go to the target in the plain payload's layout when it holds
// them all, aligned for their values: the fill then finds them in place.
void SensorInterface::SizeScanPlanes(ScanData& scan, PlaneTarget target)
{
    const uint64_t width = scan.width;
    const uint64_t points = width * std::max<uint64_t>(scan.height, 1);
    x_values.resize(width);
    z_values.resize(width);
    intensity_values.resize(width);
    const bool mono16 = scan.range_enabled && scan.range_format == PFNC_MONO16;
    const uint64_t intensity_bytes = scan.intensity_enabled ? 2 * points : 0;
    const uint64_t range_bytes =
        scan.range_enabled ? RangeBytesPerPoint(scan.range_format) * points : 0;
    const bool fits = target.data != nullptr && scan.range_enabled && range_bytes <= target.bytes &&
                      intensity_bytes <= target.bytes - range_bytes;
    uint8_t* const range_at = fits ? target.data + intensity_bytes : nullptr;
    const bool direct =
        fits && IsAligned(target.data, alignof(uint16_t)) && IsAligned(range_at, alignof(float));
    // Columns no point reaches stay zero in Mono16.
    if (direct && scan.intensity_enabled) {
        planes_.intensity = reinterpret_cast<uint16_t*>(target.data);
        if (mono16) std::memset(target.data, 0, intensity_bytes);
    } else {
        if (mono16)
            intensity16.assign(points, 0);
        else
            intensity16.resize(points);
        planes_.intensity = intensity16.data();
    }
    scan.intensity = planes_.intensity;
    if (!scan.range_enabled) return;
    if (scan.range_format == PFNC_COORD3D_ABC32F) {
        if (!direct) points32.resize(points * 3);
        planes_.points32 = direct ? reinterpret_cast<float*>(range_at) : points32.data();
        scan.points32 = planes_.points32;
    } else if (scan.range_format == PFNC_COORD3D_ABC16) {
        if (!direct) points16.resize(points * 3);
        planes_.points16 = direct ? reinterpret_cast<uint16_t*>(range_at) : points16.data();
        scan.points16 = planes_.points16;
    } else {
        if (direct)
            std::memset(range_at, 0, range_bytes);
        else
            range16.assign(points, 0);
        planes_.range16 = direct ? reinterpret_cast<uint16_t*>(range_at) : range16.data();
        scan.range16 = planes_.range16;
    }
}

int SensorInterface::ReadProfile(const ScanData& scan, FeatureCache::ScanStatus& status)
{
    ProfileRequest request;
    request.x = x_values.data();
    request.z = z_values.data();
    request.intensity = intensity_values.data();
    request.buffer_size = static_cast<int>(std::min<uint64_t>(scan.width, INT32_MAX));
    request.timeout_ms = PROFILE_TIMEOUT_MS;
    const int result = link_->GetXZIExtended(request);
    if (result < 1) return result;
    // Points the sensor did not send this time are empty, not stale.
    const size_t count = std::min<size_t>(static_cast<size_t>(result), scan.width);
    std::fill(x_values.begin() + count, x_values.end(), 0.0);
    std::fill(z_values.begin() + count, z_values.end(), 0.0);
    std::fill(intensity_values.begin() + count, intensity_values.end(), 0);
    status.encoder = request.encoder;
    status.user_io = request.user_io;
    status.picture_counter = static_cast<uint32_t>(request.picture_count);
    return result;
}

bool SensorInterface::AcquireSingleProfile(ScanData& scan,
                                           const FeatureCache::Coordinate (&table)[3])
{
    FeatureCache::ScanStatus status = cache_->GetScanStatus();
    const int result = ReadProfile(scan, status);
    if (result < 1) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "Single Profile Acquisition failed - Error:" << result;
        return false;
    }
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
        << "Acquired profile - picCnt:" << status.picture_counter;
    ReadScannerStatus(status);
    StoreProfile(scan, table, table[FeatureCache::COORD_B].offset, 1);
    scan.profile_count = 1;
    scan.scan_status = status;
    return true;
}

bool SensorInterface::AcquireScan(ScanData& scan, const FeatureCache::Coordinate (&table)[3],
                                  uint32_t source, uint32_t timeout_ms)
{
    const bool by_timestamp = source == SOURCE_TIMESTAMP;
    const FeatureCache::Coordinate& b_axis = table[FeatureCache::COORD_B];
    FeatureCache::ScanStatus status = cache_->GetScanStatus();
    uint64_t acquired = 0;
    uint32_t base = 0;
    int64_t last_ms = clock_->NowMs();
    while (acquired < scan.height && acquisition_started_.load() && !acquire_cancelled_.load()) {
        const int result = ReadProfile(scan, status);
        if (result < 1) {
            const int64_t since_ms = ElapsedMs(last_ms, clock_->NowMs());
            if (since_ms > timeout_ms) {
                TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                    << "Profile Acquisition failed - TIMEOUT - Error:" << result;
                break;
            }
            if (by_timestamp)
                TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                    << "Profile Acquisition failed - No TIMEOUT - " << since_ms
                    << " - Error:" << result;
            else
                TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                    << "Profile Acquisition failed - No TIMEOUT - Error:" << result;
            // An error returns at once; wait as a read would have, not spin.
            if (result != -1) clock_->SleepForMs(PROFILE_TIMEOUT_MS);
            continue;
        }
        if (by_timestamp)
            TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG)
                << "Acquired profile - picCnt:" << status.picture_counter;
        else
            TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                << "Acquired profile - picCnt:" << status.picture_counter
                << " - encoder: " << status.encoder;
        last_ms = clock_->NowMs();
        ++acquired;
        ReadScannerStatus(status);
        const uint32_t value = by_timestamp                ? status.timestamp
                               : source == SOURCE_FRAME_ID ? status.picture_counter
                                                           : status.encoder;
        if (acquired == 1) base = value;
        const auto delta = static_cast<float>(int64_t{value} - int64_t{base});
        StoreProfile(scan, table, delta * b_axis.scale + b_axis.offset, acquired);
    }
    scan.profile_count = acquired;
    scan.scan_status = status;
    if (!by_timestamp)
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "Scan finished - acquired profiles: " << acquired;
    return acquired > 0;
}

void SensorInterface::StoreProfile(const ScanData& scan, const FeatureCache::Coordinate (&table)[3],
                                   float y, uint64_t row)
{
    const uint64_t width = scan.width;
    const uint64_t first = (row < 2 ? 0 : row - 1) * width;
    const FeatureCache::Coordinate& a_axis = table[FeatureCache::COORD_A];
    const FeatureCache::Coordinate& c_axis = table[FeatureCache::COORD_C];
    const double* const x = x_values.data();
    const double* const z = z_values.data();
    const int* const intensity = intensity_values.data();
    const uint32_t format = scan.range_enabled ? scan.range_format : 0;
    if (format == PFNC_MONO16) {
        for (uint64_t i = 0; i < width; ++i) {
            const int64_t column =
                RoundHalfAway((static_cast<float>(x[i]) - a_axis.offset) / a_axis.scale);
            if (column < 0 || static_cast<uint64_t>(column) >= width) continue;
            const uint64_t at = first + static_cast<uint64_t>(column);
            const bool valid =
                !(x[i] == 0 && z[i] == 0) && InAxis(a_axis, x[i]) && InAxis(c_axis, z[i]);
            planes_.range16[at] =
                valid ? Low16((static_cast<float>(z[i]) - c_axis.offset) / c_axis.scale) : 0;
            planes_.intensity[at] = static_cast<uint16_t>(intensity[i]);
        }
        return;
    }
    const RowKernels::ProfileColumns profile{x, z, intensity, width};
    RowKernels::StoreIntensity(profile, planes_.intensity + first);
    if (format == PFNC_COORD3D_ABC32F)
        RowKernels::StorePoints32(profile, y, planes_.points32 + 3 * first);
    else if (format == PFNC_COORD3D_ABC16)
        RowKernels::StorePoints16(profile, table, Low16(y), planes_.points16 + 3 * first);
}

bool SensorInterface::AcquireImage(ScanData& scan)
{
    uint32_t width = 0;
    uint32_t height = 0;
    if (!link_->TakeCameraImage(image, width, height, IMAGE_TIMEOUT_MS) || image.empty()) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Image Acquisition failed - no image";
        return false;
    }
    if (uint64_t{width} * height > image.size()) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "Image Acquisition failed - " << width << " x " << height
            << " exceeds the bytes received: " << image.size();
        return false;
    }
    scan.image = image.data();
    scan.width = width;
    scan.height = height;
    scan.profile_count = height;
    scan.scan_status = cache_->GetScanStatus();
    return true;
}

bool SensorInterface::ResetFifo()
{
    std::lock_guard<std::mutex> hold(scan_lock_);
    ScanData scan;
    {
        ScopedLock cache_hold(cache_->lock);
        scan.width = std::max<uint32_t>(cache_->region[1].width, 1);
    }
    x_values.resize(scan.width);
    z_values.resize(scan.width);
    intensity_values.resize(scan.width);
    const int64_t start_ms = clock_->NowMs();
    FeatureCache::ScanStatus ignored;
    for (;;) {
        const int result = ReadProfile(scan, ignored);
        if (result == -1) break;
        if (result < -1) {
            TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read Profile Error : " << result;
            return false;
        }
        if (ElapsedMs(start_ms, clock_->NowMs()) > RESET_FIFO_LIMIT_MS) {
            TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                << "Reset Abborted due to Timeout. Acquisition seems to keep running.";
            return false;
        }
    }
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "SDK fifo cleared";
    return true;
}

bool SensorInterface::ReadScannerStatus(FeatureCache::ScanStatus& status)
{
    if (!ReadScanValue("GetTimestamp", &status.timestamp))
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read Timestamp failed.";
    if (!ReadScanValue("GetTemperature", &status.temperature))
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read Temperature failed.";
    if (!ReadScanValue("GetScannerState", &status.scanner_state))
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read Scanner State failed.";
    return true;
}

}  // namespace GenTLCore::ZoTL
