// FakeBuffer.cpp: the answers the test buffer refuses.
#include "FakeBuffer.h"

#include "gentl_core/ErrorHandling.h"

namespace AcquisitionTest {

using GenTLCore::ReportError;

GC_ERROR FakeBuffer::GetTimestampNs(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE, "GetBufferInfo: timestamps not supported");
}

GC_ERROR FakeBuffer::GetChunkLayoutID(uint64_t&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE, "GetBufferInfo: no chunk layout ID");
}

GC_ERROR FakeBuffer::GetFileName(std::string&)
{
    return ReportError(GC_ERR_NOT_AVAILABLE, "GetBufferInfo: no file payload");
}

}  // namespace AcquisitionTest
