// GenTLPort.h: the handle class behind every GenTL port: port reads and
// writes, stacked access, port info and the port's description-document URLs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLHandle.h"
#include "gentl_core/MiscUtils.h"

namespace GenTLCore {

constexpr size_t SHA1_HASH_SIZE = DESCRIPTION_SHA1_BYTES;

// One description document of a port, as GCGetPortURLInfo answers it.
struct PortURLEntry {
    std::string url;
    uint32_t file_ver_major = 0;
    uint32_t file_ver_minor = 0;
    uint32_t file_ver_subminor = 0;
    uint32_t schema_ver_major = 1;
    uint32_t schema_ver_minor = 1;
    std::vector<uint8_t> sha1_hash;  // SHA1_HASH_SIZE bytes
    int32_t scheme = URL_SCHEME_LOCAL;
    uint64_t reg_address = DESCRIPTION_REGISTER_ADDRESS;
    uint64_t reg_size = 0;
    std::string filename;
    bool file_ver_available = true;
    bool schema_ver_available = true;
    bool sha1_hash_available = true;
};

// The description documents the branding holds, one per module kind.
enum class DescriptionDocument { System, Interface, LocalDevice, DataStream, RemoteDevice };

// The document's text as the branding answers it now.
std::string GetDescriptionText(DescriptionDocument document);
// The URL entry of a document served at DESCRIPTION_REGISTER_ADDRESS: URL,
// file name, file version and digest from the branding, size from the text.
PortURLEntry MakeDescriptionURLEntry(DescriptionDocument document);

// The answers to GCGetPortInfo, gathered by a port kind for CopyPortInfo.
struct PortInfo {
    std::string id;
    std::string vendor;
    std::string model;
    std::string tl_type;
    std::string module;
    std::string version;
    std::string port_name;
    bool little_endian = true;
    bool access_read = true;
    bool access_write = true;
    bool access_na = false;
};

// Created unconfigured with no URLs; the owning module's construction hands
// it its URL list once (SetPortURLs), which then never changes. Held by
// SharedPtr like every handle.
//
// Threads: any. Every public operation runs under handle_lock for its whole
// run (stacked access across all its entries), so DoReadPort, DoWritePort,
// DoGetPortInfo and everything behind them run with it held.
class GenTLPort : public GenTLHandle {
public:
    // GCReadPort / GCWritePort: refuse a null buffer or size pointer and a
    // size of 0; a failed access sets the size to 0.
    GC_ERROR ReadPort(uint64_t address, void* buffer, size_t* size);
    GC_ERROR WritePort(uint64_t address, const void* data, size_t* size);
    // Each entry is answered in order and receives its size; the first
    // failure (an entry without a buffer fails with GC_ERR_INVALID_PARAMETER)
    // ends the run, returns its code and sets the count to the entries done
    // before it.
    GC_ERROR ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* num_entries);
    GC_ERROR WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* num_entries);
    GC_ERROR GetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer, size_t* size);

    GC_ERROR GetNumPortURLs(uint32_t* num_urls);
    // The older URL query: each URL with "?SchemaVersion=1.1.0" and a NUL,
    // and one more NUL after the last. A null buffer asks for the size.
    GC_ERROR GetPortURL(char* buffer, size_t* size);
    GC_ERROR GetPortURLInfo(uint32_t index, URL_INFO_CMD info_cmd, INFO_DATATYPE* type,
                            void* buffer, size_t* size);

    // The port kind's own access. The caller holds handle_lock and has
    // checked that `buffer` and `size` are given and *size is not 0.
    virtual GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) = 0;
    virtual GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) = 0;
    // The caller holds handle_lock.
    virtual GC_ERROR DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                                   size_t* size) = 0;

protected:
    // Once, by the owning module's construction; a second list is refused
    // (assertion) and the first kept.
    void SetPortURLs(std::vector<PortURLEntry> new_urls);

    // Writes the answer to `info_cmd` the get-info way; an unknown command
    // fails with GC_ERR_NOT_IMPLEMENTED and `unknown_cmd_text`.
    static GC_ERROR CopyPortInfo(const PortInfo& info, PORT_INFO_CMD info_cmd, INFO_DATATYPE* type,
                                 void* buffer, size_t* size, const char* unknown_cmd_text);

private:
    struct StackedAccess;
    GC_ERROR RunStacked(const StackedAccess& access, PORT_REGISTER_STACK_ENTRY* entries,
                        size_t* num_entries);

    // Guarded by handle_lock; set once.
    std::vector<PortURLEntry> urls;
    bool configured = false;
};

}  // namespace GenTLCore
