/* A consumer compiled against the GenTL standard's own declaration of the
 * stacked part-info entry, not against our header. */
#include <stddef.h>
#include <stdint.h>

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

/* Asks the 8-byte region ID (command 12) of part `part`; `result_size_type`
 * receives the entry's result, size and type. */
int32_t QueryRegionIDStandardLayout(void (*function)(void), void* stream, void* buffer,
                                    uint32_t part, uint64_t* region_id,
                                    int64_t result_size_type[3])
{
    StandardPartInfoEntry entry = {part, 12, 0x5A5A5A5A, 0, region_id, sizeof *region_id};
    const int32_t result = ((StandardPartInfoStacked)function)(stream, buffer, &entry, 1);
    result_size_type[0] = entry.iResult;
    result_size_type[1] = (int64_t)entry.iSize;
    result_size_type[2] = entry.iType;
    return result;
}
