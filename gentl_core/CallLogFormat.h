// CallLogFormat.h: the fixed text forms in which the call log prints GenTL
// arguments, results and outputs, and the names of GenTL's enumerations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

#include "GenTL.h"

namespace GenTLCore {

// Names of one GenTL enumeration, indexed by value from 0; a null entry is a
// value without a name.
using NameTable = std::span<const char* const>;

extern const NameTable TL_INFO_NAMES;
extern const NameTable INTERFACE_INFO_NAMES;
extern const NameTable DEVICE_INFO_NAMES;
extern const NameTable STREAM_INFO_NAMES;
extern const NameTable BUFFER_INFO_NAMES;
extern const NameTable BUFFER_PART_INFO_NAMES;
extern const NameTable SEGMENT_INFO_NAMES;
extern const NameTable FLOW_INFO_NAMES;
extern const NameTable PORT_INFO_NAMES;
extern const NameTable URL_INFO_NAMES;
extern const NameTable EVENT_INFO_NAMES;
extern const NameTable EVENT_DATA_INFO_NAMES;
extern const NameTable EVENT_TYPE_NAMES;
extern const NameTable DEVICE_ACCESS_NAMES;
extern const NameTable ACQ_QUEUE_NAMES;
extern const NameTable ACQ_START_NAMES;
extern const NameTable ACQ_STOP_NAMES;
extern const NameTable INFO_DATATYPE_NAMES;

// The table's name of `value`, or "Unknown".
const char* LookUpName(NameTable table, int32_t value);

// "GC_ERR_SUCCESS", the standard's name of -1001 to -1023, or "Unknown".
const char* FormatErrorName(GC_ERROR code);

// Every form below writes to `out` and leaves its number formatting as it was.
// A form never reads a caller's byte beyond the size it is given.

// 16 upper-case hex digits, no prefix; a null pointer is sixteen zeros.
void FormatPointer(std::ostream& out, const void* pointer);
// "0x" and lower-case hex without leading zeros.
void FormatAddress(std::ostream& out, uint64_t address);
// "<signed value> [<name>]".
void FormatCommand(std::ostream& out, int32_t value, NameTable names);
// The pointer form, then " [<size or { null }>]".
void FormatSizePointer(std::ostream& out, const size_t* size);

// The value behind a pointer, "{ null }" for a null pointer.
void FormatPointee(std::ostream& out, const size_t* size);
void FormatPointee(std::ostream& out, const uint32_t* count);
void FormatPointee(std::ostream& out, void* const* pointer);
void FormatPointee(std::ostream& out, const bool8_t* flag);
void FormatPointee(std::ostream& out, const GC_ERROR* error_code);

// A caller buffer of a GenTL data type: text (cut at 128 bytes), the number
// of that type, or a hex dump of at most 8 bytes. A number is printed only
// when the size covers its width; otherwise the bytes the size covers are
// dumped. "{ null }", "{ unknown command datatype }" or
// "{ unknown buffer size }" when the buffer, type or size pointer is null.
void FormatBuffer(std::ostream& out, const void* buffer, const INFO_DATATYPE* type,
                  const size_t* size);
// A zero-terminated input string, read no further than needed for the cut.
void FormatString(std::ostream& out, const char* text);
// `count` entries of `entry_size` bytes as a hex dump; unknown size for a null count.
void FormatArray(std::ostream& out, const void* entries, const size_t* count, size_t entry_size);
// The hex dump, then " [<unsigned>U, <signed>S]" when the size is 2, 4 or 8.
void FormatRegisterValue(std::ostream& out, const void* buffer, const size_t* size);
// The three outputs of a get-info call: "*piType=..., *pBuffer=..., *piSize=...".
void FormatInfoOutput(std::ostream& out, const INFO_DATATYPE* type, const void* buffer,
                      const size_t* size);

// Writes the "label=value" pairs of one call-log line, with ", " between them.
// Borrows the stream for its own lifetime; one line, one thread.
class CallLogLine {
public:
    explicit CallLogLine(std::ostream& line) : out(line) {}
    CallLogLine(const CallLogLine&) = delete;
    CallLogLine& operator=(const CallLogLine&) = delete;

    CallLogLine& Pointer(const char* label, const void* pointer);
    CallLogLine& Index(const char* label, uint32_t index);
    CallLogLine& Count(const char* label, uint64_t count);
    CallLogLine& Address(const char* label, uint64_t address);
    CallLogLine& Command(const char* label, int32_t value, NameTable names);
    CallLogLine& SizePointer(const char* label, const size_t* size);
    template <typename T>
    CallLogLine& Pointee(const char* label, const T* pointer)
    {
        FormatPointee(Label(label), pointer);
        return *this;
    }
    CallLogLine& String(const char* label, const char* text);
    // A text the call wrote, sized by the caller's size variable.
    CallLogLine& StringOutput(const char* label, const char* text, const size_t* size);
    CallLogLine& HexBuffer(const char* label, const void* buffer, const size_t* size);
    CallLogLine& Array(const char* label, const void* entries, const size_t* count,
                       size_t entry_size);
    CallLogLine& RegisterValue(const char* label, const void* buffer, const size_t* size);
    // iInfoCmd, piType, pBuffer and piSize of a get-info call.
    CallLogLine& InfoInputs(int32_t command, NameTable names, const INFO_DATATYPE* type,
                            const void* buffer, const size_t* size);
    CallLogLine& InfoOutput(const INFO_DATATYPE* type, const void* buffer, const size_t* size);

private:
    // Writes the separator and "label=", and returns the stream for the value.
    std::ostream& Label(const char* label);

    std::ostream& out;  // the caller's line, alive while this object is
    bool first = true;
};

}  // namespace GenTLCore
