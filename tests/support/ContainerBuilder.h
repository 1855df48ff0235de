// ContainerBuilder.h: the sensor's wire frames, built for tests: containers of
// tagged blocks, sync frames and short frames. Frames carry the library's CRC
// (its check value and a hand-worked container pin it); ReferenceCrc32 stays
// as the independent one to compare it with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace TestSupport {

using Bytes = std::vector<uint8_t>;

namespace Tag {
constexpr uint32_t CONTAINER = 0x021A01FF;
constexpr uint32_t SYNC = 0x021A0100;
constexpr uint32_t GENERAL = 0x021A0101;
constexpr uint32_t STATIC = 0x021A0102;
constexpr uint32_t TEXT = 0x021A0103;
constexpr uint32_t X_ROI = 0x021A0201;
constexpr uint32_t Z_ROI = 0x021A0202;
constexpr uint32_t FPGA_QRTB = 0x021A0402;
constexpr uint32_t CAMERA = 0x021A0501;
constexpr uint32_t RAW_PROFILE = 0x021A0601;
constexpr uint32_t LINEAR_PROFILE = 0x021A0602;
constexpr uint32_t END = 0x021AFFFF;
}  // namespace Tag

// CRC-32/MPEG-2 computed bit by bit, the slow way.
uint32_t ReferenceCrc32(const uint8_t* data, std::size_t size);

void AppendU8(Bytes& out, uint8_t value);
void AppendU16(Bytes& out, uint16_t value);
void AppendU32(Bytes& out, uint32_t value);
void AppendU64(Bytes& out, uint64_t value);
void AppendDouble(Bytes& out, double value);
void PutU32(Bytes& out, std::size_t offset, uint32_t value);
uint32_t GetU32(const Bytes& bytes, std::size_t offset);
Bytes Concat(std::initializer_list<Bytes> parts);
// Writes the CRC of all bytes before the last four into them, big-endian,
// XOR `flip` (non-zero to corrupt it).
void WriteCrc(Bytes& frame, uint32_t flip = 0);

// Builds one container: blocks in the order added, then the end block with
// the CRC. The head's total size is the real one unless overridden.
class ContainerBuilder {
public:
    ContainerBuilder& AddBlock(uint32_t tag, const Bytes& payload);
    // A block whose length field says `declared_length` whatever its payload.
    ContainerBuilder& AddRawBlock(uint32_t tag, uint32_t declared_length, const Bytes& payload);
    // 52 bytes: picture counter at 8, time stamp at 10.
    ContainerBuilder& AddGeneralBlock(uint16_t picture_counter, uint32_t time_stamp);
    // Text and its NUL (unless without_nul).
    ContainerBuilder& AddTextBlock(const std::string& text, bool without_nul = false);
    // The zeroed static, region and status blocks a profile container carries.
    ContainerBuilder& AddStatusBlocks();
    ContainerBuilder& OverrideTotalSize(uint32_t total);
    ContainerBuilder& CorruptCrc();
    ContainerBuilder& WithoutEndBlock();
    Bytes Build() const;

private:
    Bytes blocks;
    bool override_total = false;
    uint32_t total_override = 0;
    bool corrupt_crc = false;
    bool end_block = true;
};

// A container holding one text block.
Bytes TextContainer(const std::string& text);
// {sync tag, size} padded with zeros to `size` bytes (at least 8 written).
Bytes SyncFrame(uint32_t size = 8);
// A short frame: kind, 0x19, u32 size, payload, big-endian CRC.
Bytes ShortFrame(uint8_t kind, const Bytes& payload, bool corrupt_crc = false);

}  // namespace TestSupport
