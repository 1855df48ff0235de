/* GenTLHeaderFromC.h: the layout facts of the GenTL declarations, computed
 * once in C and once in C++, so the test can prove both languages agree. */
#ifndef GENTESK_TESTS_GENTL_HEADER_FROM_C_H
#define GENTESK_TESTS_GENTL_HEADER_FROM_C_H

#include <stddef.h>
#include <stdint.h>

#include "GenTL.h"

#define GENTL_LAYOUT_VALUES                                                                      \
    {sizeof(PORT_REGISTER_STACK_ENTRY), sizeof(SINGLE_CHUNK_DATA),                             \
     sizeof(DS_BUFFER_INFO_STACKED), sizeof(DS_BUFFER_PART_INFO_STACKED),                      \
     offsetof(DS_BUFFER_INFO_STACKED, iResult), offsetof(DS_BUFFER_PART_INFO_STACKED, pBuffer), \
     offsetof(DS_BUFFER_PART_INFO_STACKED, iResult), sizeof(bool8_t), sizeof(GC_ERROR),         \
     (uint64_t)GENTL_INFINITE, (uint64_t)GC_ERR_CUSTOM_ID, (uint64_t)GC_ERR_AMBIGUOUS}
#define GENTL_LAYOUT_COUNT 12

#ifdef __cplusplus
extern "C" {
#endif
extern const uint64_t GENTL_LAYOUT_FROM_C[GENTL_LAYOUT_COUNT];
#ifdef __cplusplus
}
#endif

#endif
