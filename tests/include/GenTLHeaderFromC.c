/* Compiles the GenTL declarations as C and reports the layout C sees. */
#include "GenTLHeaderFromC.h"

const uint64_t GENTL_LAYOUT_FROM_C[GENTL_LAYOUT_COUNT] = GENTL_LAYOUT_VALUES;
