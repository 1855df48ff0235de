/* Compiles the GenTL declarations as C and reports the layout C sees, so the
 * C++ test can prove both languages agree. */
#include "GenTL.h"

#include "GenTLHeaderFromC.h"

/* _Generic does not evaluate its operand: no definition is needed to link. */
#define CHECK_POINTER_TYPE(name) \
    _Static_assert(_Generic(&name, P##name: 1, default: 0), "P" #name " matches " #name);
GENTL_FUNCTIONS(CHECK_POINTER_TYPE)

#define COUNT_ONE(name) +1

void GetGenTLLayoutFromC(GenTLLayout* layout)
{
    layout->register_entry_size = sizeof(PORT_REGISTER_STACK_ENTRY);
    layout->chunk_size = sizeof(SINGLE_CHUNK_DATA);
    layout->buffer_info_size = sizeof(DS_BUFFER_INFO_STACKED);
    layout->part_info_size = sizeof(DS_BUFFER_PART_INFO_STACKED);
    layout->buffer_info_result_offset = offsetof(DS_BUFFER_INFO_STACKED, iResult);
    layout->part_info_buffer_offset = offsetof(DS_BUFFER_PART_INFO_STACKED, pBuffer);
    layout->part_info_result_offset = offsetof(DS_BUFFER_PART_INFO_STACKED, iResult);
    layout->bool8_size = sizeof(bool8_t);
    layout->error_size = sizeof(GC_ERROR);
    layout->infinite = GENTL_INFINITE;
    layout->custom_error = GC_ERR_CUSTOM_ID;
    layout->ambiguous_error = GC_ERR_AMBIGUOUS;
    layout->function_count = 0 GENTL_FUNCTIONS(COUNT_ONE);
}
