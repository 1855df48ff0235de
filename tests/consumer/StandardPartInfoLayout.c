/* Declares the GenTL 1.6 stacked part-info entry as the standard does, so
 * that a producer with another layout writes where this consumer does not
 * look, or reads its buffer pointer from the wrong bytes. */
#include "StandardPartInfoLayout.h"

#include <string.h>

#pragma pack(push, 1)
typedef struct StandardPartInfoEntry {
    uint32_t iPartIndex;
    int32_t iInfoCmd;
    int32_t iResult;
    int32_t iType;
    void* pBuffer;
    size_t iSize;
} StandardPartInfoEntry;
#pragma pack(pop)

typedef int32_t (*StandardPartInfoStacked)(void*, void*, StandardPartInfoEntry*, size_t);

enum { REGION_ID_COMMAND = 12, UNTOUCHED = 0x5A5A5A5A };

int32_t QueryRegionIDsStandardLayout(void (*function)(void), void* stream, void* buffer,
                                     StandardPartInfoAnswer answers[2])
{
    StandardPartInfoEntry entries[2];
    uint64_t values[2] = {0, 0};
    int32_t result;
    int i;
    _Static_assert(sizeof(StandardPartInfoEntry) == 32, "standard entry is 32 bytes");
    memset(entries, 0, sizeof entries);
    for (i = 0; i < 2; ++i) {
        entries[i].iPartIndex = (uint32_t)i;
        entries[i].iInfoCmd = REGION_ID_COMMAND;
        entries[i].iResult = UNTOUCHED;
        entries[i].pBuffer = &values[i];
        entries[i].iSize = sizeof values[i];
    }
    result = ((StandardPartInfoStacked)function)(stream, buffer, entries, 2);
    for (i = 0; i < 2; ++i) {
        answers[i].result = entries[i].iResult;
        answers[i].type = entries[i].iType;
        answers[i].value = values[i];
        answers[i].size = entries[i].iSize;
    }
    return result;
}
