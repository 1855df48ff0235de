#include "gentl_core/InfoCommandHandling.h"

#include <cstring>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

const char* const MISSING_OUTPUT_SIZE = "Output buffer size pointer set to NULL in a get-info function.";
const char* const MISSING_TYPE = "Pointer for datatype value set to NULL in a get-info function.";

// Asked afresh at each check: the branding may be configured after load.
bool IsRelaxed()
{
    return GetBranding().RelaxedPointerChecks();
}

// The part shared by strings, blocks and IDs once the size pointer is known to
// be given: the answer is `data` plus an optional NUL.
GC_ERROR CopySized(const void* data, size_t data_size, bool add_nul, const char* too_small,
                   void* buffer, size_t* size)
{
    const size_t answer_size = data_size + (add_nul ? 1 : 0);
    if (buffer != nullptr) {
        if (*size < answer_size)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL, too_small);
        if (data_size > 0)
            std::memcpy(buffer, data, data_size);
        if (add_nul)
            static_cast<char*>(buffer)[data_size] = '\0';
    }
    *size = answer_size;
    return GC_ERR_SUCCESS;
}

// Strings and blocks: checks the size and type pointers, copies, then writes
// the type, so a failure leaves the type untouched too.
GC_ERROR CopyTyped(const void* data, size_t data_size, bool add_nul, INFO_DATATYPE value_type,
                   const char* too_small, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (size == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, MISSING_OUTPUT_SIZE);
    if (type == nullptr && !IsRelaxed())
        return ReportError(GC_ERR_INVALID_PARAMETER, MISSING_TYPE);
    const GC_ERROR result = CopySized(data, data_size, add_nul, too_small, buffer, size);
    if (result == GC_ERR_SUCCESS && type != nullptr)
        *type = value_type;
    return result;
}

}  // namespace

GC_ERROR CopyInfoNumber(const void* value, size_t value_size, INFO_DATATYPE value_type,
                        INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (size == nullptr && (buffer == nullptr || !IsRelaxed()))
        return ReportError(GC_ERR_INVALID_PARAMETER,
                           "Invalid buffer size pointer in a get-info function.");
    if (type == nullptr && !IsRelaxed())
        return ReportError(GC_ERR_INVALID_PARAMETER, MISSING_TYPE);
    if (buffer != nullptr) {
        if (size != nullptr && *size < value_size)
            return ReportError(GC_ERR_BUFFER_TOO_SMALL,
                               "A buffer passed to the get-info function is too small to hold "
                               "given numeric value.");
        std::memcpy(buffer, value, value_size);
    }
    if (type != nullptr)
        *type = value_type;
    if (size != nullptr)
        *size = value_size;
    return GC_ERR_SUCCESS;
}

GC_ERROR CopyInfoInt32(int32_t value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(value, type, buffer, size);
}

GC_ERROR CopyInfoUInt32(uint32_t value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(value, type, buffer, size);
}

GC_ERROR CopyInfoUInt64(uint64_t value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(value, INFO_DATATYPE_UINT64, type, buffer, size);
}

GC_ERROR CopyInfoSizeT(size_t value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(uint64_t{value}, INFO_DATATYPE_SIZET, type, buffer, size);
}

GC_ERROR CopyInfoPtr(const void* value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(const_cast<void*>(value), type, buffer, size);
}

GC_ERROR CopyInfoBool8(bool value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyInfoValue(bool8_t{value}, type, buffer, size);
}

GC_ERROR CopyInfoString(std::string_view value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    return CopyTyped(value.data(), value.size(), true, INFO_DATATYPE_STRING,
                     "A buffer passed to the get-info function is too small to hold given "
                     "string value.",
                     type, buffer, size);
}

GC_ERROR CopyInfoBuffer(const void* data, size_t data_size, INFO_DATATYPE* type, void* buffer,
                        size_t* size)
{
    // An empty block has no sensible answer; refuse rather than copy from nowhere.
    if (!TL_ASSERT_MSG(data != nullptr && data_size > 0, "data!=NULL && data_size>0"))
        return ReportError(GC_ERR_ERROR, "A get-info function was given no buffer data to return.");
    return CopyTyped(data, data_size, false, INFO_DATATYPE_BUFFER,
                     "A buffer passed to the get-info function is too small to hold given "
                     "buffer data.",
                     type, buffer, size);
}

GC_ERROR CopyIDString(char* buffer, size_t* size, std::string_view id)
{
    if (size == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, MISSING_OUTPUT_SIZE);
    return CopySized(id.data(), id.size(), true,
                     "A string buffer passed to the function is too small to hold given string "
                     "value.",
                     buffer, size);
}

}  // namespace GenTLCore
