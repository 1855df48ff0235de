// GenDCProtocolSupport.h: builds GenDC container descriptors and flow mapping
// tables, and maps per-plane pixel formats to planar ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace GenTLCore {

// Describes one GenDC container: its components and their parts, and where
// the parts' data lie in the container's flows; serialises that as the
// container descriptor (every field little-endian).
//
// A plain value owned by its user, typically rebuilt per delivered container
// on the acquisition thread. Not shared between threads; no lock.
//
// Flow 0 carries the descriptor itself; SelectDataFlow() puts every part added
// afterwards into flow 1.
class GenDCContainerDescription {
public:
    void SetContainerID(uint64_t id) { container_id = id; }
    void SetVariableFields(uint16_t fields) { variable_fields = fields; }
    void SetContainerFlag(bool flag) { container_flag = flag; }
    // Lets SelectDataFlow() extend a flow table of one flow.
    void SetImplicitFlow() { implicit_flow = true; }
    // Copied into every component added afterwards; no arguments resets them.
    void SetComponentIDs(uint16_t group = 0, uint16_t source = 0, uint16_t region = 0);
    void SetTimestamp(uint64_t timestamp_ns = 0) { timestamp = timestamp_ns; }

    // Flow i starts after flows 0 to i-1. An empty list fails an assertion and
    // leaves the single flow 0.
    void SetFlowTable(const std::vector<uint64_t>& flow_sizes);
    // Makes flow 1 the current flow. False, with an assertion, when the flow
    // table has no flow 1 and implicit flows are off.
    bool SelectDataFlow();

    // One component with one 2D part per plane, all planes of `plane_data_size`
    // bytes at `plane_offsets` within the current flow. A `component_format`
    // of 0 is looked up from the plane formats. False, adding nothing, when
    // offsets and formats differ in number or no planar format is known.
    bool AddPlanarComponent(const std::vector<uint64_t>& plane_offsets, uint64_t plane_data_size,
                            uint64_t type_id, uint32_t size_x, uint32_t size_y,
                            const std::vector<uint32_t>& plane_formats, uint32_t component_format);
    // One component with one 2D part of `format`.
    bool AddImageComponent(uint64_t offset, uint64_t data_size, uint64_t type_id, uint32_t size_x,
                           uint32_t size_y, uint32_t format);
    // One Data8 component with one part of `size` bytes at `offset` in the
    // current flow. Always true.
    bool AddDataComponent(uint64_t offset, uint64_t size);

    // Returns the descriptor's size. Writes the descriptor into `buffer` only
    // when it is given and `buffer_bytes` holds the whole descriptor; bytes no
    // field covers are left as they are.
    size_t WriteDescriptor(uint8_t* buffer, size_t buffer_bytes) const;
    // `out` becomes the descriptor, with zeros where no field lies.
    const std::vector<uint8_t>& BuildDescriptor(std::vector<uint8_t>& out) const;

private:
    struct Part {
        uint64_t data_size = 0;
        uint64_t data_offset = 0;  // from the start of the container data
        uint16_t header_type = 0;
        uint16_t flow_id = 0;
        uint64_t flow_offset = 0;  // from the start of its flow
        uint32_t format = 0;
        uint32_t size_x = 0;
        uint64_t size_y = 0;  // a data part's byte count, so 64 bits
        uint16_t padding_x = 0;
    };
    struct Component {
        uint64_t type_id = 0;
        uint32_t format = 0;
        uint32_t region_offset_x = 0;
        uint32_t region_offset_y = 0;
        uint16_t group_id = 0;
        uint16_t source_id = 0;
        uint16_t region_id = 0;
        uint64_t timestamp = 0;
        std::vector<Part> parts;
    };

    Component NewComponent(uint64_t type_id, uint32_t format) const;
    Part NewPart(uint16_t header_type, uint64_t offset_in_flow, uint64_t data_size) const;
    size_t DescriptorSize() const;
    void WriteContainerHeader(uint8_t* at, size_t descriptor_size) const;
    // Writes a component and its parts at `cursor`; returns the end.
    static size_t WriteComponent(uint8_t* buffer, size_t cursor, const Component& component);
    static void WritePartHeader(uint8_t* at, const Part& part);

    std::vector<Component> components;
    uint16_t group_id = 0;
    uint16_t source_id = 0;
    uint16_t region_id = 0;
    uint16_t flow_id = 0;
    uint64_t flow_base_offset = 0;
    uint64_t timestamp = 0;
    bool container_flag = false;
    uint16_t variable_fields = 0;
    uint64_t container_id = 0;
    std::vector<uint64_t> flow_offsets{0};
    bool implicit_flow = false;
};

// The planar pixel format whose planes are exactly `plane_formats`, in that
// order; 0 when there is none.
uint32_t LookupPlanarPixelFormat(const std::vector<uint32_t>& plane_formats);

// The flow mapping table for flows of `flow_sizes` bytes.
std::vector<uint8_t> BuildFlowMappingTable(const std::vector<uint64_t>& flow_sizes);

}  // namespace GenTLCore
