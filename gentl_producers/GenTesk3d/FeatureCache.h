// FeatureCache.h: one open sensor's scene and feature settings as the
// producer last set or read them, and the buffer sizes they imply.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "gentl_core/SyncObjects.h"
#include "gentl_producers/GenTesk3d/SceneConfig.h"

namespace GenTLCore::ZoTL {

// Created by the local device at open and shared (SharedPtr) with its
// SensorInterface, remote device and data stream.
//
// Threads: consumer threads (register accesses, SensorInterface operations)
// and the acquisition thread, which takes `lock` once at its start to copy a
// SceneConfig and afterwards reads only the atomics and scan status.
// Lock order: SensorInterface::lock_, then `lock`; `status_lock` is a leaf.
class FeatureCache {
public:
    enum TriggerIndex : uint32_t { LINE_START = 0, FRAME_START = 1, ACQUISITION_ACTIVE = 2 };
    static constexpr uint32_t SOURCE_SOFTWARE = 7;
    static constexpr uint32_t SIGNAL_FIRST_AND_SECOND = 3;

    struct Trigger {
        bool trigger_mode = false;
        uint32_t trigger_source = SOURCE_SOFTWARE;
    };
    struct Line {
        uint32_t is_output = 0;
        uint32_t reserved = 0;
        uint32_t line_source = 0;
        uint32_t user_output_value = 0;
        uint32_t output_function = 0;
        uint8_t line_inverter = 0;
        uint8_t input_load = 0;
    };
    struct OpaqueEntry {
        std::string first;
        std::string second;
        uint64_t value = 0;
        std::vector<uint8_t> block;
    };
    struct Component {
        uint32_t component_enable = 0;
        uint32_t pixel_format = 0;
    };
    struct Region {
        uint32_t region_mode = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t offset_x = 0;
        uint32_t offset_y = 0;
        uint32_t reserved = 0;
        std::vector<Component> components;
    };
    struct Coordinate {
        float scale = 0, scale_min = 0, scale_max = 0;
        float offset = 0, offset_min = 0, offset_max = 0;
        float reserved[2] = {0, 0};
        float axis_min = 0, axis_max = 0;
    };
    struct ScanStatus {
        uint32_t encoder = 0;
        uint32_t user_io = 0;
        uint32_t picture_counter = 0;
        uint32_t timestamp = 0;
        uint32_t temperature = 0;
        char scanner_state = 0;
    };
    // Range formats index the coordinate table.
    enum FormatSlot : uint32_t { SLOT_ABC32F = 0, SLOT_ABC16 = 1, SLOT_MONO16 = 2 };
    enum CoordinateIndex : uint32_t { COORD_A = 0, COORD_B = 1, COORD_C = 2 };

    FeatureCache();
    FeatureCache(const FeatureCache&) = delete;
    FeatureCache& operator=(const FeatureCache&) = delete;

    // Sizing: each takes `lock`.
    SceneConfig GetMaxScenConfig() const;
    uint64_t ComputeMaxDataSize() const;
    uint64_t ComputeMaxDescriptorSize() const;
    std::vector<uint64_t> ComputeMaxFlowSizes() const;
    // Empty without GenDC.
    std::vector<uint64_t> GetFlowSizes() const;
    std::vector<uint8_t> GetFlowMappingTable() const;
    std::vector<uint8_t> GetPrefetchDescriptor() const;
    uint64_t GetPayloadSize() const;

    // The selected component: region 1's by component_selector, else region 0's.
    // Each takes `lock`. A selector past region 1's components reads 0 and
    // sets nothing. The sets always write region 1, the only region with
    // a choice of components.
    uint32_t GetPixelFormat() const { return SelectedComponentField(&Component::pixel_format); }
    void SetPixelFormat(uint32_t format)
    {
        SetScanComponentField(&Component::pixel_format, format);
    }
    uint32_t GetComponentEnable() const
    {
        return SelectedComponentField(&Component::component_enable);
    }
    void SetComponentEnable(uint32_t enable)
    {
        SetScanComponentField(&Component::component_enable, enable);
    }
    uint32_t GetComponentSelector() const;
    void SetComponentSelector(uint32_t selector);
    uint32_t GetCoordinateSource() const { return coordinate_source.load(); }
    void SetCoordinateSource(uint32_t source);

    // The record of coordinate_selector in the current range format's table;
    // zeros past the table.
    Coordinate GetSelectedCoordinate() const;
    // False, changing nothing, outside the record's bounds. CoordinateB is
    // shared by every format.
    bool SetCoordinateScale(float scale)
    {
        return SetCoordinateValue(&Coordinate::scale, &Coordinate::scale_min,
                                  &Coordinate::scale_max, scale);
    }
    bool SetCoordinateOffset(float offset)
    {
        return SetCoordinateValue(&Coordinate::offset, &Coordinate::offset_min,
                                  &Coordinate::offset_max, offset);
    }
    bool IsCoordinateAdjustable() const;
    static uint32_t FormatIndex(uint32_t pixel_format);
    bool IsTriggerLocked() const;

    // Trigger and line records by index, each under `lock`. Selectors keep
    // what a register write gave them, so outside the array a record reads
    // as zeros and a change does nothing.
    Trigger GetTrigger(uint32_t index) const { return CopyAt(trigger, index, Trigger{false, 0}); }
    Line GetLine(uint32_t index) const { return CopyAt(line, index, Line{}); }
    uint32_t GetLineFunction(uint32_t index) const { return CopyAt(line_function, index, 0u); }
    template <class Change>
    void UpdateTrigger(uint32_t index, Change change)
    {
        ScopedLock hold(lock);
        if (index < trigger.size()) change(trigger[index]);
    }
    template <class Change>
    void UpdateLine(uint32_t index, Change change)
    {
        ScopedLock hold(lock);
        if (index < line.size()) change(line[index]);
    }

    // Derived maxima, stored and returned; differences never below 0. Each
    // takes `lock`.
    uint64_t ComputeWidthMax();
    uint64_t ComputeHeightMax();
    uint64_t ComputeOffsetXMax();
    uint64_t ComputeOffsetYMax();

    ScanStatus GetScanStatus() const;
    void SetScanStatus(const ScanStatus& status);

    // Guards the fields below it up to the atomics.
    mutable Mutex lock;
    std::array<Trigger, 3> trigger{};
    uint32_t encoder_reset_source = 0;
    uint32_t encoder_reset_activation = 0;
    std::array<Line, 4> line{};
    std::array<OpaqueEntry, 10> opaque{};
    std::array<Region, 2> region{};
    Coordinate coordinate[3][3]{};
    float field_width_start = 0;
    std::array<uint32_t, 4> line_function{};
    std::array<uint8_t, 4> line_status{};
    float acquisition_line_time = 0;  // microseconds per profile
    uint32_t max_fps = 0;
    uint32_t profile_timeout_ms = 1000;
    uint16_t decimation_vertical = 1;  // never 0: SensorInterface refuses it
    uint16_t decimation_horizontal = 1;
    uint64_t width_max = 0;
    uint64_t height_max = 0;
    uint64_t sensor_height = 0;
    uint64_t sensor_width = 0;
    uint64_t offset_x_max = 0;
    uint64_t offset_y_max = 0;

    // Read by the acquisition thread while consumer threads write them.
    std::atomic<bool> chunk_scan3d_enabled{true};
    std::atomic<bool> chunk_picture_counter_enabled{true};
    std::atomic<bool> chunk_encoder_enabled{true};
    std::atomic<bool> chunk_user_io_enabled{true};
    std::atomic<bool> gendc_mode{true};
    std::atomic<bool> chunks_active{true};
    std::atomic<uint32_t> component_selector{0};
    std::atomic<uint32_t> chunk_component_selector{0};
    std::atomic<uint32_t> trigger_selector{0};
    std::atomic<uint32_t> region_selector{0};
    std::atomic<uint32_t> coordinate_selector{COORD_B};
    std::atomic<uint32_t> coordinate_source{1};
    std::atomic<uint32_t> line_selector{0};
    std::atomic<uint32_t> encoder_selector{0};
    std::atomic<uint32_t> signal_enable{0};

private:
    template <class Record, size_t N>
    Record CopyAt(const std::array<Record, N>& records, uint32_t index, Record outside) const
    {
        ScopedLock hold(lock);
        return index < N ? records[index] : outside;
    }
    // Under `lock`.
    uint32_t SelectedComponentField(uint32_t Component::*field) const;
    void SetScanComponentField(uint32_t Component::*field, uint32_t value);
    // The coordinate table's format index for the range component's format.
    uint32_t RangeSlot() const;
    bool SetCoordinateValue(float Coordinate::*value, float Coordinate::*low,
                            float Coordinate::*high, float set);

    mutable std::mutex status_lock;
    ScanStatus scan_status;  // guarded by status_lock
};

}  // namespace GenTLCore::ZoTL
