#include "gentl_producers/GenTesk3d/SensorLink.h"

#include <climits>

#include "sensor_library/ScanvoDLL.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr int REPLY_BYTES = 1024;

}  // namespace

ScanvoSensorLink::ScanvoSensorLink(void* handle) : handle(handle) {}

int ScanvoSensorLink::WriteData(const std::string& text)
{
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return -1;
    return InitScanvoInstance().WriteData(handle, text.c_str(), static_cast<int>(text.size()));
}

int ScanvoSensorLink::ReadData(const std::string& request, std::string& reply, int max_age_ms)
{
    char buffer[REPLY_BYTES] = {};
    const int result =
        InitScanvoInstance().ReadData(handle, request.c_str(), buffer, REPLY_BYTES, max_age_ms);
    buffer[REPLY_BYTES - 1] = '\0';
    reply = buffer;
    return result;
}

int ScanvoSensorLink::GetXZIExtended(ProfileRequest& profile)
{
    return InitScanvoInstance().GetXZIExtended(
        handle, profile.x, profile.z, profile.intensity, profile.peak_width, profile.buffer_size,
        &profile.encoder, &profile.user_io, profile.timeout_ms, nullptr, 0, &profile.picture_count);
}

int ScanvoSensorLink::GetConnectStatus(int& status)
{
    return InitScanvoInstance().GetConnectStatus(handle, &status);
}

int ScanvoSensorLink::ResetDllFiFo()
{
    return InitScanvoInstance().ResetDllFiFo(handle);
}

int ScanvoSensorLink::GetFifoDropped(uint32_t& dropped)
{
    return InitScanvoInstance().GetFifoDropped(handle, dropped);
}

bool ScanvoSensorLink::TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width,
                                       uint32_t& height, uint32_t timeout_ms)
{
    return InitScanvoInstance().TakeCameraImage(handle, image, width, height, timeout_ms);
}

void ScanvoSensorLink::Disconnect()
{
    InitScanvoInstance().Disconnect(handle);
}

}  // namespace GenTLCore::ZoTL
