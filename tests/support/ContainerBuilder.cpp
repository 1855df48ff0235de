#include "ContainerBuilder.h"

#include <cstring>

#include "sensor_library/Crc32.h"

namespace TestSupport {

uint32_t ReferenceCrc32(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((data[i] >> bit) & 1) != 0;
            const bool top = (crc & 0x80000000u) != 0;
            crc <<= 1;
            if (in != top)
                crc ^= 0x04C11DB7u;
        }
    }
    return crc;
}

void AppendU8(Bytes& out, uint8_t value)
{
    out.push_back(value);
}

void AppendU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendU32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendU64(Bytes& out, uint64_t value)
{
    AppendU32(out, static_cast<uint32_t>(value));
    AppendU32(out, static_cast<uint32_t>(value >> 32));
}

void AppendDouble(Bytes& out, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    AppendU64(out, bits);
}

void PutU32(Bytes& out, std::size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const Bytes& bytes, std::size_t offset)
{
    return uint32_t{bytes[offset]} | (uint32_t{bytes[offset + 1]} << 8) |
           (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

void WriteCrc(Bytes& frame, uint32_t flip)
{
    const std::size_t end = frame.size() - 4;
    const uint32_t crc = ComputeCrc32Mpeg2(frame.data(), end) ^ flip;
    for (std::size_t i = 0; i < 4; ++i)
        frame[end + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

ContainerBuilder& ContainerBuilder::AddBlock(uint32_t tag, const Bytes& payload)
{
    return AddRawBlock(tag, static_cast<uint32_t>(payload.size() + 8), payload);
}

ContainerBuilder& ContainerBuilder::AddRawBlock(uint32_t tag, uint32_t declared_length,
                                                const Bytes& payload)
{
    AppendU32(blocks, tag);
    AppendU32(blocks, declared_length);
    blocks.insert(blocks.end(), payload.begin(), payload.end());
    return *this;
}

ContainerBuilder& ContainerBuilder::AddGeneralBlock(uint16_t picture_counter, uint32_t time_stamp)
{
    Bytes payload;
    AppendU16(payload, picture_counter);
    AppendU32(payload, time_stamp);
    payload.resize(52 - 8, 0);
    return AddBlock(Tag::GENERAL, payload);
}

ContainerBuilder& ContainerBuilder::AddTextBlock(const std::string& text, bool without_nul)
{
    Bytes payload(text.begin(), text.end());
    if (!without_nul)
        payload.push_back(0);
    return AddBlock(Tag::TEXT, payload);
}

ContainerBuilder& ContainerBuilder::AddStatusBlocks()
{
    AddBlock(Tag::STATIC, Bytes(60 - 8, 0));
    AddBlock(Tag::X_ROI, Bytes(60 - 8, 0));
    AddBlock(Tag::Z_ROI, Bytes(64 - 8, 0));
    return AddBlock(Tag::FPGA_QRTB, Bytes(160 - 8, 0));
}

ContainerBuilder& ContainerBuilder::OverrideTotalSize(uint32_t total)
{
    override_total = true;
    total_override = total;
    return *this;
}

ContainerBuilder& ContainerBuilder::CorruptCrc()
{
    corrupt_crc = true;
    return *this;
}

ContainerBuilder& ContainerBuilder::WithoutEndBlock()
{
    end_block = false;
    return *this;
}

Bytes ContainerBuilder::Build() const
{
    Bytes out;
    AppendU32(out, Tag::CONTAINER);
    AppendU32(out, 0);
    out.insert(out.end(), blocks.begin(), blocks.end());
    if (end_block) {
        AppendU32(out, Tag::END);
        AppendU32(out, 12);
        AppendU32(out, 0);  // the CRC
    }
    PutU32(out, 4, override_total ? total_override : static_cast<uint32_t>(out.size()));
    if (end_block)
        WriteCrc(out, corrupt_crc ? 0x00010000u : 0);
    return out;
}

Bytes TextContainer(const std::string& text)
{
    return ContainerBuilder().AddTextBlock(text).Build();
}

Bytes SyncFrame(uint32_t size)
{
    Bytes out;
    AppendU32(out, Tag::SYNC);
    AppendU32(out, size);
    if (size > 8)
        out.resize(size, 0);
    return out;
}

Bytes ShortFrame(uint8_t kind, const Bytes& payload, bool corrupt_crc)
{
    Bytes out;
    AppendU8(out, kind);
    AppendU8(out, 0x19);
    AppendU32(out, static_cast<uint32_t>(payload.size() + 10));
    out.insert(out.end(), payload.begin(), payload.end());
    AppendU32(out, 0);
    WriteCrc(out, corrupt_crc ? 1u : 0);
    return out;
}

}  // namespace TestSupport
