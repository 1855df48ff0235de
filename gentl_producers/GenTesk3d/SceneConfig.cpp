#include "gentl_producers/GenTesk3d/SceneConfig.h"

#include "gentl_core/GenDCProtocolSupport.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr uint64_t INTENSITY_TYPE_ID = 1;
constexpr uint64_t RANGE_TYPE_ID = 4;
constexpr uint64_t SIMPLE_CHUNK_BYTES = 12;

uint64_t IntensityBytesPerPoint(const SceneConfig& scene)
{
    if (!scene.intensity_enabled) return 0;
    return scene.intensity_format == PFNC_MONO8 ? 1 : 2;
}

}  // namespace

uint64_t SceneConfig::ChunkOffset() const
{
    return (IntensityBytesPerPoint(*this) + (range_enabled ? RANGE_RESERVED_BYTES : 0)) * width *
           Rows();
}

uint64_t RangeBytesPerPoint(uint32_t range_format)
{
    if (range_format == PFNC_COORD3D_ABC32F) return 12;
    return range_format == PFNC_COORD3D_ABC16 ? 6 : 2;
}

size_t BuildSceneDescriptor(const SceneConfig& scene, uint8_t* target, size_t target_bytes,
                            uint64_t container_id, uint16_t variable_fields,
                            const std::vector<uint64_t>& flow_sizes)
{
    GenDCContainerDescription description;
    description.SetContainerID(container_id);
    description.SetVariableFields(variable_fields);
    description.SetFlowTable(flow_sizes.empty() ? std::vector<uint64_t>{0, 0} : flow_sizes);
    description.SelectDataFlow();

    const uint64_t points = scene.width * scene.Rows();
    const auto size_x = static_cast<uint32_t>(scene.width);
    const auto size_y = static_cast<uint32_t>(scene.Rows());
    uint64_t offset = 0;
    if (scene.intensity_enabled) {
        offset = IntensityBytesPerPoint(scene) * points;
        description.AddImageComponent(0, offset, INTENSITY_TYPE_ID, size_x, size_y,
                                      scene.intensity_format);
    }
    if (scene.range_enabled) {
        description.AddImageComponent(offset, points * RangeBytesPerPoint(scene.range_format),
                                      RANGE_TYPE_ID, size_x, size_y, scene.range_format);
    }
    const int simple_chunks = int{scene.chunk_picture_counter_enabled} +
                              int{scene.chunk_encoder_enabled} + int{scene.chunk_user_io_enabled};
    if (scene.chunks_active && simple_chunks > 0)
        description.AddDataComponent(scene.ChunkOffset(), SIMPLE_CHUNK_BYTES * simple_chunks);
    return description.WriteDescriptor(target, target_bytes);
}

}  // namespace GenTLCore::ZoTL
