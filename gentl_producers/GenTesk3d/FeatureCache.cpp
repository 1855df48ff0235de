#include "gentl_producers/GenTesk3d/FeatureCache.h"

#include <algorithm>

#include "gentl_core/GenDCProtocolSupport.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr size_t INTENSITY = 0;
constexpr size_t RANGE = 1;

uint64_t ClampedDifference(uint64_t total, uint64_t part)
{
    return total > part ? total - part : 0;
}

uint64_t Divided(uint64_t value, uint16_t decimation)
{
    return value / std::max<uint16_t>(decimation, 1);
}

}  // namespace

FeatureCache::FeatureCache()
{
    trigger[ACQUISITION_ACTIVE].trigger_source = 4;
    region[0].components = {{1, PFNC_MONO8}};
    region[1].components = {{1, PFNC_MONO10}, {1, PFNC_COORD3D_ABC32F}};
    region[1].height = 1;
    region[0].region_mode = 1;
}

SceneConfig FeatureCache::GetMaxScenConfig() const
{
    ScopedLock hold(lock);
    const Region& scan = region[1];
    SceneConfig scene;
    scene.width = scan.width;
    scene.height = scan.height;
    scene.chunks_active = chunks_active.load();
    scene.chunk_scan3d_enabled = chunk_scan3d_enabled.load();
    scene.chunk_picture_counter_enabled = chunk_picture_counter_enabled.load();
    scene.chunk_encoder_enabled = chunk_encoder_enabled.load();
    scene.chunk_user_io_enabled = chunk_user_io_enabled.load();
    scene.intensity_enabled = scan.region_mode == 0 || scan.components[INTENSITY].component_enable;
    scene.intensity_format =
        scan.region_mode != 0 ? scan.components[INTENSITY].pixel_format : PFNC_MONO8;
    scene.range_enabled = scan.components[RANGE].component_enable;
    scene.range_format = scan.components[RANGE].pixel_format;
    scene.gendc_mode = gendc_mode.load();
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "[BDataStream] GetMaxScenConfig - width:" << scene.width << " height: " << scene.height
        << " ChunkActive:" << scene.chunks_active << " Intensity enable:" << scene.intensity_enabled
        << " Range enable:" << scene.range_enabled << " GenDC:" << scene.gendc_mode;
    return scene;
}

uint64_t FeatureCache::ComputeMaxDataSize() const
{
    ScopedLock hold(lock);
    const bool scan = region[1].region_mode != 0 || region[0].region_mode == 0;
    const Region& used = scan ? region[1] : region[0];
    uint64_t per_point = 0;
    if (used.components[INTENSITY].component_enable) per_point = scan ? 2 : 1;
    if (scan && used.components[RANGE].component_enable) per_point += RANGE_RESERVED_BYTES;
    const uint64_t size =
        uint64_t{used.width} * used.height * per_point + (chunks_active.load() ? CHUNK_BYTES : 0);
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG) << "[BDataStream] Compute Max Data Size:" << size;
    return size;
}

uint64_t FeatureCache::ComputeMaxDescriptorSize() const
{
    const SceneConfig scene = GetMaxScenConfig();
    if (!scene.gendc_mode) {
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
            << "[BDataStream] Compute Max Descriptor Size: No GenDC";
        return 0;
    }
    const uint64_t size = BuildSceneDescriptor(scene, nullptr, 0, 0, 0, {});
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "[BDataStream] Compute Max Descriptor Size:" << size;
    return size;
}

std::vector<uint64_t> FeatureCache::ComputeMaxFlowSizes() const
{
    ScopedLock hold(lock);
    const std::vector<uint64_t> sizes{ComputeMaxDescriptorSize(), ComputeMaxDataSize()};
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "[BDataStream] Compute Max Flow Sizes - flow:" << sizes[0] << " " << sizes[1]
        << " num_flows:" << sizes.size();
    return sizes;
}

std::vector<uint64_t> FeatureCache::GetFlowSizes() const
{
    ScopedLock hold(lock);
    return gendc_mode.load() ? ComputeMaxFlowSizes() : std::vector<uint64_t>{};
}

std::vector<uint8_t> FeatureCache::GetFlowMappingTable() const
{
    ScopedLock hold(lock);
    if (!gendc_mode.load()) return {};
    return BuildFlowMappingTable(ComputeMaxFlowSizes());
}

std::vector<uint8_t> FeatureCache::GetPrefetchDescriptor() const
{
    ScopedLock hold(lock);
    if (!gendc_mode.load()) return {};
    const SceneConfig scene = GetMaxScenConfig();
    const std::vector<uint64_t> flows = ComputeMaxFlowSizes();
    const size_t expected =
        BuildSceneDescriptor(scene, nullptr, 0, 0, PREFETCH_VARIABLE_FIELDS, flows);
    std::vector<uint8_t> descriptor(expected, 0);
    const size_t written = BuildSceneDescriptor(scene, descriptor.data(), descriptor.size(), 0,
                                                PREFETCH_VARIABLE_FIELDS, flows);
    TL_ASSERT_MSG(written == expected, "act_descr_size == exp_descr_size");
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG)
        << "[BDataStream] Get Prefetch Descriptor - Size:" << descriptor.size();
    return descriptor;
}

uint64_t FeatureCache::GetPayloadSize() const
{
    ScopedLock hold(lock);
    return ComputeMaxDataSize() + (gendc_mode.load() ? ComputeMaxDescriptorSize() : 0);
}

// A selector past the components reads 0 and changes nothing: clamping it
// would reach another component.
uint32_t FeatureCache::SelectedComponentField(uint32_t Component::*field) const
{
    ScopedLock hold(lock);
    if (region_selector.load() != 1) return region[0].components[INTENSITY].*field;
    const uint32_t index = component_selector.load();
    const std::vector<Component>& scan = region[1].components;
    return index < scan.size() ? scan[index].*field : 0;
}

void FeatureCache::SetScanComponentField(uint32_t Component::*field, uint32_t value)
{
    ScopedLock hold(lock);
    const uint32_t index = component_selector.load();
    if (index < region[1].components.size()) region[1].components[index].*field = value;
}

uint32_t FeatureCache::GetComponentSelector() const
{
    return region_selector.load() == 0 ? 0 : component_selector.load();
}

void FeatureCache::SetComponentSelector(uint32_t selector)
{
    if (region_selector.load() == 1) component_selector = selector;
}

void FeatureCache::SetCoordinateSource(uint32_t source)
{
    if (coordinate_selector.load() == COORD_B) coordinate_source = source;
}

uint32_t FeatureCache::FormatIndex(uint32_t pixel_format)
{
    if (pixel_format == PFNC_COORD3D_ABC16) return SLOT_ABC16;
    return pixel_format == PFNC_MONO16 ? SLOT_MONO16 : SLOT_ABC32F;
}

uint32_t FeatureCache::RangeSlot() const
{
    return FormatIndex(region[1].components[RANGE].pixel_format);
}

// A selector past the coordinates reads zeros and changes nothing.
FeatureCache::Coordinate FeatureCache::GetSelectedCoordinate() const
{
    ScopedLock hold(lock);
    const uint32_t axis = coordinate_selector.load();
    return axis <= COORD_C ? coordinate[RangeSlot()][axis] : Coordinate{};
}

bool FeatureCache::SetCoordinateValue(float Coordinate::*value, float Coordinate::*low,
                                      float Coordinate::*high, float set)
{
    ScopedLock hold(lock);
    const uint32_t axis = coordinate_selector.load();
    if (axis > COORD_C) return false;
    Coordinate& selected = coordinate[RangeSlot()][axis];
    if (!(set >= selected.*low && set <= selected.*high)) return false;
    if (axis == COORD_B) {
        for (auto& format : coordinate) format[COORD_B].*value = set;
    } else {
        selected.*value = set;
    }
    return true;
}

bool FeatureCache::IsCoordinateAdjustable() const
{
    const uint32_t selected = coordinate_selector.load();
    if (selected == COORD_B) return false;
    ScopedLock hold(lock);
    return !(selected == COORD_A && region[1].components[RANGE].pixel_format == PFNC_MONO16);
}

bool FeatureCache::IsTriggerLocked() const
{
    const uint32_t selected = trigger_selector.load();
    ScopedLock hold(lock);
    if (selected == ACQUISITION_ACTIVE) return trigger[FRAME_START].trigger_mode;
    return selected == FRAME_START && trigger[ACQUISITION_ACTIVE].trigger_mode;
}

uint64_t FeatureCache::ComputeWidthMax()
{
    ScopedLock hold(lock);
    width_max = ClampedDifference(Divided(sensor_width, decimation_horizontal), region[0].offset_x);
    if (region_selector.load() == 1 && signal_enable.load() == SIGNAL_FIRST_AND_SECOND)
        width_max *= 2;
    return width_max;
}

uint64_t FeatureCache::ComputeHeightMax()
{
    ScopedLock hold(lock);
    return height_max =
               ClampedDifference(Divided(sensor_height, decimation_vertical), region[0].offset_y);
}

uint64_t FeatureCache::ComputeOffsetXMax()
{
    ScopedLock hold(lock);
    return offset_x_max =
               ClampedDifference(Divided(sensor_width, decimation_horizontal), region[0].width);
}

uint64_t FeatureCache::ComputeOffsetYMax()
{
    ScopedLock hold(lock);
    return offset_y_max =
               ClampedDifference(Divided(sensor_height, decimation_vertical), region[0].height);
}

FeatureCache::ScanStatus FeatureCache::GetScanStatus() const
{
    std::lock_guard<std::mutex> hold(status_lock);
    return scan_status;
}

void FeatureCache::SetScanStatus(const ScanStatus& status)
{
    std::lock_guard<std::mutex> hold(status_lock);
    scan_status = status;
}

}  // namespace GenTLCore::ZoTL
