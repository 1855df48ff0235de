// SceneConfig.h: the layout of one scan (size, components, formats, chunks,
// GenDC), the pixel formats it uses, and the GenDC descriptor that describes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace GenTLCore::ZoTL {

constexpr uint32_t PFNC_MONO8 = 0x01080001;
constexpr uint32_t PFNC_MONO10 = 0x01100003;
constexpr uint32_t PFNC_MONO16 = 0x01100007;
constexpr uint32_t PFNC_COORD3D_ABC16 = 0x023000B9;
constexpr uint32_t PFNC_COORD3D_ABC32F = 0x026000C0;

// Bytes the chunk data of one scan may take: trailer and every chunk.
constexpr uint64_t CHUNK_BYTES = 204;
// Every range format reserves this much per point in the payload.
constexpr uint64_t RANGE_RESERVED_BYTES = 12;
// The variable-fields value of the descriptor announced before acquisition.
constexpr uint16_t PREFETCH_VARIABLE_FIELDS = 55;

// A plain value, copied under FeatureCache's lock and then used without it.
struct SceneConfig {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t profile_count = 0;  // profiles acquired; 0 for a sizing scene
    bool chunks_active = false;
    bool chunk_scan3d_enabled = false;
    bool chunk_picture_counter_enabled = false;
    bool chunk_encoder_enabled = false;
    bool chunk_user_io_enabled = false;
    bool intensity_enabled = false;
    uint32_t intensity_format = 0;
    uint32_t range_enabled = 0;
    uint32_t range_format = 0;
    bool gendc_mode = false;

    // Profiles the payload describes: the acquired count, or the height.
    uint64_t Rows() const { return profile_count != 0 ? profile_count : height; }
    // Where the chunk data begins: intensity and the range's reservation.
    uint64_t ChunkOffset() const;
};

// Bytes per point of a range format in the payload.
uint64_t RangeBytesPerPoint(uint32_t range_format);

// The scene's GenDC descriptor, its parts in flow 1 after a descriptor flow
// 0. Writes it into `target` only when given and large enough; returns its
// size either way. Empty `flow_sizes` stand for two flows of unknown size.
size_t BuildSceneDescriptor(const SceneConfig& scene, uint8_t* target, size_t target_bytes,
                            uint64_t container_id, uint16_t variable_fields,
                            const std::vector<uint64_t>& flow_sizes);

}  // namespace GenTLCore::ZoTL
