// SensorScans.h: the scans and the XML status a sensor sends, built for
// tests: raw and linearized profiles, camera images, status blocks whose
// every byte tells its offset, and an XML description with a value of its
// own at every path the library reads.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "ContainerBuilder.h"

namespace TestSupport {

namespace Tag {
constexpr uint32_t CAMERA_QRTA = 0x021A0301;
constexpr uint32_t CAMERA_QRTB = 0x021A0302;
constexpr uint32_t FPGA_QRTA = 0x021A0401;
constexpr uint32_t SCALE = 0x021A0801;
}  // namespace Tag

// byte i = seed + 7 * i (mod 256): every multi-byte field reads differently.
Bytes PatternBytes(std::size_t size, uint8_t seed);

// Payload of a raw profile block (behind its head): echo mask, sign byte,
// content mask, the four field sizes in bits, then the point bytes.
Bytes RawProfilePayload(uint8_t echo_mask, uint8_t content, const std::array<uint8_t, 4>& bits,
                        const Bytes& points, uint8_t sign = 0);
// Payload of a linearized profile block: column count, echo count, four
// content codes (low byte), then the 16-bit words.
Bytes LinearProfilePayload(int32_t columns, uint8_t echoes, const std::array<uint8_t, 4>& codes,
                           const std::vector<uint16_t>& words);
Bytes ScalePayload(float x_scale, float x_offset, float z_scale, float z_offset);
// A region block payload: offset at 10, size at 12, step at 14.
Bytes RegionPayload(uint16_t offset, uint16_t size, uint16_t step, std::size_t block_length);

// The streamed scans of the simulated sensor, deterministic per column and
// picture counter.
enum class ScanKind { RawProfile, LinearProfile, Camera };

// Raw profile: Z row of a column (1/32 pixel units: row * 32), intensity
// byte and the low byte (intensity low bits, width).
uint16_t ScanRawZ(uint32_t column);
uint8_t ScanIntensity(uint32_t column, uint16_t counter);
uint8_t ScanLowByte(uint32_t column);
// Linearized profile: the three words of a column, and the scale it is sent with.
uint16_t ScanLinearZ(uint32_t column);
uint16_t ScanLinearX(uint32_t column);
constexpr float SCAN_X_SCALE = 0.0625f;
constexpr float SCAN_X_OFFSET = -64.0f;
constexpr float SCAN_Z_SCALE = 0.015625f;
constexpr float SCAN_Z_OFFSET = 100.0f;
// Camera image: width x height bytes, row after row.
uint8_t ScanPixel(uint32_t x, uint32_t y, uint16_t counter);

// The streamed container of one kind and width, built once. A scan rewrites
// only its picture counter, time stamp, point bytes (the intensities follow
// the counter, so a reader can tell scans apart) and CRC: cheap enough for
// full line rate. For a camera scan `width` is the image width and the
// height is width / 2.
class ScanTemplate {
public:
    ScanTemplate(ScanKind kind, uint32_t width);
    bool Fits(ScanKind other_kind, uint32_t other_width) const
    {
        return kind == other_kind && width == other_width;
    }
    // Valid until the next call.
    const Bytes& Scan(uint16_t counter, uint32_t time_stamp);

private:
    ScanKind kind;
    uint32_t width;
    Bytes container;
    std::size_t points_offset = 0;
};

Bytes ScanContainer(ScanKind kind, uint16_t counter, uint32_t time_stamp, uint32_t width);
// The raw profile container the simulated sensor streams with this counter.
inline Bytes RawScan(uint16_t counter, uint32_t width = 8)
{
    return ScanContainer(ScanKind::RawProfile, counter, counter * 1000u, width);
}

// Status blocks of one container with patterned bytes: general (52, seed
// 0x10), static (60, 0x40), X region (60, 0x80), Z region (64, 0xA0), FPGA
// QRTB (160, 0x05).
ContainerBuilder& AddPatternedBlocks(ContainerBuilder& builder);

// Value of every path the library reads: the path less "device:" and
// ":current", colons written as dots ("general.producer"), except the
// identity, the field geometry, the input states and the region commands.
std::map<std::string, std::string> DefaultXmlValues();
// Nested elements for colon paths, inside "<?xml ...?>"; `settings_first`
// goes at the start of <settings>, so its elements win the lookup.
std::string SensorXml(const std::map<std::string, std::string>& values,
                      const std::string& settings_first = "");

}  // namespace TestSupport
