#include "sensor_library/ProfileDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sensor_library/ColumnKernels.h"
#include "sensor_library/FrameAssembler.h"
#include "sensor_library/LinearizationData.h"
#include "sensor_library/LittleEndian.h"

using LittleEndian::LoadFloat;
using LittleEndian::LoadU16;
using LittleEndian::LoadU24;
using LittleEndian::LoadU32;

namespace {

constexpr uint32_t RAW_HEAD = 20;
constexpr uint32_t LINEAR_HEAD = 56;
constexpr uint32_t SCALE_BLOCK_MIN = 24;
constexpr uint32_t ROI_OFFSET_LIMIT = 2048;
constexpr uint32_t ROI_STEP_LIMIT = 2047;
constexpr uint8_t ENCODER_HTL_FUNCTION = 5;

template <std::size_t N>
void CopyBlock(std::array<uint8_t, N>& to, const uint8_t* from, uint32_t length)
{
    to.fill(0);
    std::memcpy(to.data(), from, std::min<std::size_t>(N, length));
}

uint32_t Clamp(uint32_t value, uint32_t limit)
{
    return value >= limit ? 0 : value;
}

uint32_t Bit(uint8_t byte, int bit)
{
    return (byte >> bit) & 1u;
}

// A point field of `bytes` bytes; missing bytes read as 0.
struct Field {
    uint32_t b0;
    uint32_t b1;
};

Field ReadField(const uint8_t*& p, uint32_t bytes)
{
    const Field field{bytes > 0 ? p[0] : 0u, bytes > 1 ? p[1] : 0u};
    p += bytes;
    return field;
}

// What a raw profile's millimetres read as before its linearization.
constexpr std::array<double, ScanvoProfileRecord::MAX_COLUMNS> NO_MILLIMETRES{};

}  // namespace

ScanvoEcho ScanvoProfileRecord::Echo(uint32_t column, uint32_t echo) const
{
    if (column >= column_count || !HasEcho(echo)) return ScanvoEcho{};
    const int32_t z = raw_z[echo][column];
    return ScanvoEcho{true,
                      z,
                      linearized ? double(z) : z * 0.03125,
                      static_cast<uint32_t>(intensity[echo][column]),
                      static_cast<uint32_t>(width[echo][column]),
                      static_cast<uint32_t>(reserved[echo][column]),
                      XMm(echo)[column],
                      ZMm(echo)[column]};
}

const double* ScanvoProfileRecord::XMm(uint32_t echo) const
{
    return millimetres_pending ? NO_MILLIMETRES.data() : x_mm[echo].data();
}

const double* ScanvoProfileRecord::ZMm(uint32_t echo) const
{
    return millimetres_pending ? NO_MILLIMETRES.data() : z_mm[echo].data();
}

void ScanvoProfileRecord::SetEchoForTest(uint32_t column, uint32_t echo, const ScanvoEcho& value)
{
    millimetres_pending = false;  // the test's millimetres stand in for the tables'
    raw_z[echo][column] = value.raw_z;
    intensity[echo][column] = static_cast<int32_t>(value.intensity);
    width[echo][column] = static_cast<int32_t>(value.width);
    reserved[echo][column] = static_cast<int32_t>(value.reserved);
    x_mm[echo][column] = value.x_mm;
    z_mm[echo][column] = value.z_mm;
}

uint16_t ScanvoProfileRecord::PictureCounter() const
{
    return static_cast<uint16_t>(LoadU16(general.data() + 8));
}

uint32_t ScanvoProfileRecord::TimeStamp() const
{
    return LoadU32(general.data() + 10);
}

uint32_t ScanvoProfileRecord::ImageBytes() const
{
    return camera.length > SensorBlock::CAMERA_HEAD ? camera.length - SensorBlock::CAMERA_HEAD : 0;
}

ProfileDecoder::ProfileDecoder()
    : sort_buffer(ScanvoProfileRecord::MAX_COLUMNS), column_order(ScanvoProfileRecord::MAX_COLUMNS)
{
}

// The arrays keep what earlier decodes left: only the head says which
// echoes and columns hold data.
void ProfileDecoder::ClearRecord(ScanvoProfileRecord& record)
{
    static_cast<ScanvoRecordHead&>(record) = ScanvoRecordHead();
}

bool ProfileDecoder::DecodeProfileContainer(const uint8_t* container, uint32_t size,
                                            bool packed_intensity, ScanvoProfileRecord& record,
                                            const PointArrays& direct)
{
    ClearRecord(record);
    direct_at = EchoTargets();
    if (container == nullptr || size < 16 || LoadU32(container) != SensorFrame::CONTAINER_ID)
        return false;
    record.container_tag = SensorFrame::CONTAINER_ID;
    record.container_total = LoadU32(container + 4);
    if (record.container_total > SensorBlock::MAX_CONTAINER_TOTAL || !WalkBlocks(container, size, record)) {
        ClearRecord(record);
        return false;
    }
    record.x_offset = Clamp(LoadU16(record.x_roi.data() + 10), ROI_OFFSET_LIMIT);
    record.x_step = Clamp(LoadU16(record.x_roi.data() + 14), ROI_STEP_LIMIT);
    record.z_offset = Clamp(LoadU16(record.z_roi.data() + 10), ROI_OFFSET_LIMIT);
    record.z_step = Clamp(LoadU16(record.z_roi.data() + 14), ROI_STEP_LIMIT);
    if (record.content == ContainerContent::Profile) {
        DecodeGeneralFields(record);
        DecodeRawProfile(container + record.profile_block.offset, record.profile_block.length, record,
                         direct);
    } else if (record.content == ContainerContent::LinearProfile) {
        DecodeGeneralFields(record);
        DecodeLinearProfile(container + record.linear_block.offset, record.linear_block.length,
                            packed_intensity, record, direct);
    }
    return true;
}

// Every block must lie inside the container; the walk ends where the
// declared total says, or at the end block of a container without a total.
bool ProfileDecoder::WalkBlocks(const uint8_t* container, uint32_t size, ScanvoProfileRecord& record)
{
    const uint32_t declared = record.container_total;
    uint32_t position = 8;
    for (;;) {
        if (size - position < 8)
            return false;
        const uint8_t* block = container + position;
        const uint32_t tag = LoadU32(block);
        const uint32_t length = LoadU32(block + 4);
        if (length < 8 || length > size - position)
            return false;
        if (!TakeBlock(tag, block, BlockSpan{position, length}, record))
            return false;
        position += length;
        if (position == declared || (declared == 0 && tag == SensorFrame::END_BLOCK))
            return true;
    }
}

bool ProfileDecoder::TakeBlock(uint32_t tag, const uint8_t* block, BlockSpan span,
                               ScanvoProfileRecord& record)
{
    switch (tag) {
    case SensorFrame::GENERAL_BLOCK:
        CopyBlock(record.general, block, span.length);
        break;
    case SensorBlock::STATIC:
        CopyBlock(record.static_block, block, span.length);
        break;
    case SensorBlock::X_ROI:
        CopyBlock(record.x_roi, block, span.length);
        break;
    case SensorBlock::Z_ROI:
        CopyBlock(record.z_roi, block, span.length);
        break;
    case SensorBlock::FPGA_QRTA:
    case SensorBlock::FPGA_QRTB:
        DecodeStatusBlock(block, span.length, record);
        break;
    case SensorFrame::CAMERA_BLOCK:
        record.camera = span;
        if (record.content == ContainerContent::None)
            record.content = ContainerContent::Camera;
        break;
    case SensorFrame::PROFILE_BLOCK:
        record.profile_block = span;
        record.content = ContainerContent::Profile;
        break;
    case SensorFrame::LINEAR_PROFILE_BLOCK:
        record.linear_block = span;
        record.content = ContainerContent::LinearProfile;
        break;
    case SensorBlock::SCALE:
        record.scale_block = span;
        if (span.length >= SCALE_BLOCK_MIN)
            scale = ScaleParameters{true, LoadFloat(block + 8), LoadFloat(block + 12),
                                    LoadFloat(block + 16), LoadFloat(block + 20)};
        break;
    case SensorFrame::END_BLOCK:
        record.end_block = span;
        break;
    case SensorFrame::TEXT_BLOCK:
    case SensorBlock::CAMERA_REGISTERS_QRTA:
    case SensorBlock::CAMERA_REGISTERS_QRTB:
        break;
    default:
        return false;
    }
    return true;
}

void ProfileDecoder::DecodeGeneralFields(ScanvoProfileRecord& record)
{
    const uint8_t* g = record.general.data();
    const bool htl = record.status[128] == ENCODER_HTL_FUNCTION &&
                     record.status[134] == ENCODER_HTL_FUNCTION;
    record.encoder = LoadU32(g + (htl ? 14 : 22));
    record.user_io = static_cast<uint8_t>(Bit(g[30], 1) | Bit(g[30], 5) << 1 | Bit(g[31], 1) << 2 |
                                          Bit(g[31], 5) << 3 | (g[34] & 0x0Fu) << 4);
    record.exposure = LoadU24(g + 47);
}

void ProfileDecoder::DecodeStatusBlock(const uint8_t* block, uint32_t length,
                                       ScanvoProfileRecord& record)
{
    CopyBlock(record.status, block + 8, length - 8);
    record.has_status = true;
    const uint8_t* s = record.status.data();
    const bool bit2 = (s[63] & 0x04) != 0;
    switch (s[64]) {
    case 0:
        record.encoder_trigger_function = bit2 ? 0 : 3;
        break;
    case 1:
        record.encoder_trigger_function = bit2 ? 1 : 4;
        break;
    case 2:
        if (bit2)
            record.encoder_trigger_function = 2;
        break;
    default:
        break;
    }
}

void ProfileDecoder::DecodeRawProfile(const uint8_t* block, uint32_t length,
                                      ScanvoProfileRecord& record, const PointArrays& direct)
{
    if (length < RAW_HEAD)
        return;
    const uint8_t content = block[12] != 0 ? block[12] & 0x0F : 0x0F;
    record.echo_mask = block[10] & 0x0F;
    record.echo_count = static_cast<uint8_t>(std::popcount(record.echo_mask));
    record.sign = (block[11] & 0x80) != 0;
    record.has_z = (content & 1) != 0;
    record.has_intensity = (content & 2) != 0;
    record.has_width = (content & 4) != 0;
    record.has_reserved = (content & 8) != 0;
    record.decoded = true;
    const uint32_t bytes[4] = {record.has_z ? block[13] / 8u : 0u,
                               record.has_intensity ? block[14] / 8u : 0u,
                               record.has_width ? block[15] / 8u : 0u,
                               record.has_reserved ? block[16] / 8u : 0u};
    const uint32_t column_bytes = (bytes[0] + bytes[1] + bytes[2] + bytes[3]) * record.echo_count;
    if (column_bytes == 0)
        return;
    record.column_count =
        std::min(ScanvoProfileRecord::MAX_COLUMNS, (length - RAW_HEAD) / column_bytes);
    // The linearization writes every millimetre next, so they are not cleared here.
    record.millimetres_pending = true;
    DecodeRawPoints(block + RAW_HEAD, bytes, record, direct);
}

void ProfileDecoder::DecodeRawPoints(const uint8_t* points, const uint32_t (&bytes)[4],
                                     ScanvoProfileRecord& record, const PointArrays& direct)
{
    const uint32_t columns = record.column_count;
    if (record.echo_count == 1 && bytes[0] == 2 && bytes[1] == 1 && bytes[2] == 1 &&
        bytes[3] == 0) {
        // What sensors send: one echo of Z, intensity and width in 4 bytes.
        const uint32_t e = static_cast<uint32_t>(std::countr_zero(record.echo_mask));
        const EchoTargets targets = DirectTargets(direct, columns);
        // The millimetres come with the linearization.
        direct_at = EchoTargets{nullptr, nullptr, targets.intensity, targets.width};
        ColumnKernels::DecodeRawColumns(
            points, columns, record.raw_z[e].data(),
            direct_at.intensity != nullptr ? direct_at.intensity : record.intensity[e].data(),
            direct_at.width != nullptr ? direct_at.width : record.width[e].data());
        std::fill_n(record.reserved[e].begin(), columns, 0);
        return;
    }
    const uint8_t* p = points;
    for (uint32_t c = 0; c < columns; ++c) {
        for (uint32_t e = 0; e < ScanvoProfileRecord::MAX_ECHOES; ++e) {
            if (!record.HasEcho(e))
                continue;
            const Field z = ReadField(p, bytes[0]);
            const Field intensity = ReadField(p, bytes[1]);
            const Field low = ReadField(p, bytes[2]);
            const Field reserved = ReadField(p, bytes[3]);
            record.raw_z[e][c] = static_cast<int32_t>(z.b0 + 256 * z.b1);
            record.intensity[e][c] = static_cast<int32_t>(intensity.b0 * 4 + (low.b0 >> 6));
            record.width[e][c] = static_cast<int32_t>(low.b0 & 63);
            record.reserved[e][c] = static_cast<int32_t>(reserved.b0 + 8 * reserved.b1);
        }
    }
}

// Per echo the words present, in the order Z, intensity-and-width, X.
void ProfileDecoder::DecodeLinearProfile(const uint8_t* block, uint32_t length,
                                         bool packed_intensity, ScanvoProfileRecord& record,
                                         const PointArrays& direct)
{
    if (length < LINEAR_HEAD)
        return;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint8_t code = block[28 + 4 * i];
        record.has_x = record.has_x || code == 1;
        record.has_z = record.has_z || code == 2;
        record.has_intensity = record.has_intensity || code == 4;
        record.has_width = record.has_width || code == 4 || code == 5;
    }
    record.linearized = true;
    record.decoded = true;
    record.echo_count = std::min<uint8_t>(block[20], ScanvoProfileRecord::MAX_ECHOES);
    const uint32_t words = uint32_t{record.has_z} + uint32_t{record.has_width} + uint32_t{record.has_x};
    const uint32_t column_words = words * record.echo_count;
    const int32_t declared = static_cast<int32_t>(LoadU32(block + 16));
    if (column_words == 0 || declared <= 0)
        return;
    record.column_count = std::min({static_cast<uint32_t>(declared), ScanvoProfileRecord::MAX_COLUMNS,
                                    (length - LINEAR_HEAD) / 2 / column_words});
    // Unscaled, a factor of 1 and an offset of 0 leave every word as it is.
    const double z_factor = scale.present ? double{scale.z_scale} : 1.0;
    const double z_shift = scale.present ? double{scale.z_offset} : 0.0;
    const double x_factor = scale.present ? double{scale.x_scale} : 1.0;
    const double x_shift = scale.present ? double{scale.x_offset} : 0.0;
    const uint8_t* points = block + LINEAR_HEAD;
    // What sensors send: one echo of Z, intensity and width, X.
    if (record.echo_count == 1 && words == 3 && reinterpret_cast<uintptr_t>(points) % 2 == 0) {
        direct_at = DirectTargets(direct, record.column_count);
        const EchoTargets& t = direct_at;
        record.millimetres_pending = t.x != nullptr || t.z != nullptr;
        ColumnKernels::DecodeLinearColumns(ColumnKernels::LinearColumns{
            reinterpret_cast<const uint16_t*>(points), record.column_count, record.has_intensity,
            packed_intensity, z_factor, z_shift, x_factor, x_shift, record.raw_z[0].data(),
            t.intensity != nullptr ? t.intensity : record.intensity[0].data(),
            t.width != nullptr ? t.width : record.width[0].data(),
            t.z != nullptr ? t.z : record.z_mm[0].data(), t.x != nullptr ? t.x : record.x_mm[0].data()});
        std::fill_n(record.reserved[0].begin(), record.column_count, 0);
        return;
    }
    const uint32_t word_at = record.has_z ? 1 : 0;
    const uint32_t x_at = word_at + (record.has_width ? 1 : 0);
    for (uint32_t c = 0; c < record.column_count; ++c) {
        for (uint32_t e = 0; e < record.echo_count; ++e) {
            const uint8_t* p = block + LINEAR_HEAD + 2 * (c * column_words + e * words);
            const uint32_t word = record.has_width ? LoadU16(p + 2 * word_at) : 0;
            const uint32_t intensity =
                packed_intensity ? ((word & 0xFFu) << 2) | (word >> 14) : word >> 6;
            record.raw_z[e][c] = record.has_z ? LoadU16(p) : 0;
            record.z_mm[e][c] = record.has_z ? LoadU16(p) * z_factor + z_shift : 0.0;
            record.intensity[e][c] = record.has_intensity ? static_cast<int32_t>(intensity) : 0;
            record.width[e][c] =
                static_cast<int32_t>(packed_intensity ? (word >> 8) & 63u : word & 63u);
            record.reserved[e][c] = 0;
            record.x_mm[e][c] = record.has_x ? LoadU16(p + 2 * x_at) * x_factor + x_shift : 0.0;
        }
    }
}

void ProfileDecoder::LinearizeEcho(const LinearizationData& data, const ScanvoProfileRecord& record,
                                   uint32_t echo, double* x_mm, double* z_mm)
{
    const LinearizationData::EchoRows rows{double(record.x_offset), record.x_step + 1.0,
                                           double(record.z_offset), record.z_step + 1.0,
                                           record.raw_z[echo].data(), record.column_count};
    data.LinearizeEcho(column_cache, rows, x_mm, z_mm);
}

void ProfileDecoder::LinearizeProfile(const LinearizationData& data, ScanvoProfileRecord& record)
{
    if (!record.decoded || record.linearized)
        return;
    for (uint32_t e = 0; e < ScanvoProfileRecord::MAX_ECHOES; ++e) {
        if (record.HasEcho(e))
            LinearizeEcho(data, record, e, record.x_mm[e].data(), record.z_mm[e].data());
    }
    record.millimetres_pending = false;
}

ProfileDecoder::EchoTargets ProfileDecoder::DirectTargets(const PointArrays& direct, uint32_t columns)
{
    if (direct.capacity < 0 || static_cast<uint32_t>(direct.capacity) < columns)
        return EchoTargets();
    // Arrays given twice are left to the record, which writes them in turn.
    const bool doubles = direct.x != direct.z;
    const bool integers = direct.intensity != direct.width;
    return EchoTargets{doubles ? direct.x : nullptr, doubles ? direct.z : nullptr,
                       integers ? direct.intensity : nullptr, integers ? direct.width : nullptr};
}

// A profile of one echo that the caller's arrays hold whole: a raw one's
// millimetres go straight there, and what its decode put there stays,
// unless a sort has to move them.
int32_t ProfileDecoder::LinearizeAndEmit(const LinearizationData* data, ScanvoProfileRecord& record,
                                         bool sort_x, const PointArrays& out)
{
    const uint32_t columns = record.column_count;
    const bool one_echo = record.decoded && record.echo_count == 1 && out.capacity >= 0 &&
                          static_cast<uint32_t>(out.capacity) >= columns;
    const bool raw = one_echo && data != nullptr && !record.linearized &&
                     (out.x != nullptr || out.z != nullptr) && out.x != out.z;
    const EchoTargets& t = direct_at;
    const bool decoded_there = one_echo && record.linearized &&
                               (t.x != nullptr || t.z != nullptr || t.intensity != nullptr || t.width != nullptr);
    if (!raw && !decoded_there) {
        KeepInRecord(record);
        if (data != nullptr)
            LinearizeProfile(*data, record);
        return EmitPoints(record, sort_x, out);
    }
    const uint32_t e = EchoOfOne(record);
    double* x = t.x != nullptr ? t.x : record.x_mm[e].data();
    double* z = t.z != nullptr ? t.z : record.z_mm[e].data();
    if (raw) {
        x = out.x != nullptr ? out.x : x;
        z = out.z != nullptr ? out.z : z;
        LinearizeEcho(*data, record, e, x, z);
    }
    // Only the first two echoes take part in the sort.
    const double* const sort_z[2] = {e == 0 ? z : nullptr, e == 1 ? z : nullptr};
    if (sort_x && e < 2 && !ColumnKernels::PointsAscend(x, sort_z, columns)) {
        if (x != record.x_mm[e].data()) std::copy_n(x, columns, record.x_mm[e].begin());
        if (z != record.z_mm[e].data()) std::copy_n(z, columns, record.z_mm[e].begin());
        direct_at.x = nullptr;
        direct_at.z = nullptr;
        record.millimetres_pending = false;
        KeepInRecord(record);
        return EmitPoints(record, sort_x, out);
    }
    // The record's own arrays may hold only some of them: its millimetres keep reading 0.
    return EmitEcho(EchoArrays{x, z,
                               t.intensity != nullptr ? t.intensity : record.intensity[e].data(),
                               t.width != nullptr ? t.width : record.width[e].data()},
                    columns, out);
}

uint32_t ProfileDecoder::EchoOfOne(const ScanvoProfileRecord& record)
{
    return record.linearized ? 0 : static_cast<uint32_t>(std::countr_zero(record.echo_mask));
}

void ProfileDecoder::KeepInRecord(ScanvoProfileRecord& record)
{
    const uint32_t e = EchoOfOne(record);
    const uint32_t columns = record.column_count;
    const EchoTargets& t = direct_at;
    if (t.x != nullptr) std::copy_n(t.x, columns, record.x_mm[e].begin());
    if (t.z != nullptr) std::copy_n(t.z, columns, record.z_mm[e].begin());
    if (t.intensity != nullptr) std::copy_n(t.intensity, columns, record.intensity[e].begin());
    if (t.width != nullptr) std::copy_n(t.width, columns, record.width[e].begin());
    if (t.x != nullptr || t.z != nullptr) record.millimetres_pending = false;
    direct_at = EchoTargets();
}

bool ProfileDecoder::HasPoint(const ScanvoProfileRecord& record, uint32_t column)
{
    return (record.HasEcho(0) && record.ZMm(0)[column] != 0) ||
           (record.HasEcho(1) && record.ZMm(1)[column] != 0);
}

uint32_t ProfileDecoder::SortColumnsByX(const ScanvoProfileRecord& record)
{
    // The first echo's X, or the second's where the mask leaves the first out.
    const double* first_x = record.XMm(record.HasEcho(0) ? 0 : 1);
    const double* z[2] = {record.HasEcho(0) ? record.ZMm(0) : nullptr,
                          record.HasEcho(1) ? record.ZMm(1) : nullptr};
    // Profiles usually arrive ordered by X already.
    if (ColumnKernels::PointsAscend(first_x, z, record.column_count)) return 0;
    uint32_t sortable = 0;
    for (uint32_t c = 0; c < record.column_count; ++c) {
        if (HasPoint(record, c))
            sort_buffer[sortable++] =
                SortEntry{ColumnKernels::SortKey(first_x[c]), static_cast<int32_t>(c)};
    }
    std::sort(sort_buffer.begin(), sort_buffer.begin() + sortable,
              [](const SortEntry& a, const SortEntry& b) {
                  return a.x < b.x || (a.x == b.x && a.column < b.column);
              });
    return sortable;
}

// One echo in column order: each array a straight copy, unless it is there already.
int32_t ProfileDecoder::EmitEcho(const EchoArrays& from, uint32_t columns, const PointArrays& out)
{
    const uint32_t count = std::min<uint32_t>(columns, static_cast<uint32_t>(std::max(out.capacity, 0)));
    if (out.x != nullptr && out.x != from.x) std::copy_n(from.x, count, out.x);
    if (out.z != nullptr && out.z != from.z) std::copy_n(from.z, count, out.z);
    if (out.intensity != nullptr && out.intensity != from.intensity)
        std::copy_n(from.intensity, count, out.intensity);
    if (out.width != nullptr && out.width != from.width) std::copy_n(from.width, count, out.width);
    return static_cast<int32_t>(count);
}

int32_t ProfileDecoder::EmitPoints(const ScanvoProfileRecord& record, bool sort_x,
                                   const PointArrays& out)
{
    uint32_t echoes[ScanvoProfileRecord::MAX_ECHOES];
    // Each echo's millimetres, looked up once rather than per point.
    const double* echo_x[ScanvoProfileRecord::MAX_ECHOES];
    const double* echo_z[ScanvoProfileRecord::MAX_ECHOES];
    uint32_t echo_total = 0;
    for (uint32_t e = 0; e < ScanvoProfileRecord::MAX_ECHOES; ++e) {
        echo_x[e] = record.XMm(e);
        echo_z[e] = record.ZMm(e);
        if (record.HasEcho(e)) echoes[echo_total++] = e;
    }
    const uint32_t moved = sort_x ? SortColumnsByX(record) : 0;
    if (echo_total == 1 && moved == 0)
        return EmitEcho(EchoArrays{echo_x[echoes[0]], echo_z[echoes[0]],
                                   record.intensity[echoes[0]].data(), record.width[echoes[0]].data()},
                        record.column_count, out);
    const uint32_t columns = record.column_count;
    for (uint32_t c = 0; c < columns; ++c)
        column_order[c] = static_cast<int32_t>(c);
    // Sorted columns take the places of the sortable ones, in column order.
    uint32_t k = 0;
    for (uint32_t c = 0; c < columns && k < moved; ++c) {
        if (HasPoint(record, c))
            column_order[c] = sort_buffer[k++].column;
    }
    int32_t written = 0;
    for (uint32_t i = 0; i < columns; ++i) {
        const uint32_t column = static_cast<uint32_t>(column_order[i]);
        for (uint32_t n = 0; n < echo_total; ++n) {
            if (written >= out.capacity)
                return written;
            const uint32_t e = echoes[n];
            if (out.x != nullptr) out.x[written] = echo_x[e][column];
            if (out.z != nullptr) out.z[written] = echo_z[e][column];
            if (out.intensity != nullptr) out.intensity[written] = record.intensity[e][column];
            if (out.width != nullptr) out.width[written] = record.width[e][column];
            ++written;
        }
    }
    return written;
}
