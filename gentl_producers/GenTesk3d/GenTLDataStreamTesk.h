// GenTLDataStreamTesk.h: the one data stream of an open Tesk3D sensor and
// its tag. Until the scan engine exists the stream is listed but its open
// is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/StreamTag.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {

// The identity of a device's only stream; fixed at construction.
class StreamTagTesk : public StreamTag {
public:
    explicit StreamTagTesk(std::string device_id) : device_id(std::move(device_id)) {}

    std::string GetDeviceID() const override { return device_id; }
    std::string GetStreamID() const override { return "0"; }
    std::string GetDisplayName() const override { return "Primary data stream of the device"; }
    // No alternative key is known.
    bool MatchesAlternativeID(const std::string& key, const std::string& value) const override;

private:
    const std::string device_id;
};

// Created by GenTLLocalDeviceTesk::CreateDataStreams at each open; shares the
// device's SensorInterface and FeatureCache. Threads and locking as
// GenTLDataStream.
class GenTLDataStreamTesk : public GenTLDataStream {
public:
    GenTLDataStreamTesk(const SharedPtr<StreamTag>& tag,
                        const SharedPtr<SensorInterface>& sensor_interface,
                        const SharedPtr<FeatureCache>& cache);

protected:
    bool ModifiesPayload() override { return true; }
    bool KnowsPayloadSize() override { return false; }
    SharedPtr<GenTLBuffer> CreateBuffer(void*, size_t, void*, bool) override
    {
        return SharedPtr<GenTLBuffer>();
    }
    GC_ERROR PrepareStreaming() override { return GC_ERR_NOT_IMPLEMENTED; }
    bool PrepareBuffer(GenTLBuffer&) override { return false; }
    bool DeconfigureStreaming() override { return true; }
    GC_ERROR StartStreaming() override { return GC_ERR_NOT_IMPLEMENTED; }
    bool StopStreaming() override { return true; }
    void StopEngine() override {}
    bool StartEngine() override { return false; }
    void ScheduleBuffer(GenTLBuffer*) override {}
    int WaitForFilledBuffer(GenTLBuffer*&) override { return WAITBUF_STOPPED; }
    void ReleaseBuffers(std::vector<GenTLBuffer*>&) override {}
    uint64_t GetEngineBufferCount(uint32_t) override { return 0; }
    // Refuses, so that the stream's open says why no scans come.
    GC_ERROR OpenEngine() override;
    void CloseEngine() override {}
    bool ImplementsGenDC() override { return false; }

private:
    // Fixed at construction; the scan engine will use them.
    const SharedPtr<SensorInterface> sensor_interface;
    const SharedPtr<FeatureCache> cache;
};

}  // namespace GenTLCore::ZoTL
