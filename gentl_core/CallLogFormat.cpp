// The call log's value forms and name tables.
#include "gentl_core/CallLogFormat.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

#include "gentl_core/ErrorHandling.h"

namespace GenTLCore {
namespace {

constexpr const char* NULL_TEXT = "{ null }";
constexpr const char* UNKNOWN_TYPE_TEXT = "{ unknown command datatype }";
constexpr const char* UNKNOWN_SIZE_TEXT = "{ unknown buffer size }";
constexpr const char* UNKNOWN_NAME = "Unknown";
// Keeps one line short whatever the caller's buffers hold.
constexpr size_t MAX_TEXT_BYTES = 128;
constexpr size_t MAX_DUMP_BYTES = 8;

// clang-format off
constexpr const char* TL_INFO[] = {
    "TL_INFO_ID", "TL_INFO_VENDOR", "TL_INFO_MODEL", "TL_INFO_VERSION", "TL_INFO_TLTYPE",
    "TL_INFO_NAME", "TL_INFO_PATHNAME", "TL_INFO_DISPLAYNAME", "TL_INFO_CHAR_ENCODING",
    "TL_INFO_GENTL_VER_MAJOR", "TL_INFO_GENTL_VER_MINOR"};
constexpr const char* INTERFACE_INFO[] = {
    "INTERFACE_INFO_ID", "INTERFACE_INFO_DISPLAYNAME", "INTERFACE_INFO_TLTYPE"};
constexpr const char* DEVICE_INFO[] = {
    "DEVICE_INFO_ID", "DEVICE_INFO_VENDOR", "DEVICE_INFO_MODEL", "DEVICE_INFO_TLTYPE",
    "DEVICE_INFO_DISPLAYNAME", "DEVICE_INFO_ACCESS_STATUS", "DEVICE_INFO_USER_DEFINED_NAME",
    "DEVICE_INFO_SERIAL_NUMBER", "DEVICE_INFO_VERSION", "DEVICE_INFO_TIMESTAMP_FREQUENCY"};
constexpr const char* STREAM_INFO[] = {
    "STREAM_INFO_ID", "STREAM_INFO_NUM_DELIVERED", "STREAM_INFO_NUM_UNDERRUN",
    "STREAM_INFO_NUM_ANNOUNCED", "STREAM_INFO_NUM_QUEUED", "STREAM_INFO_NUM_AWAIT_DELIVERY",
    "STREAM_INFO_NUM_STARTED", "STREAM_INFO_PAYLOAD_SIZE", "STREAM_INFO_IS_GRABBING",
    "STREAM_INFO_DEFINES_PAYLOADSIZE", "STREAM_INFO_TLTYPE", "STREAM_INFO_NUM_CHUNKS_MAX",
    "STREAM_INFO_BUF_ANNOUNCE_MIN", "STREAM_INFO_BUF_ALIGNMENT", "STREAM_INFO_FLOW_TABLE",
    "STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR"};
constexpr const char* BUFFER_INFO[] = {
    "BUFFER_INFO_BASE", "BUFFER_INFO_SIZE", "BUFFER_INFO_USER_PTR", "BUFFER_INFO_TIMESTAMP",
    "BUFFER_INFO_NEW_DATA", "BUFFER_INFO_IS_QUEUED", "BUFFER_INFO_IS_ACQUIRING",
    "BUFFER_INFO_IS_INCOMPLETE", "BUFFER_INFO_TLTYPE", "BUFFER_INFO_SIZE_FILLED",
    "BUFFER_INFO_WIDTH", "BUFFER_INFO_HEIGHT", "BUFFER_INFO_XOFFSET", "BUFFER_INFO_YOFFSET",
    "BUFFER_INFO_XPADDING", "BUFFER_INFO_YPADDING", "BUFFER_INFO_FRAMEID",
    "BUFFER_INFO_IMAGEPRESENT", "BUFFER_INFO_IMAGEOFFSET", "BUFFER_INFO_PAYLOADTYPE",
    "BUFFER_INFO_PIXELFORMAT", "BUFFER_INFO_PIXELFORMAT_NAMESPACE",
    "BUFFER_INFO_DELIVERED_IMAGEHEIGHT", "BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE",
    "BUFFER_INFO_CHUNKLAYOUTID", "BUFFER_INFO_FILENAME", "BUFFER_INFO_PIXEL_ENDIANNESS",
    "BUFFER_INFO_DATA_SIZE", "BUFFER_INFO_TIMESTAMP_NS", "BUFFER_INFO_DATA_LARGER_THAN_BUFFER",
    "BUFFER_INFO_CONTAINS_CHUNKDATA", "BUFFER_INFO_IS_COMPOSITE"};
constexpr const char* BUFFER_PART_INFO[] = {
    "BUFFER_PART_INFO_BASE", "BUFFER_PART_INFO_DATA_SIZE", "BUFFER_PART_INFO_DATA_TYPE",
    "BUFFER_PART_INFO_DATA_FORMAT", "BUFFER_PART_INFO_DATA_FORMAT_NAMESPACE",
    "BUFFER_PART_INFO_WIDTH", "BUFFER_PART_INFO_HEIGHT", "BUFFER_PART_INFO_XOFFSET",
    "BUFFER_PART_INFO_YOFFSET", "BUFFER_PART_INFO_XPADDING", "BUFFER_PART_INFO_SOURCE_ID",
    "BUFFER_PART_INFO_DELIVERED_IMAGEHEIGHT", "BUFFER_PART_INFO_REGION_ID",
    "BUFFER_PART_INFO_DATA_PURPOSE_ID"};
constexpr const char* SEGMENT_INFO[] = {
    "SEGMENT_INFO_BASE", "SEGMENT_INFO_SIZE", "SEGMENT_INFO_IS_INCOMPLETE",
    "SEGMENT_INFO_SIZE_FILLED", "SEGMENT_INFO_DATA_SIZE"};
constexpr const char* FLOW_INFO[] = {"FLOW_INFO_SIZE"};
constexpr const char* PORT_INFO[] = {
    "PORT_INFO_ID", "PORT_INFO_VENDOR", "PORT_INFO_MODEL", "PORT_INFO_TLTYPE", "PORT_INFO_MODULE",
    "PORT_INFO_LITTLE_ENDIAN", "PORT_INFO_BIG_ENDIAN", "PORT_INFO_ACCESS_READ",
    "PORT_INFO_ACCESS_WRITE", "PORT_INFO_ACCESS_NA", "PORT_INFO_ACCESS_NI", "PORT_INFO_VERSION",
    "PORT_INFO_PORTNAME"};
constexpr const char* URL_INFO[] = {
    "URL_INFO_URL", "URL_INFO_SCHEMA_VER_MAJOR", "URL_INFO_SCHEMA_VER_MINOR",
    "URL_INFO_FILE_VER_MAJOR", "URL_INFO_FILE_VER_MINOR", "URL_INFO_FILE_VER_SUBMINOR",
    "URL_INFO_FILE_SHA1_HASH", "URL_INFO_FILE_REGISTER_ADDRESS", "URL_INFO_FILE_SIZE",
    "URL_INFO_SCHEME", "URL_INFO_FILENAME"};
constexpr const char* EVENT_INFO[] = {
    "EVENT_EVENT_TYPE", "EVENT_NUM_IN_QUEUE", "EVENT_NUM_FIRED", "EVENT_SIZE_MAX",
    "EVENT_INFO_DATA_SIZE_MAX"};
constexpr const char* EVENT_DATA_INFO[] = {"EVENT_DATA_ID", "EVENT_DATA_VALUE", "EVENT_DATA_NUMID"};
constexpr const char* EVENT_TYPE[] = {
    "EVENT_ERROR", "EVENT_NEW_BUFFER", "EVENT_FEATURE_INVALIDATE", "EVENT_FEATURE_CHANGE",
    "EVENT_REMOTE_DEVICE", "EVENT_MODULE"};
constexpr const char* DEVICE_ACCESS[] = {
    "DEVICE_ACCESS_UNKNOWN", "DEVICE_ACCESS_NONE", "DEVICE_ACCESS_READONLY",
    "DEVICE_ACCESS_CONTROL", "DEVICE_ACCESS_EXCLUSIVE"};
constexpr const char* ACQ_QUEUE[] = {
    "ACQ_QUEUE_INPUT_TO_OUTPUT", "ACQ_QUEUE_OUTPUT_DISCARD", "ACQ_QUEUE_ALL_TO_INPUT",
    "ACQ_QUEUE_UNQUEUED_TO_INPUT", "ACQ_QUEUE_ALL_DISCARD"};
constexpr const char* ACQ_START[] = {"ACQ_START_FLAGS_DEFAULT"};
constexpr const char* ACQ_STOP[] = {"ACQ_STOP_FLAGS_DEFAULT", "ACQ_STOP_FLAGS_KILL"};
constexpr const char* DATATYPE[] = {
    "INFO_DATATYPE_UNKNOWN", "INFO_DATATYPE_STRING", nullptr, "INFO_DATATYPE_INT16",
    "INFO_DATATYPE_UINT16", "INFO_DATATYPE_INT32", "INFO_DATATYPE_UINT32", "INFO_DATATYPE_INT64",
    "INFO_DATATYPE_UINT64", "INFO_DATATYPE_FLOAT64", "INFO_DATATYPE_PTR", "INFO_DATATYPE_BOOL8",
    "INFO_DATATYPE_SIZET", "INFO_DATATYPE_BUFFER", "INFO_DATATYPE_PTRDIFF"};
// clang-format on

// The value of type T at the start of `buffer`; memcpy because a caller's
// buffer has no alignment promise.
template <typename T>
T ReadValue(const void* buffer)
{
    T value;
    std::memcpy(&value, buffer, sizeof(T));
    return value;
}

void WriteHexDump(std::ostream& out, const void* buffer, const size_t* size)
{
    if (size == nullptr) {
        out << UNKNOWN_SIZE_TEXT;
        return;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    char text[4];
    out << "{ ";
    for (size_t i = 0; i < std::min(*size, MAX_DUMP_BYTES); ++i) {
        std::snprintf(text, sizeof(text), "%02x ", static_cast<unsigned>(bytes[i]));
        out << text;
    }
    if (*size > MAX_DUMP_BYTES) out << "... ";
    out << "}";
}

void WriteText(std::ostream& out, const char* text, const size_t* size)
{
    if (size == nullptr) {
        out << UNKNOWN_SIZE_TEXT;
        return;
    }
    const size_t limit = std::min(*size, MAX_TEXT_BYTES);
    const void* end = std::memchr(text, '\0', limit);
    const size_t length =
        end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : limit;
    out << std::string_view(text, length);
    if (*size > MAX_TEXT_BYTES) out << "...";
}

// A number of type T, or the dump of what the size covers when it is too small.
template <typename T>
void WriteNumber(std::ostream& out, const void* buffer, const size_t* size)
{
    if (size == nullptr || *size < sizeof(T)) {
        WriteHexDump(out, buffer, size);
        return;
    }
    const T value = ReadValue<T>(buffer);
    if constexpr (std::is_same_v<T, void*>)
        FormatPointer(out, value);
    else if constexpr (std::is_same_v<T, bool8_t>)
        out << (value != 0 ? "1" : "0");
    else
        out << value;
}

// Saturates, so a huge count still dumps and marks the cut.
size_t ArrayBytes(size_t count, size_t entry_size)
{
    if (entry_size != 0 && count > std::numeric_limits<size_t>::max() / entry_size)
        return std::numeric_limits<size_t>::max();
    return count * entry_size;
}

// " [<unsigned>U, <signed>S]" of the register value's bits.
template <typename U>
void WriteBothSigns(std::ostream& out, const void* buffer)
{
    out << " [" << ReadValue<U>(buffer) << "U, " << ReadValue<std::make_signed_t<U>>(buffer)
        << "S]";
}

template <typename T>
void WriteOrNull(std::ostream& out, const T* pointer)
{
    if (pointer == nullptr)
        out << NULL_TEXT;
    else
        out << *pointer;
}

}  // namespace

constinit const NameTable TL_INFO_NAMES{TL_INFO};
constinit const NameTable INTERFACE_INFO_NAMES{INTERFACE_INFO};
constinit const NameTable DEVICE_INFO_NAMES{DEVICE_INFO};
constinit const NameTable STREAM_INFO_NAMES{STREAM_INFO};
constinit const NameTable BUFFER_INFO_NAMES{BUFFER_INFO};
constinit const NameTable BUFFER_PART_INFO_NAMES{BUFFER_PART_INFO};
constinit const NameTable SEGMENT_INFO_NAMES{SEGMENT_INFO};
constinit const NameTable FLOW_INFO_NAMES{FLOW_INFO};
constinit const NameTable PORT_INFO_NAMES{PORT_INFO};
constinit const NameTable URL_INFO_NAMES{URL_INFO};
constinit const NameTable EVENT_INFO_NAMES{EVENT_INFO};
constinit const NameTable EVENT_DATA_INFO_NAMES{EVENT_DATA_INFO};
constinit const NameTable EVENT_TYPE_NAMES{EVENT_TYPE};
constinit const NameTable DEVICE_ACCESS_NAMES{DEVICE_ACCESS};
constinit const NameTable ACQ_QUEUE_NAMES{ACQ_QUEUE};
constinit const NameTable ACQ_START_NAMES{ACQ_START};
constinit const NameTable ACQ_STOP_NAMES{ACQ_STOP};
constinit const NameTable INFO_DATATYPE_NAMES{DATATYPE};

const char* LookUpName(NameTable table, int32_t value)
{
    if (value < 0 || static_cast<size_t>(value) >= table.size()) return UNKNOWN_NAME;
    const char* name = table[static_cast<size_t>(value)];
    return name != nullptr ? name : UNKNOWN_NAME;
}

const char* FormatErrorName(GC_ERROR code)
{
    // The error report's table stops at GC_ERR_BUSY; the log also names the ends.
    if (code == GC_ERR_SUCCESS) return "GC_ERR_SUCCESS";
    if (code == GC_ERR_AMBIGUOUS) return "GC_ERR_AMBIGUOUS";
    const char* name = FindErrorName(code);
    return name != nullptr ? name : UNKNOWN_NAME;
}

void FormatPointer(std::ostream& out, const void* pointer)
{
    char text[2 * sizeof(uintptr_t) + 1];
    std::snprintf(text, sizeof(text), "%016" PRIXPTR, reinterpret_cast<uintptr_t>(pointer));
    out << text;
}

void FormatAddress(std::ostream& out, uint64_t address)
{
    char text[2 + 2 * sizeof(uint64_t) + 1];
    std::snprintf(text, sizeof(text), "0x%" PRIx64, address);
    out << text;
}

void FormatCommand(std::ostream& out, int32_t value, NameTable names)
{
    out << value << " [" << LookUpName(names, value) << "]";
}

void FormatSizePointer(std::ostream& out, const size_t* size)
{
    FormatPointer(out, size);
    out << " [";
    FormatPointee(out, size);
    out << "]";
}

void FormatPointee(std::ostream& out, const size_t* size)
{
    WriteOrNull(out, size);
}

void FormatPointee(std::ostream& out, const uint32_t* count)
{
    WriteOrNull(out, count);
}

void FormatPointee(std::ostream& out, void* const* pointer)
{
    if (pointer == nullptr)
        out << NULL_TEXT;
    else
        FormatPointer(out, *pointer);
}

void FormatPointee(std::ostream& out, const bool8_t* flag)
{
    if (flag == nullptr)
        out << NULL_TEXT;
    else
        out << (*flag != 0 ? "true" : "false");
}

void FormatPointee(std::ostream& out, const GC_ERROR* error_code)
{
    if (error_code == nullptr)
        out << NULL_TEXT;
    else
        out << *error_code << " [" << FormatErrorName(*error_code) << "]";
}

void FormatBuffer(std::ostream& out, const void* buffer, const INFO_DATATYPE* type,
                  const size_t* size)
{
    if (buffer == nullptr) {
        out << NULL_TEXT;
        return;
    }
    if (type == nullptr) {
        out << UNKNOWN_TYPE_TEXT;
        return;
    }
    switch (*type) {
        case INFO_DATATYPE_STRING:
            return WriteText(out, static_cast<const char*>(buffer), size);
        case INFO_DATATYPE_INT16:
            return WriteNumber<int16_t>(out, buffer, size);
        case INFO_DATATYPE_UINT16:
            return WriteNumber<uint16_t>(out, buffer, size);
        case INFO_DATATYPE_INT32:
            return WriteNumber<int32_t>(out, buffer, size);
        case INFO_DATATYPE_UINT32:
            return WriteNumber<uint32_t>(out, buffer, size);
        case INFO_DATATYPE_INT64:
        case INFO_DATATYPE_PTRDIFF:
            return WriteNumber<int64_t>(out, buffer, size);
        case INFO_DATATYPE_UINT64:
        case INFO_DATATYPE_SIZET:
            return WriteNumber<uint64_t>(out, buffer, size);
        case INFO_DATATYPE_FLOAT64:
            return WriteNumber<double>(out, buffer, size);
        case INFO_DATATYPE_PTR:
            return WriteNumber<void*>(out, buffer, size);
        case INFO_DATATYPE_BOOL8:
            return WriteNumber<bool8_t>(out, buffer, size);
        default:
            return WriteHexDump(out, buffer, size);
    }
}

void FormatString(std::ostream& out, const char* text)
{
    if (text == nullptr) {
        out << NULL_TEXT;
        return;
    }
    // Counting one byte past the cut is enough to know whether "..." follows.
    size_t length = 0;
    while (length <= MAX_TEXT_BYTES && text[length] != '\0') ++length;
    const INFO_DATATYPE type = INFO_DATATYPE_STRING;
    FormatBuffer(out, text, &type, &length);
}

void FormatArray(std::ostream& out, const void* entries, const size_t* count, size_t entry_size)
{
    const INFO_DATATYPE type = INFO_DATATYPE_BUFFER;
    if (count == nullptr) {
        FormatBuffer(out, entries, &type, nullptr);
        return;
    }
    const size_t bytes = ArrayBytes(*count, entry_size);
    FormatBuffer(out, entries, &type, &bytes);
}

void FormatRegisterValue(std::ostream& out, const void* buffer, const size_t* size)
{
    const INFO_DATATYPE type = INFO_DATATYPE_BUFFER;
    FormatBuffer(out, buffer, &type, size);
    if (buffer == nullptr || size == nullptr) return;
    switch (*size) {
        case sizeof(uint16_t):
            return WriteBothSigns<uint16_t>(out, buffer);
        case sizeof(uint32_t):
            return WriteBothSigns<uint32_t>(out, buffer);
        case sizeof(uint64_t):
            return WriteBothSigns<uint64_t>(out, buffer);
        default:
            return;
    }
}

void FormatInfoOutput(std::ostream& out, const INFO_DATATYPE* type, const void* buffer,
                      const size_t* size)
{
    CallLogLine(out).InfoOutput(type, buffer, size);
}

std::ostream& CallLogLine::Label(const char* label)
{
    if (!first) out << ", ";
    first = false;
    return out << label << "=";
}

CallLogLine& CallLogLine::Pointer(const char* label, const void* pointer)
{
    FormatPointer(Label(label), pointer);
    return *this;
}

CallLogLine& CallLogLine::Index(const char* label, uint32_t index)
{
    Label(label) << index;
    return *this;
}

CallLogLine& CallLogLine::Count(const char* label, uint64_t count)
{
    Label(label) << count;
    return *this;
}

CallLogLine& CallLogLine::Address(const char* label, uint64_t address)
{
    FormatAddress(Label(label), address);
    return *this;
}

CallLogLine& CallLogLine::Command(const char* label, int32_t value, NameTable names)
{
    FormatCommand(Label(label), value, names);
    return *this;
}

CallLogLine& CallLogLine::SizePointer(const char* label, const size_t* size)
{
    FormatSizePointer(Label(label), size);
    return *this;
}

CallLogLine& CallLogLine::String(const char* label, const char* text)
{
    FormatString(Label(label), text);
    return *this;
}

CallLogLine& CallLogLine::StringOutput(const char* label, const char* text, const size_t* size)
{
    const INFO_DATATYPE type = INFO_DATATYPE_STRING;
    FormatBuffer(Label(label), text, &type, size);
    return *this;
}

CallLogLine& CallLogLine::HexBuffer(const char* label, const void* buffer, const size_t* size)
{
    const INFO_DATATYPE type = INFO_DATATYPE_BUFFER;
    FormatBuffer(Label(label), buffer, &type, size);
    return *this;
}

CallLogLine& CallLogLine::Array(const char* label, const void* entries, const size_t* count,
                                size_t entry_size)
{
    FormatArray(Label(label), entries, count, entry_size);
    return *this;
}

CallLogLine& CallLogLine::RegisterValue(const char* label, const void* buffer, const size_t* size)
{
    FormatRegisterValue(Label(label), buffer, size);
    return *this;
}

CallLogLine& CallLogLine::InfoInputs(int32_t command, NameTable names, const INFO_DATATYPE* type,
                                     const void* buffer, const size_t* size)
{
    return Command("iInfoCmd", command, names)
        .Pointer("piType", type)
        .Pointer("pBuffer", buffer)
        .SizePointer("piSize", size);
}

CallLogLine& CallLogLine::InfoOutput(const INFO_DATATYPE* type, const void* buffer,
                                     const size_t* size)
{
    std::ostream& type_value = Label("*piType");
    if (type == nullptr)
        type_value << NULL_TEXT;
    else
        FormatCommand(type_value, *type, INFO_DATATYPE_NAMES);
    FormatBuffer(Label("*pBuffer"), buffer, type, size);
    return Pointee("*piSize", size);
}

}  // namespace GenTLCore
