/* StandardPartInfoLayout.h: a consumer compiled against the standard GenTL
 * declaration of the stacked part-info entry, not against our header. */
#ifndef GENTESK_TESTS_STANDARD_PART_INFO_LAYOUT_H
#define GENTESK_TESTS_STANDARD_PART_INFO_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the producer answered for one entry, read at the standard offsets. */
typedef struct StandardPartInfoAnswer {
    int32_t result;
    int32_t type;
    uint64_t value;
    size_t size;
} StandardPartInfoAnswer;

/* Asks BUFFER_PART_INFO_REGION_ID (8 bytes) of parts 0 and 1 through
 * DSGetBufferPartInfoStacked (passed as `function`) with the standard entry
 * layout; returns the call's result. */
int32_t QueryRegionIDsStandardLayout(void (*function)(void), void* stream, void* buffer,
                                     StandardPartInfoAnswer answers[2]);

#ifdef __cplusplus
}
#endif

#endif
