// GenTLHeaderTest.cpp: the GenTL declarations carry the standard's numbers and
// layouts in C++ and in C alike.
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <type_traits>

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"
#include "include/GenTLHeaderFromC.h"

namespace {

// Numbers a consumer compiled against the standard puts on the wire: the
// error codes, and the last or a far value of the main enumerations.
static_assert(GC_ERR_SUCCESS == 0 && GC_ERR_ERROR == -1001 && GC_ERR_NOT_INITIALIZED == -1002);
static_assert(GC_ERR_INVALID_HANDLE == -1006 && GC_ERR_INVALID_PARAMETER == -1009);
static_assert(GC_ERR_ABORT == -1012 && GC_ERR_NOT_AVAILABLE == -1014);
static_assert(GC_ERR_BUFFER_TOO_SMALL == -1016 && GC_ERR_OUT_OF_MEMORY == -1021);
static_assert(GC_ERR_BUSY == -1022 && GC_ERR_AMBIGUOUS == -1023 && GC_ERR_CUSTOM_ID == -10000);
static_assert(GENTL_INFINITE == 0xFFFFFFFFFFFFFFFFULL);

static_assert(INFO_DATATYPE_STRING == 1 && INFO_DATATYPE_UINT64 == 8 && INFO_DATATYPE_PTR == 10);
static_assert(INFO_DATATYPE_BUFFER == 13 && INFO_DATATYPE_PTRDIFF == 14 && TL_INFO_TLTYPE == 4);
static_assert(DEVICE_ACCESS_EXCLUSIVE == 4 && STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR == 15);
static_assert(BUFFER_INFO_IS_COMPOSITE == 31 && EVENT_MODULE == 5 && ACQ_STOP_FLAGS_KILL == 1);
static_assert(PAYLOAD_TYPE_GENDC == 11 && PART_DATATYPE_3D_IMAGE == 5 && EVENT_CUSTOM_ID == 1000);

// Every command and flag travels as a signed 32-bit value.
static_assert(std::is_same_v<GC_ERROR, int32_t> && std::is_same_v<INFO_DATATYPE, int32_t>);
static_assert(std::is_same_v<BUFFER_INFO_CMD, int32_t> && std::is_same_v<EVENT_TYPE, int32_t>);
static_assert(std::is_same_v<bool8_t, uint8_t> && std::is_same_v<DS_HANDLE, void*>);

// Stacked records: packed, fields where the consumer writes them.
static_assert(offsetof(PORT_REGISTER_STACK_ENTRY, pBuffer) == 8 &&
              offsetof(PORT_REGISTER_STACK_ENTRY, Size) == 16 &&
              offsetof(SINGLE_CHUNK_DATA, ChunkLength) == 16);
static_assert(offsetof(DS_BUFFER_INFO_STACKED, iType) == 4 &&
              offsetof(DS_BUFFER_INFO_STACKED, pBuffer) == 8 &&
              offsetof(DS_BUFFER_INFO_STACKED, iSize) == 16 &&
              offsetof(DS_BUFFER_INFO_STACKED, iResult) == 24);

// Each P<Name> is exactly the type of &<Name>, so a dlsym result cast to it is sound.
#define CHECK_POINTER_TYPE(name, params, args) \
    static_assert(std::is_same_v<decltype(&name), P##name>, "P" #name " matches " #name);
GENTL_FUNCTION_LIST(CHECK_POINTER_TYPE)
#undef CHECK_POINTER_TYPE

// Spot checks of signatures that are easy to get wrong.
static_assert(
    std::is_same_v<PGCWritePort, GC_ERROR (*)(PORT_HANDLE, uint64_t, const void*, size_t*)>);
static_assert(
    std::is_same_v<PDSRevokeBuffer, GC_ERROR (*)(DS_HANDLE, BUFFER_HANDLE, void**, void**)>);
#define COUNT_ONE(name, params, args) +1
static_assert(0 GENTL_FUNCTION_LIST(COUNT_ONE) == 64);

// A C translation unit sees the same declarations as C++.
TEST(GenTLHeaderTest, CSeesTheSameRecordSizesOffsetsAndConstants)
{
    const uint64_t from_cpp[] = GENTL_LAYOUT_VALUES;
    static_assert(std::size(from_cpp) == GENTL_LAYOUT_COUNT);
    for (size_t i = 0; i < GENTL_LAYOUT_COUNT; ++i)
        EXPECT_EQ(from_cpp[i], GENTL_LAYOUT_FROM_C[i]) << "value " << i;
}

}  // namespace
