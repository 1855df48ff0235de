// InfoCommandHandling.h: the one implementation of the GenTL typed-output
// convention used by every info query and every ID query.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "GenTL.h"

namespace GenTLCore {

// Every function here takes the consumer's three output arguments as they came:
// `type` receives the INFO_DATATYPE, `buffer` the answer and `*size` holds the
// buffer's size on entry and the answer's size on return. A null buffer asks
// for the size only. Results: 0, GC_ERR_INVALID_PARAMETER for a missing
// pointer, GC_ERR_BUFFER_TOO_SMALL for a small buffer. A failure is reported
// (last error) and leaves type, buffer and size untouched, so the required size
// is learnt from a query with a null buffer. The branding's
// RelaxedPointerChecks lets a null type pointer pass, and for numbers a null
// size pointer beside a given buffer (the value is then written unchecked).
// Stateless; any thread.

// The numeric answers with a data type of their own. The constraint keeps a
// bool or a narrower integer from silently picking another type's overload.
template <class T>
concept InfoNumber = std::same_as<T, int32_t> || std::same_as<T, uint32_t> ||
                     std::same_as<T, bool8_t> || std::same_as<T, void*>;

// Writes the value's bytes as the answer of type `value_type`.
GC_ERROR CopyInfoNumber(const void* value, size_t value_size, INFO_DATATYPE value_type,
                        INFO_DATATYPE* type, void* buffer, size_t* size);

template <InfoNumber T>
constexpr INFO_DATATYPE INFO_DATATYPE_OF = std::same_as<T, int32_t>    ? INFO_DATATYPE_INT32
                                           : std::same_as<T, uint32_t> ? INFO_DATATYPE_UINT32
                                           : std::same_as<T, bool8_t>  ? INFO_DATATYPE_BOOL8
                                                                       : INFO_DATATYPE_PTR;

// int32 (5), uint32 (6), bool8 (11, written as 0 or 1) and pointer (10).
template <InfoNumber T>
GC_ERROR CopyInfoValue(T value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if constexpr (std::same_as<T, bool8_t>)
        value = value != 0 ? 1 : 0;
    return CopyInfoNumber(&value, sizeof value, INFO_DATATYPE_OF<T>, type, buffer, size);
}

// 64-bit answers name their type: INFO_DATATYPE_UINT64 for a count or value,
// INFO_DATATYPE_SIZET for a size.
template <std::same_as<uint64_t> T>
GC_ERROR CopyInfoValue(T value, INFO_DATATYPE value_type, INFO_DATATYPE* type, void* buffer,
                       size_t* size)
{
    return CopyInfoNumber(&value, sizeof value, value_type, type, buffer, size);
}

GC_ERROR CopyInfoInt32(int32_t value, INFO_DATATYPE* type, void* buffer, size_t* size);
GC_ERROR CopyInfoUInt32(uint32_t value, INFO_DATATYPE* type, void* buffer, size_t* size);
GC_ERROR CopyInfoUInt64(uint64_t value, INFO_DATATYPE* type, void* buffer, size_t* size);
GC_ERROR CopyInfoSizeT(size_t value, INFO_DATATYPE* type, void* buffer, size_t* size);
GC_ERROR CopyInfoPtr(const void* value, INFO_DATATYPE* type, void* buffer, size_t* size);
GC_ERROR CopyInfoBool8(bool value, INFO_DATATYPE* type, void* buffer, size_t* size);

// A string with its terminating NUL (type 1; size is its length plus one).
GC_ERROR CopyInfoString(std::string_view value, INFO_DATATYPE* type, void* buffer, size_t* size);

// A block of bytes, copied as it is (type 13; size is its length). The block
// must not be empty.
GC_ERROR CopyInfoBuffer(const void* data, size_t data_size, INFO_DATATYPE* type, void* buffer,
                        size_t* size);

// An ID string with its NUL, for the ID queries, which have no type output.
GC_ERROR CopyIDString(char* buffer, size_t* size, std::string_view id);

}  // namespace GenTLCore
