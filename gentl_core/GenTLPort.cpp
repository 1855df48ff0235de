// GenTLPort.cpp: the handle class behind every GenTL port.
#include "gentl_core/GenTLPort.h"

#include <cstring>
#include <utility>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/InfoCommandHandling.h"
#include "platform/Assert.h"

namespace GenTLCore {

// --- Description documents ------------------------------------------------------

namespace {

// Where the branding keeps one kind of document.
struct DocumentSource {
    std::string (GenTLBranding::*text)() const;
    std::string (GenTLBranding::*file_name)() const;
    std::vector<uint8_t> (GenTLBranding::*sha1)() const;
};

const DocumentSource& SourceOf(DescriptionDocument document)
{
    using B = GenTLBranding;
    static const DocumentSource SOURCES[] = {
        {&B::SystemDescription, &B::SystemDescriptionFileName, &B::SystemDescriptionSHA1},
        {&B::InterfaceDescription, &B::InterfaceDescriptionFileName, &B::InterfaceDescriptionSHA1},
        {&B::LocalDeviceDescription, &B::LocalDeviceDescriptionFileName,
         &B::LocalDeviceDescriptionSHA1},
        {&B::DataStreamDescription, &B::DataStreamDescriptionFileName,
         &B::DataStreamDescriptionSHA1},
        {&B::RemoteDeviceDescription, &B::RemoteDeviceDescriptionFileName,
         &B::RemoteDeviceDescriptionSHA1},
    };
    return SOURCES[static_cast<size_t>(document)];
}

}  // namespace

std::string GetDescriptionText(DescriptionDocument document)
{
    return (GetBranding().*SourceOf(document).text)();
}

PortURLEntry MakeDescriptionURLEntry(DescriptionDocument document)
{
    const GenTLBranding& branding = GetBranding();
    const DocumentSource& source = SourceOf(document);
    const std::string text = (branding.*source.text)();
    PortURLEntry entry;
    entry.filename = (branding.*source.file_name)();
    entry.url = MakePortURL(entry.filename, text);
    entry.file_ver_major = branding.DescriptionFileVersionMajor();
    entry.file_ver_minor = branding.DescriptionFileVersionMinor();
    entry.file_ver_subminor = branding.DescriptionFileVersionSubminor();
    entry.sha1_hash = (branding.*source.sha1)();
    (void)TL_ASSERT_MSG(entry.sha1_hash.size() == SHA1_HASH_SIZE,
                        "sha1_hash.size () == SHA1_HASH_SIZE");
    entry.reg_size = text.size();
    return entry;
}

// --- Reads and writes -------------------------------------------------------------

namespace {

GC_ERROR ZeroSizeOnFailure(GC_ERROR result, size_t* size)
{
    if (result != GC_ERR_SUCCESS) *size = 0;
    return result;
}

}  // namespace

GC_ERROR GenTLPort::ReadPort(uint64_t address, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (buffer == nullptr || size == nullptr || *size == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER, "ReadPort: invalid buffer/size pointer");
    return ZeroSizeOnFailure(DoReadPort(address, buffer, size), size);
}

GC_ERROR GenTLPort::WritePort(uint64_t address, const void* data, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (data == nullptr || size == nullptr || *size == 0)
        return ReportError(GC_ERR_INVALID_PARAMETER, "WritePort: invalid buffer/size pointer");
    return ZeroSizeOnFailure(DoWritePort(address, data, size), size);
}

struct GenTLPort::StackedAccess {
    bool write;
    const char* invalid_list_text;
    const char* invalid_buffer_text;
};

GC_ERROR GenTLPort::ReadPortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* num_entries)
{
    static constexpr StackedAccess READ{
        false, "ReadPortStacked: invalid pointer to register entries or their size",
        "ReadPortStacked: invalid buffer pointer in register entry"};
    return RunStacked(READ, entries, num_entries);
}

GC_ERROR GenTLPort::WritePortStacked(PORT_REGISTER_STACK_ENTRY* entries, size_t* num_entries)
{
    static constexpr StackedAccess WRITE{
        true, "WritePortStacked: invalid pointer to register entries or their size",
        "WritePortStacked: invalid buffer pointer in register entry"};
    return RunStacked(WRITE, entries, num_entries);
}

GC_ERROR GenTLPort::RunStacked(const StackedAccess& access, PORT_REGISTER_STACK_ENTRY* entries,
                               size_t* num_entries)
{
    ScopedLock lock(handle_lock);
    if (entries == nullptr || num_entries == nullptr) {
        if (num_entries != nullptr) *num_entries = 0;
        return ReportError(GC_ERR_INVALID_PARAMETER, access.invalid_list_text);
    }
    const size_t count = *num_entries;
    for (size_t done = 0; done < count; ++done) {
        PORT_REGISTER_STACK_ENTRY& entry = entries[done];
        size_t size = entry.Size;
        GC_ERROR result;
        // Each entry's buffer is the caller's too: never dereference a null one.
        if (entry.pBuffer == nullptr)
            result = ReportError(GC_ERR_INVALID_PARAMETER, access.invalid_buffer_text);
        else if (access.write)
            result = DoWritePort(entry.Address, entry.pBuffer, &size);
        else
            result = DoReadPort(entry.Address, entry.pBuffer, &size);
        if (result != GC_ERR_SUCCESS) {
            *num_entries = done;
            return result;
        }
        entry.Size = size;
    }
    return GC_ERR_SUCCESS;
}

// --- Port info ------------------------------------------------------------------

GC_ERROR GenTLPort::GetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                                size_t* size)
{
    ScopedLock lock(handle_lock);
    return DoGetPortInfo(info_cmd, type, buffer, size);
}

GC_ERROR GenTLPort::CopyPortInfo(const PortInfo& info, PORT_INFO_CMD info_cmd, INFO_DATATYPE* type,
                                 void* buffer, size_t* size, const char* unknown_cmd_text)
{
    switch (info_cmd) {
        case PORT_INFO_ID:
            return CopyInfoString(info.id, type, buffer, size);
        case PORT_INFO_VENDOR:
            return CopyInfoString(info.vendor, type, buffer, size);
        case PORT_INFO_MODEL:
            return CopyInfoString(info.model, type, buffer, size);
        case PORT_INFO_TLTYPE:
            return CopyInfoString(info.tl_type, type, buffer, size);
        case PORT_INFO_MODULE:
            return CopyInfoString(info.module, type, buffer, size);
        case PORT_INFO_LITTLE_ENDIAN:
            return CopyInfoBool8(info.little_endian, type, buffer, size);
        case PORT_INFO_BIG_ENDIAN:
            return CopyInfoBool8(!info.little_endian, type, buffer, size);
        case PORT_INFO_ACCESS_READ:
            return CopyInfoBool8(info.access_read, type, buffer, size);
        case PORT_INFO_ACCESS_WRITE:
            return CopyInfoBool8(info.access_write, type, buffer, size);
        case PORT_INFO_ACCESS_NA:
            return CopyInfoBool8(info.access_na, type, buffer, size);
        case PORT_INFO_ACCESS_NI:
            return CopyInfoBool8(false, type, buffer, size);
        case PORT_INFO_VERSION:
            return CopyInfoString(info.version, type, buffer, size);
        case PORT_INFO_PORTNAME:
            return CopyInfoString(info.port_name, type, buffer, size);
        default:
            return ReportError(GC_ERR_NOT_IMPLEMENTED, unknown_cmd_text);
    }
}

// --- Description-document URLs ----------------------------------------------------

void GenTLPort::SetPortURLs(std::vector<PortURLEntry> new_urls)
{
    ScopedLock lock(handle_lock);
    if (!TL_ASSERT_MSG(!configured && urls.empty(), "!configured && urls.empty ()")) return;
    urls = std::move(new_urls);
    configured = true;
}

GC_ERROR GenTLPort::GetNumPortURLs(uint32_t* num_urls)
{
    ScopedLock lock(handle_lock);
    if (!configured)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetNumPortURLs: this module does not implement a port");
    if (num_urls == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetNumPortURLs: invalid num_urls pointer");
    *num_urls = static_cast<uint32_t>(urls.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLPort::GetPortURL(char* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (size == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetPortURL: invalid buffer size pointer");
    if (urls.empty())
        return ReportError(GC_ERR_NO_DATA, "GetPortURL: no URL's available for this port");
    std::string text;
    for (const PortURLEntry& entry : urls) {
        text += entry.url + "?SchemaVersion=" + std::to_string(entry.schema_ver_major) + "." +
                std::to_string(entry.schema_ver_minor) + ".0";
        text += '\0';
    }
    text += '\0';
    if (buffer != nullptr) {
        if (*size < text.size())
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "GetPortURL: the buffer is not sufficient for the URL string.");
        std::memcpy(buffer, text.data(), text.size());
    }
    *size = text.size();
    return GC_ERR_SUCCESS;
}

namespace {

GC_ERROR CheckURLInfoAvailable(const PortURLEntry& entry, URL_INFO_CMD info_cmd)
{
    const char* missing = nullptr;
    switch (info_cmd) {
        case URL_INFO_SCHEMA_VER_MAJOR:
        case URL_INFO_SCHEMA_VER_MINOR:
            if (!entry.schema_ver_available)
                missing = "GetPortURLInfo: schema version not available";
            break;
        case URL_INFO_FILE_VER_MAJOR:
        case URL_INFO_FILE_VER_MINOR:
        case URL_INFO_FILE_VER_SUBMINOR:
            if (!entry.file_ver_available) missing = "GetPortURLInfo: XML version not available";
            break;
        case URL_INFO_FILE_SHA1_HASH:
            if (!entry.sha1_hash_available) missing = "GetPortURLInfo: SHA1 hash not available";
            break;
        case URL_INFO_FILE_REGISTER_ADDRESS:
        case URL_INFO_FILE_SIZE:
        case URL_INFO_FILENAME:
            if (entry.scheme != URL_SCHEME_LOCAL &&
                (info_cmd != URL_INFO_FILENAME || entry.scheme != URL_SCHEME_FILE))
                missing =
                    "GetPortURLInfo: XML file register address/size  available only for "
                    "local URL scheme";
            break;
        default:
            break;
    }
    return missing == nullptr ? GC_ERR_SUCCESS : ReportError(GC_ERR_NOT_AVAILABLE, missing);
}

}  // namespace

GC_ERROR GenTLPort::GetPortURLInfo(uint32_t index, URL_INFO_CMD info_cmd, INFO_DATATYPE* type,
                                   void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (!configured)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetPortURLInfo: this module does not implement a port");
    if (index >= urls.size())
        return ReportError(GC_ERR_INVALID_INDEX,
                           "GetPortURLInfo: invalid URL index, not that many URLs available");
    const PortURLEntry& entry = urls[index];
    const GC_ERROR available = CheckURLInfoAvailable(entry, info_cmd);
    if (available != GC_ERR_SUCCESS) return available;
    switch (info_cmd) {
        case URL_INFO_URL:
            (void)TL_ASSERT_MSG(!entry.url.empty(), "!urls[index].url.empty ()");
            return CopyInfoString(entry.url, type, buffer, size);
        case URL_INFO_SCHEMA_VER_MAJOR:
            return CopyInfoInt32(static_cast<int32_t>(entry.schema_ver_major), type, buffer, size);
        case URL_INFO_SCHEMA_VER_MINOR:
            return CopyInfoInt32(static_cast<int32_t>(entry.schema_ver_minor), type, buffer, size);
        case URL_INFO_FILE_VER_MAJOR:
            return CopyInfoInt32(static_cast<int32_t>(entry.file_ver_major), type, buffer, size);
        case URL_INFO_FILE_VER_MINOR:
            return CopyInfoInt32(static_cast<int32_t>(entry.file_ver_minor), type, buffer, size);
        case URL_INFO_FILE_VER_SUBMINOR:
            return CopyInfoInt32(static_cast<int32_t>(entry.file_ver_subminor), type, buffer, size);
        case URL_INFO_FILE_SHA1_HASH:
            // A digest of another length would hand out a block the consumer cannot check.
            if (!TL_ASSERT_MSG(entry.sha1_hash.size() == SHA1_HASH_SIZE,
                               "urls[index].sha1_hash.size() == SHA1_HASH_SIZE"))
                return ReportError(GC_ERR_NOT_AVAILABLE, "GetPortURLInfo: SHA1 hash not available");
            return CopyInfoBuffer(entry.sha1_hash.data(), SHA1_HASH_SIZE, type, buffer, size);
        case URL_INFO_FILE_REGISTER_ADDRESS:
            return CopyInfoUInt64(entry.reg_address, type, buffer, size);
        case URL_INFO_FILE_SIZE:
            (void)TL_ASSERT_MSG(entry.reg_size != 0, "urls[index].reg_size != 0");
            return CopyInfoUInt64(entry.reg_size, type, buffer, size);
        case URL_INFO_SCHEME:
            return CopyInfoInt32(entry.scheme, type, buffer, size);
        case URL_INFO_FILENAME:
            (void)TL_ASSERT_MSG(!entry.filename.empty(), "!urls[index].filename.empty ()");
            return CopyInfoString(entry.filename, type, buffer, size);
        default:
            return ReportError(GC_ERR_NOT_IMPLEMENTED,
                               "GetPortURLInfo: unknown URL info command requested");
    }
}

}  // namespace GenTLCore
