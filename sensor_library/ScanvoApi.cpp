// The sensor library's C interface: one forwarder per function to the
// process-wide facade, which never throws.
#include "sensor_library/ScanvoDLL.h"

void* Scanvo_Connect(char* ip, char* port, int timeout_ms)
{
    return InitScanvoInstance().Connect(ip, port, timeout_ms, 0, nullptr, nullptr);
}

void* Scanvo_ConnectUDP(char* ip, char* port, char* host_ip, char* host_port)
{
    return InitScanvoInstance().Connect(ip, port, 0, 1, host_ip, host_port);
}

void Scanvo_ConnectEx(void* reserved, char* ip, char* port, int timeout_ms)
{
    InitScanvoInstance().ConnectEx(reserved, ip, port, timeout_ms);
}

void* Scanvo_Disconnect(void* handle)
{
    return InitScanvoInstance().Disconnect(handle);
}

int Scanvo_GetConnectStatus(void* handle, int* status)
{
    return InitScanvoInstance().GetConnectStatus(handle, status);
}

int Scanvo_ReadData(void* handle, char* name, char* buffer, int buffer_size, int max_age_ms)
{
    return InitScanvoInstance().ReadData(handle, name, buffer, buffer_size, max_age_ms);
}

int Scanvo_WriteData(void* handle, char* text, int length)
{
    return InitScanvoInstance().WriteData(handle, text, length);
}

int Scanvo_GetXZIExtended(void* handle, double* x, double* z, int* intensity, int* peak_width,
                          int buffer_size, unsigned int* encoder, unsigned char* user_io,
                          int timeout_ms, unsigned char* raw_buffer, int raw_buffer_size,
                          int* picture_count)
{
    return InitScanvoInstance().GetXZIExtended(handle, x, z, intensity, peak_width, buffer_size,
                                               encoder, user_io, timeout_ms, raw_buffer,
                                               raw_buffer_size, picture_count);
}

int Scanvo_GetRangeImage(void* handle, unsigned short* image, int image_size, int timeout_ms,
                         bool* picture_count_error, int* picture_counts, int* encoders,
                         unsigned int* time_stamps)
{
    return InitScanvoInstance().GetRangeImage(handle, image, image_size, timeout_ms,
                                              picture_count_error, picture_counts, encoders,
                                              time_stamps);
}

int Scanvo_GetImage(void* handle, char* buffer, int buffer_size, unsigned int* width,
                    unsigned int* height, unsigned int* x_offset, unsigned int* z_offset,
                    unsigned int* x_step, unsigned int* z_step, unsigned int timeout_ms)
{
    return InitScanvoInstance().GetImage(handle, buffer, buffer_size, width, height, x_offset,
                                         z_offset, x_step, z_step, timeout_ms);
}

int Scanvo_GetRawData(void* handle, unsigned char* buffer, int buffer_size, int reserved)
{
    return InitScanvoInstance().GetRawData(handle, buffer, buffer_size, reserved);
}

int Scanvo_GetInfo(void* handle, char* buffer, int buffer_size, char* key)
{
    return InitScanvoInstance().GetInfo(handle, buffer, buffer_size, key);
}

int Scanvo_GetVersion(unsigned char* buffer, int buffer_size)
{
    return InitScanvoInstance().GetVersion(buffer, buffer_size);
}

int Scanvo_Linearize(void* handle, double x, double z, double* x_mm, double* z_mm)
{
    return InitScanvoInstance().Linearize(handle, x, z, x_mm, z_mm);
}

int Scanvo_SetLinearizationFile(void* handle, char* path)
{
    return InitScanvoInstance().SetLinearizationFile(handle, path);
}

int Scanvo_ResetDllFiFo(void* handle)
{
    return InitScanvoInstance().ResetDllFiFo(handle);
}

int Scanvo_GetDllFiFoState(void* handle)
{
    return InitScanvoInstance().GetDllFiFoState(handle);
}

int Scanvo_GetLinDatType(void* handle, void* buffer, int buffer_size)
{
    return InitScanvoInstance().GetLinDatType(handle, buffer, buffer_size);
}

void Scanvo_SetReadDataCallback(void* context, void* callback)
{
    InitScanvoInstance().SetReadDataCallback(context, callback);
}

int Scanvo_ConvertMmToPix(void* handle, double x1, double z1, double x2, double z2, int* x_start,
                          int* z_start, int* x_end, int* z_end)
{
    return InitScanvoInstance().ConvertMmToPix(handle, x1, z1, x2, z2, x_start, z_start, x_end,
                                               z_end);
}
