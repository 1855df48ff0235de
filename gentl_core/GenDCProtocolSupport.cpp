#include "gentl_core/GenDCProtocolSupport.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "platform/Assert.h"

namespace GenTLCore {

namespace {

constexpr size_t CONTAINER_HEADER_BYTES = 56;
constexpr size_t COMPONENT_HEADER_BYTES = 48;
constexpr size_t OFFSET_ENTRY_BYTES = 8;
constexpr size_t FLOW_TABLE_HEADER_BYTES = 16;

constexpr uint16_t CONTAINER_HEADER_TYPE = 0x1000;
constexpr uint16_t COMPONENT_HEADER_TYPE = 0x2000;
constexpr uint16_t PART_METADATA = 0x4000;
constexpr uint16_t PART_1D = 0x4100;
constexpr uint16_t PART_2D = 0x4200;
constexpr uint16_t FLOW_TABLE_HEADER_TYPE = 0x7000;

constexpr uint64_t DATA_COMPONENT_TYPE_ID = 0x8001;
constexpr uint32_t PIXEL_FORMAT_DATA8 = 0x01080116;

// Little-endian whatever the host.
void Put(uint8_t* at, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

size_t PartHeaderBytes(uint16_t header_type)
{
    switch (header_type) {
    case PART_METADATA:
    case PART_1D:
        return 64;
    case PART_2D:
        return 56;
    default:
        return 40;
    }
}

size_t ContainerHeaderBytes(size_t component_count)
{
    return CONTAINER_HEADER_BYTES + OFFSET_ENTRY_BYTES * component_count;
}

size_t ComponentBlockBytes(size_t part_count)
{
    return COMPONENT_HEADER_BYTES + OFFSET_ENTRY_BYTES * part_count;
}

}  // namespace

void GenDCContainerDescription::SetComponentIDs(uint16_t group, uint16_t source, uint16_t region)
{
    group_id = group;
    source_id = source;
    region_id = region;
}

void GenDCContainerDescription::SetFlowTable(const std::vector<uint64_t>& flow_sizes)
{
    flow_offsets.assign(1, 0);
    if (!TL_ASSERT_MSG(!flow_sizes.empty(), "Empty flow mapping table specified")) return;
    for (size_t i = 0; i + 1 < flow_sizes.size(); ++i)
        flow_offsets.push_back(flow_offsets.back() + flow_sizes[i]);
}

bool GenDCContainerDescription::SelectDataFlow()
{
    if (flow_offsets.size() < 2) {
        if (!TL_ASSERT_MSG(implicit_flow,
                           "Specified flow ID does not match the current flow table"))
            return false;
        flow_offsets.resize(2, 0);
    }
    flow_id = 1;
    flow_base_offset = flow_offsets[1];
    return true;
}

GenDCContainerDescription::Component GenDCContainerDescription::NewComponent(
    uint64_t type_id, uint32_t format) const
{
    Component component;
    component.type_id = type_id;
    component.format = format;
    component.group_id = group_id;
    component.source_id = source_id;
    component.region_id = region_id;
    component.timestamp = timestamp;
    return component;
}

GenDCContainerDescription::Part GenDCContainerDescription::NewPart(uint16_t header_type,
                                                                   uint64_t offset_in_flow,
                                                                   uint64_t data_size) const
{
    Part part;
    part.header_type = header_type;
    part.flow_id = flow_id;
    part.flow_offset = offset_in_flow;
    part.data_offset = flow_base_offset + offset_in_flow;
    part.data_size = data_size;
    return part;
}

bool GenDCContainerDescription::AddPlanarComponent(const std::vector<uint64_t>& plane_offsets,
                                                   uint64_t plane_data_size, uint64_t type_id,
                                                   uint32_t size_x, uint32_t size_y,
                                                   const std::vector<uint32_t>& plane_formats,
                                                   uint32_t component_format)
{
    if (!TL_ASSERT_MSG(plane_formats.size() == plane_offsets.size(),
                       "Inconsistent planar image description"))
        return false;
    const uint32_t format =
        component_format != 0 ? component_format : LookupPlanarPixelFormat(plane_formats);
    if (format == 0)
        return false;

    Component component = NewComponent(type_id, format);
    for (size_t i = 0; i < plane_offsets.size(); ++i) {
        Part part = NewPart(PART_2D, plane_offsets[i], plane_data_size);
        part.format = plane_formats[i];
        part.size_x = size_x;
        part.size_y = size_y;
        component.parts.push_back(part);
    }
    components.push_back(std::move(component));
    return true;
}

bool GenDCContainerDescription::AddImageComponent(uint64_t offset, uint64_t data_size,
                                                  uint64_t type_id, uint32_t size_x,
                                                  uint32_t size_y, uint32_t format)
{
    return AddPlanarComponent({offset}, data_size, type_id, size_x, size_y, {format}, format);
}

bool GenDCContainerDescription::AddDataComponent(uint64_t offset, uint64_t size)
{
    Component component = NewComponent(DATA_COMPONENT_TYPE_ID, PIXEL_FORMAT_DATA8);
    Part part = NewPart(PART_METADATA, offset, size);
    part.format = PIXEL_FORMAT_DATA8;
    part.size_x = 1;
    part.size_y = size;
    component.parts.push_back(part);
    components.push_back(std::move(component));
    return true;
}

size_t GenDCContainerDescription::DescriptorSize() const
{
    size_t size = ContainerHeaderBytes(components.size());
    for (const Component& component : components) {
        size += ComponentBlockBytes(component.parts.size());
        for (const Part& part : component.parts)
            size += PartHeaderBytes(part.header_type);
    }
    return size;
}

void GenDCContainerDescription::WriteContainerHeader(uint8_t* at, size_t descriptor_size) const
{
    uint64_t first = UINT64_MAX;
    uint64_t end = 0;
    for (const Component& component : components) {
        for (const Part& part : component.parts) {
            first = std::min(first, part.data_offset);
            end = std::max(end, part.data_offset + part.data_size);
        }
    }
    if (first == UINT64_MAX)  // no parts at all
        first = end = 0;

    std::memcpy(at, "GNDC", 4);
    at[4] = 1;  // version 1.0.0
    at[5] = 0;
    at[6] = 0;
    Put(at + 8, CONTAINER_HEADER_TYPE, 2);
    Put(at + 10, container_flag ? 1 : 0, 2);
    Put(at + 12, ContainerHeaderBytes(components.size()), 4);
    Put(at + 16, container_id, 8);
    Put(at + 24, variable_fields, 2);
    Put(at + 32, end - first, 8);
    Put(at + 40, first, 8);
    Put(at + 48, descriptor_size, 4);
    Put(at + 52, components.size(), 4);
}

void GenDCContainerDescription::WritePartHeader(uint8_t* at, const Part& part)
{
    Put(at + 0, part.header_type, 2);
    Put(at + 2, 0, 2);
    Put(at + 4, PartHeaderBytes(part.header_type), 4);
    Put(at + 8, part.format, 4);
    Put(at + 14, part.flow_id, 2);
    Put(at + 16, part.flow_offset, 8);
    Put(at + 24, part.data_size, 8);
    Put(at + 32, part.data_offset, 8);
    switch (part.header_type) {
    case PART_METADATA:
    case PART_1D:
        TL_ASSERT(part.size_x == 1);
        Put(at + 40, part.size_y, 8);
        Put(at + 48, 0, 2);
        break;
    case PART_2D:
        Put(at + 40, part.size_x, 4);
        Put(at + 44, part.size_y, 4);
        Put(at + 48, part.padding_x, 2);
        Put(at + 50, 0, 2);
        break;
    default:
        Platform::ReportAssertion("Non-recognized part type while building descriptor", __FILE__,
                                  __LINE__);
        break;
    }
}

size_t GenDCContainerDescription::WriteComponent(uint8_t* buffer, size_t cursor,
                                                 const Component& component)
{
    const size_t part_count = component.parts.size();
    uint8_t* at = buffer + cursor;
    Put(at + 0, COMPONENT_HEADER_TYPE, 2);
    Put(at + 2, 0, 2);
    Put(at + 4, ComponentBlockBytes(part_count), 4);
    Put(at + 10, component.group_id, 2);
    Put(at + 12, component.source_id, 2);
    Put(at + 14, component.region_id, 2);
    Put(at + 16, component.region_offset_x, 4);
    Put(at + 20, component.region_offset_y, 4);
    Put(at + 24, component.timestamp, 8);
    Put(at + 32, component.type_id, 8);
    Put(at + 40, component.format, 4);
    Put(at + 46, part_count, 2);

    // The parts follow their component header back to back.
    cursor += ComponentBlockBytes(part_count);
    for (size_t i = 0; i < part_count; ++i) {
        Put(at + COMPONENT_HEADER_BYTES + OFFSET_ENTRY_BYTES * i, cursor, 8);
        WritePartHeader(buffer + cursor, component.parts[i]);
        cursor += PartHeaderBytes(component.parts[i].header_type);
    }
    return cursor;
}

size_t GenDCContainerDescription::WriteDescriptor(uint8_t* buffer, size_t buffer_bytes) const
{
    const size_t descriptor_size = DescriptorSize();
    // Never write past the caller's buffer: a descriptor that does not fit is
    // not written at all, and the caller sees the size it needed.
    if (buffer == nullptr || buffer_bytes < descriptor_size)
        return descriptor_size;

    WriteContainerHeader(buffer, descriptor_size);
    size_t cursor = ContainerHeaderBytes(components.size());
    for (size_t k = 0; k < components.size(); ++k) {
        Put(buffer + CONTAINER_HEADER_BYTES + OFFSET_ENTRY_BYTES * k, cursor, 8);
        cursor = WriteComponent(buffer, cursor, components[k]);
    }
    return descriptor_size;
}

const std::vector<uint8_t>& GenDCContainerDescription::BuildDescriptor(
    std::vector<uint8_t>& out) const
{
    out.assign(DescriptorSize(), 0);
    WriteDescriptor(out.data(), out.size());
    return out;
}

uint32_t LookupPlanarPixelFormat(const std::vector<uint32_t>& plane_formats)
{
    constexpr uint32_t R8 = 0x010800C9, G8 = 0x010800CD, B8 = 0x010800D1;
    constexpr uint32_t R10 = 0x010A00CA, G10 = 0x010A00CE, B10 = 0x010A00D2;
    constexpr uint32_t R12 = 0x010C00CB, G12 = 0x010C00CF, B12 = 0x010C00D3;
    constexpr uint32_t R16 = 0x011000CC, G16 = 0x011000D0, B16 = 0x011000D4;
    constexpr uint32_t A8 = 0x010800AF, B8C = 0x010800B0, C8 = 0x010800B1;
    constexpr uint32_t A10P = 0x010A00D5, B10P = 0x010A00D6, C10P = 0x010A00D7;
    constexpr uint32_t A12P = 0x010C00D8, B12P = 0x010C00D9, C12P = 0x010C00DA;
    constexpr uint32_t A16 = 0x011000B6, B16C = 0x011000B7, C16 = 0x011000B8;
    constexpr uint32_t A32F = 0x012000BD, B32F = 0x012000BE, C32F = 0x012000BF;
    // Never destroyed: a consumer thread may still call in while the process exits.
    static const auto& PLANAR_FORMATS = *new std::map<std::vector<uint32_t>, uint32_t>{
        {{R8, G8, B8}, 0x02180021},        // RGB8_Planar
        {{R10, G10, B10}, 0x02300022},     // RGB10_Planar
        {{R12, G12, B12}, 0x02300023},     // RGB12_Planar
        {{R16, G16, B16}, 0x02300024},     // RGB16_Planar
        {{A8, B8C, C8}, 0x021800B3},       // Coord3D_ABC8_Planar
        {{A10P, B10P, C10P}, 0x021E00DC},  // Coord3D_ABC10p_Planar
        {{A12P, B12P, C12P}, 0x022400DF},  // Coord3D_ABC12p_Planar
        {{A16, B16C, C16}, 0x023000BA},    // Coord3D_ABC16_Planar
        {{A32F, B32F, C32F}, 0x026000C1},  // Coord3D_ABC32f_Planar
        {{A8, C8}, 0x021000B5},            // Coord3D_AC8_Planar
        {{A10P, C10P}, 0x021400F1},        // Coord3D_AC10p_Planar
        {{A12P, C12P}, 0x021800F3},        // Coord3D_AC12p_Planar
        {{A16, C16}, 0x022000BC},          // Coord3D_AC16_Planar
        {{A32F, C32F}, 0x024000C3},        // Coord3D_AC32f_Planar
    };
    const auto found = PLANAR_FORMATS.find(plane_formats);
    return found != PLANAR_FORMATS.end() ? found->second : 0;
}

std::vector<uint8_t> BuildFlowMappingTable(const std::vector<uint64_t>& flow_sizes)
{
    const size_t table_bytes = FLOW_TABLE_HEADER_BYTES + OFFSET_ENTRY_BYTES * flow_sizes.size();
    std::vector<uint8_t> table(table_bytes, 0);
    Put(&table[0], FLOW_TABLE_HEADER_TYPE, 2);
    Put(&table[4], table_bytes, 4);
    Put(&table[8], 1, 4);
    Put(&table[12], flow_sizes.size(), 4);
    for (size_t i = 0; i < flow_sizes.size(); ++i)
        Put(&table[FLOW_TABLE_HEADER_BYTES + OFFSET_ENTRY_BYTES * i], flow_sizes[i], 8);
    return table;
}

}  // namespace GenTLCore
