// ProfileDecoder.h: decodes a sensor container (profile, linearized profile,
// camera image, status blocks) into the profile record that the profile reads
// and the named values share, and turns that record into output points.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sensor_library/LinearizationData.h"

namespace SensorBlock {
constexpr uint32_t STATIC = 0x021A0102;
constexpr uint32_t X_ROI = 0x021A0201;
constexpr uint32_t Z_ROI = 0x021A0202;
constexpr uint32_t CAMERA_REGISTERS_QRTA = 0x021A0301;
constexpr uint32_t CAMERA_REGISTERS_QRTB = 0x021A0302;
constexpr uint32_t FPGA_QRTA = 0x021A0401;
constexpr uint32_t FPGA_QRTB = 0x021A0402;
constexpr uint32_t SCALE = 0x021A0801;
constexpr uint32_t MAX_CONTAINER_TOTAL = 8405000;
constexpr uint32_t CAMERA_HEAD = 16;
}  // namespace SensorBlock

// One echo of one column.
struct ScanvoEcho {
    bool valid;
    int32_t raw_z;     // 1/32 pixel
    double z_px;       // raw_z * 0.03125
    uint32_t intensity;
    uint32_t width;    // peak width
    uint32_t reserved;
    double x_mm;
    double z_mm;
};

// X and Z as the sensor scales a linearized profile: value * scale + offset.
struct ScaleParameters {
    bool present = false;
    float x_scale = 1.0f;
    float x_offset = 0.0f;
    float z_scale = 1.0f;
    float z_offset = 0.0f;
};

enum class ContainerContent : uint8_t { None = 0, Camera = 1, Profile = 2, LinearProfile = 3 };

// A block of the decoded container, as offset and length within it.
struct BlockSpan {
    uint32_t offset = 0;
    uint32_t length = 0;  // 0: absent
};

// What a decode found besides the columns; cleared at every decode.
struct ScanvoRecordHead {
    bool decoded = false;  // a profile block was decoded
    bool linearized = false;
    ContainerContent content = ContainerContent::None;
    uint32_t container_tag = 0;
    uint32_t container_total = 0;
    uint8_t echo_mask = 0;   // raw profile: echoes present
    uint8_t echo_count = 0;  // echoes per column
    bool sign = false;
    bool has_z = false;
    bool has_x = false;
    bool has_intensity = false;
    bool has_width = false;
    bool has_reserved = false;
    uint32_t encoder = 0;
    uint8_t user_io = 0;
    uint32_t exposure = 0;  // general block bytes 47 to 49
    uint32_t x_offset = 0;
    uint32_t z_offset = 0;
    uint32_t x_step = 0;
    uint32_t z_step = 0;
    uint8_t encoder_trigger_function = 0;
    // Block copies: shorter blocks leave the rest 0, longer ones are cut.
    std::array<uint8_t, 52> general{};
    std::array<uint8_t, 60> static_block{};
    std::array<uint8_t, 60> x_roi{};
    std::array<uint8_t, 64> z_roi{};
    std::array<uint8_t, 152> status{};  // FPGA block data, behind its head
    bool has_status = false;
    BlockSpan camera;
    BlockSpan profile_block;
    BlockSpan linear_block;
    BlockSpan scale_block;
    BlockSpan end_block;
    uint32_t column_count = 0;
    // A raw profile not yet through the tables, or millimetres that went
    // straight into a reader's arrays: the record's millimetre arrays hold
    // what earlier decodes left, and every millimetre reads as 0.
    bool millimetres_pending = false;
};

// A decoded container with its points. Only the echoes that HasEcho names,
// in the first column_count columns, hold data; Echo gives every other echo
// empty.
struct ScanvoProfileRecord : ScanvoRecordHead {
    static constexpr uint32_t MAX_COLUMNS = 2048;
    static constexpr uint32_t MAX_ECHOES = 4;

    // Echo by echo, one array per value, so the points of one echo lie in
    // runs the linearization and the output read straight through.
    template <typename T>
    using EchoColumns = std::array<std::array<T, MAX_COLUMNS>, MAX_ECHOES>;
    EchoColumns<int32_t> raw_z;  // raw profile: 1/32 pixel; linearized: the Z word
    EchoColumns<int32_t> intensity;
    EchoColumns<int32_t> width;  // peak width
    EchoColumns<int32_t> reserved;
    EchoColumns<double> x_mm;
    EchoColumns<double> z_mm;

    // One echo gathered from the arrays.
    ScanvoEcho Echo(uint32_t column, uint32_t echo) const;
    // An echo's millimetres, MAX_COLUMNS of each.
    const double* XMm(uint32_t echo) const;
    const double* ZMm(uint32_t echo) const;
    void SetEchoForTest(uint32_t column, uint32_t echo, const ScanvoEcho& value);

    bool HasEcho(uint32_t echo) const
    {
        return linearized ? echo < echo_count : ((echo_mask >> echo) & 1) != 0;
    }
    uint16_t PictureCounter() const;
    uint32_t TimeStamp() const;
    // Camera image bytes of the container, or 0.
    uint32_t ImageBytes() const;
};

// Where one emitted point goes; null arrays are skipped.
struct PointArrays {
    double* x = nullptr;
    double* z = nullptr;
    int32_t* intensity = nullptr;
    int32_t* width = nullptr;
    int32_t capacity = 0;
};

// Keeps the scale parameters, which a container may carry for the ones that
// follow it, where the columns of the last profile it linearized lie in the
// tables, and which reader's arrays its last decode wrote into (borrowed for
// that read only).
//
// Threads: one at a time (its owner's decode lock).
class ProfileDecoder {
public:
    ProfileDecoder();

    // Decodes a container into `record`; false, with the record cleared,
    // for anything that is not a well-formed container. A one-echo profile
    // goes (but for a raw profile's millimetres) into `direct`'s arrays when
    // they hold it whole; then only LinearizeAndEmit, given the same arrays,
    // emits it.
    bool DecodeProfileContainer(const uint8_t* container, uint32_t size, bool packed_intensity,
                                ScanvoProfileRecord& record, const PointArrays& direct = {});

    // Millimetres of every valid echo of a raw profile through the tables.
    void LinearizeProfile(const LinearizationData& data, ScanvoProfileRecord& record);
    // LinearizeProfile (with data) then EmitPoints, the same points with
    // fewer copies.
    int32_t LinearizeAndEmit(const LinearizationData* data, ScanvoProfileRecord& record,
                             bool sort_x, const PointArrays& out);

    // Writes the points in column order (or by ascending X with sort_x);
    // returns how many were written.
    int32_t EmitPoints(const ScanvoProfileRecord& record, bool sort_x, const PointArrays& out);

    const ScaleParameters& Scale() const { return scale; }
    void ForgetScale() { scale = ScaleParameters(); }

private:
    struct SortEntry {
        double x;
        int32_t column;
    };

    bool WalkBlocks(const uint8_t* container, uint32_t size, ScanvoProfileRecord& record);
    bool TakeBlock(uint32_t tag, const uint8_t* block, BlockSpan span, ScanvoProfileRecord& record);
    void DecodeRawProfile(const uint8_t* block, uint32_t length, ScanvoProfileRecord& record,
                          const PointArrays& direct);
    void DecodeRawPoints(const uint8_t* points, const uint32_t (&bytes)[4],
                         ScanvoProfileRecord& record, const PointArrays& direct);
    void DecodeLinearProfile(const uint8_t* block, uint32_t length, bool packed_intensity,
                             ScanvoProfileRecord& record, const PointArrays& direct);
    static void DecodeStatusBlock(const uint8_t* block, uint32_t length, ScanvoProfileRecord& record);
    static void DecodeGeneralFields(ScanvoProfileRecord& record);
    static void ClearRecord(ScanvoProfileRecord& record);
    // Echo 1 or 2 of the column holds a point.
    static bool HasPoint(const ScanvoProfileRecord& record, uint32_t column);
    // The columns with a point in echo 1 or 2, into sort_buffer, by X; how
    // many, or 0 when they are in column order already.
    uint32_t SortColumnsByX(const ScanvoProfileRecord& record);
    void LinearizeEcho(const LinearizationData& data, const ScanvoProfileRecord& record,
                       uint32_t echo, double* x_mm, double* z_mm);
    // One echo's arrays, wherever they lie.
    struct EchoArrays {
        const double* x;
        const double* z;
        const int32_t* intensity;
        const int32_t* width;
    };
    struct EchoTargets {
        double* x = nullptr;
        double* z = nullptr;
        int32_t* intensity = nullptr;
        int32_t* width = nullptr;
    };
    // The arrays of `direct` that can take a one-echo profile whole.
    static EchoTargets DirectTargets(const PointArrays& direct, uint32_t columns);
    static int32_t EmitEcho(const EchoArrays& from, uint32_t columns, const PointArrays& out);
    // Into the record, what the last decode put into a reader's arrays.
    void KeepInRecord(ScanvoProfileRecord& record);
    // The echo of a one-echo profile.
    static uint32_t EchoOfOne(const ScanvoProfileRecord& record);

    ScaleParameters scale;
    LinearizationData::ColumnCache column_cache;
    std::vector<SortEntry> sort_buffer;  // MAX_COLUMNS entries, sized once
    std::vector<int32_t> column_order;   // MAX_COLUMNS entries, sized once
    // Where the last decode put its one echo's arrays, when not into the
    // record: a reader's arrays, for that read only.
    EchoTargets direct_at;
};
