// The Tesk3D data stream before its scan engine exists.
#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"

#include "gentl_core/ErrorHandling.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr const char* NO_ACQUISITION =
    "Acquisition from a Tesk3D sensor is not supported yet: the device opens, but its data "
    "stream cannot.";

}  // namespace

bool StreamTagTesk::MatchesAlternativeID(const std::string&, const std::string&) const
{
    TL_ASSERT(!"Unexpected data stream alternative ID key");
    return false;
}

GenTLDataStreamTesk::GenTLDataStreamTesk(const SharedPtr<StreamTag>& tag,
                                         const SharedPtr<SensorInterface>& sensor_interface,
                                         const SharedPtr<FeatureCache>& cache)
    : GenTLDataStream(tag), sensor_interface(sensor_interface), cache(cache)
{
}

GC_ERROR GenTLDataStreamTesk::OpenEngine()
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED, NO_ACQUISITION);
}

}  // namespace GenTLCore::ZoTL
