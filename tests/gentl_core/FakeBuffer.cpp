// FakeBuffer.cpp: the test buffer is defined in its header; this unit is
// what the test and benchmark targets list.
#include "FakeBuffer.h"
