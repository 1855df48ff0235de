// ScanvoDLL.h: the sensor library's facade (open sensors named by handles,
// the library-level settings, one sensor at a time through ISensor) and the
// library's exported C interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sensor_library/ISensor.h"
#include "sensor_library/LibraryLogger.h"

class CScanvo;
class SensorTable;

// Every instance, copies included, shares the one table of open sensors; the
// process-wide instance (InitScanvoInstance) serves the C interface and the
// producer. The last instance to go disconnects the sensors still open.
//
// Threads: the upper-case operations may be called from any thread. Per
// sensor, calls of one kind run one at a time, calls of different kinds in
// parallel, and Disconnect wakes the waits in progress and then waits for
// those calls to end (SensorTable). A read-data callback may call every
// operation but Disconnect, which it is refused. The ISensor operations work
// on the stored handle and attributes, which belong to one caller thread at
// a time.
// Locks: the table's connect mutex (connects, and the read-data callback),
// then a sensor's slot locks, then the connection's own.
class SCANVO_EXPORT ScanvoDLL : public ISensor {
public:
    static constexpr int UNKNOWN_HANDLE = -1000;

    ScanvoDLL();
    // Shares the table; copies the callback, logger, handle and attributes.
    ScanvoDLL(const ScanvoDLL& other);
    ScanvoDLL& operator=(const ScanvoDLL&) = delete;
    ~ScanvoDLL() override;

    // Mode 0 is TCP; mode 1 streams data by UDP to host_ip:host_port. Null
    // when every slot is taken or the connection cannot be set up; whether
    // the sensor answers shows later in GetConnectStatus.
    void* Connect(const char* ip, const char* port, int timeout_ms, int mode, const char* host_ip,
                  const char* host_port);
    // A TCP connect with the default sizes. It gives no handle back.
    void ConnectEx(void* reserved, const char* ip, const char* port, int timeout_ms);
    // Null once disconnected, and for null; the handle itself when unknown,
    // or when called from a read-data callback (which runs on a transport
    // thread that the disconnect would have to join).
    void* Disconnect(void* handle);

    // Every operation on a handle returns UNKNOWN_HANDLE for a null handle or
    // one not open; the other results are the connection's (CScanvo).
    int GetConnectStatus(void* handle, int* status);
    int ReadData(void* handle, const char* name, char* buffer, int buffer_size, int max_age_ms);
    // With a null handle, one of the library-level commands (SensorTable).
    int WriteData(void* handle, const char* text, int length);
    int GetXZIExtended(void* handle, double* x, double* z, int* intensity, int* peak_width,
                       int buffer_size, unsigned int* encoder, unsigned char* user_io,
                       int timeout_ms, unsigned char* raw_buffer, int raw_buffer_size,
                       int* picture_count);
    int GetRangeImage(void* handle, unsigned short* image, int image_size, int timeout_ms,
                      bool* picture_count_error, int* picture_counts, int* encoders,
                      unsigned int* time_stamps);
    int GetImage(void* handle, char* buffer, int buffer_size, unsigned int* width,
                 unsigned int* height, unsigned int* x_offset, unsigned int* z_offset,
                 unsigned int* x_step, unsigned int* z_step, unsigned int timeout_ms);
    // One camera image for the producer, resized into `image`; false when
    // none came within the time-out.
    bool TakeCameraImage(void* handle, std::vector<uint8_t>& image, uint32_t& width,
                         uint32_t& height, uint32_t timeout_ms);
    int GetRawData(void* handle, unsigned char* buffer, int buffer_size, int reserved);
    int GetInfo(void* handle, char* buffer, int buffer_size, const char* key);
    int ResetDllFiFo(void* handle);
    // FIFO fill in percent.
    int GetDllFiFoState(void* handle);
    // Containers the FIFO dropped to make room since the connection was set
    // up: 0, or UNKNOWN_HANDLE.
    int GetFifoDropped(void* handle, uint32_t& dropped);
    // Links set up to the sensor since the connect, reconnects included: 0,
    // or UNKNOWN_HANDLE.
    int GetLinkCount(void* handle, uint32_t& links);

    // The 152-byte linearization record: 0, -1 for a buffer that is null or
    // too small, -3 without linearization data.
    int GetLinDatType(void* handle, void* buffer, int buffer_size);
    // 0 whether the file was read or not; a failed read leaves none.
    int SetLinearizationFile(void* handle, const char* path);
    // Pixel to millimetres: 0, 1 outside the tables, -1 without data.
    int Linearize(void* handle, double x, double z, double* x_mm, double* z_mm);
    // Millimetre rectangle to a pixel region: 0, -1 when nothing of the field
    // linearizes or the geometry is unusable, or GetLinDatType's error.
    int ConvertMmToPix(void* handle, double x1, double z1, double x2, double z2, int* x_start,
                       int* z_start, int* x_end, int* z_end);

    // "1.15.0   x64": its length, or -1 when it and its NUL do not fit.
    int GetVersion(unsigned char* buffer, int buffer_size);
    // callback(context, data, length) for every chunk received by connections
    // made afterwards, on their transport threads. Null clears it.
    void SetReadDataCallback(void* context, void* callback);

    // The handle the ISensor operations use.
    void* getActiveScanvo();
    int getDllFiFoState();
    void setOpenTransferAttributes(const std::string& ip, const std::string& port, int timeout_ms);

    // ISensor, on the stored handle.
    std::string getLibraryVersion() override;
    SensorType type() override;
    bool openTransfer() override;
    bool closeTransfer() override;
    int getConnectStatus(int* status) override;
    int getXmlDescription(char* buffer, int size) override;
    int getData(double* x, double* z, int* intensity, int* peak_width, int buffer_size,
                int timeout_ms) override;
    int writeData(const std::vector<unsigned char>& data) override;
    int writeData(const char* text) override;
    int readData(const char* name, char* buffer, int size, int max_age_ms) override;

private:
    // Half the field width dz millimetres beyond its start.
    double GetPointOnTrapezEdgeCorrected(double x_start, double x_end, double z_range, double dz);

    // Helpers stay inside the library, though the class is exported.
    struct ConnectRequest;
    SCANVO_HIDDEN void* ConnectInFreeSlot(ConnectRequest& request);
    // Counts one delivery to the application and writes the rate line when due.
    SCANVO_HIDDEN void CountDelivery(const CScanvo& connection, bool through_logger);

    // Fixed at construction.
    SensorTable* table;  // the one table, which outlives every instance
    // Guarded by the table's connect mutex.
    std::function<void(char*, int)> read_data_callback;
    LibraryLogger logger;

    // The ISensor operations' sensor, owned by their caller's thread.
    void* sensor_handle = nullptr;
    std::string transfer_ip;
    std::string transfer_port;
    int transfer_timeout_ms = 0;
};

// The process-wide instance, built on the first call (at load).
ScanvoDLL& InitScanvoInstance();

// The C interface: each function forwards to the process-wide instance.
extern "C" {
SCANVO_EXPORT void* Scanvo_Connect(char* ip, char* port, int timeout_ms);
SCANVO_EXPORT void* Scanvo_ConnectUDP(char* ip, char* port, char* host_ip, char* host_port);
SCANVO_EXPORT void Scanvo_ConnectEx(void* reserved, char* ip, char* port, int timeout_ms);
SCANVO_EXPORT void* Scanvo_Disconnect(void* handle);
SCANVO_EXPORT int Scanvo_GetConnectStatus(void* handle, int* status);
SCANVO_EXPORT int Scanvo_ReadData(void* handle, char* name, char* buffer, int buffer_size,
                                  int max_age_ms);
SCANVO_EXPORT int Scanvo_WriteData(void* handle, char* text, int length);
SCANVO_EXPORT int Scanvo_GetXZIExtended(void* handle, double* x, double* z, int* intensity,
                                        int* peak_width, int buffer_size, unsigned int* encoder,
                                        unsigned char* user_io, int timeout_ms,
                                        unsigned char* raw_buffer, int raw_buffer_size,
                                        int* picture_count);
SCANVO_EXPORT int Scanvo_GetRangeImage(void* handle, unsigned short* image, int image_size,
                                       int timeout_ms, bool* picture_count_error,
                                       int* picture_counts, int* encoders,
                                       unsigned int* time_stamps);
SCANVO_EXPORT int Scanvo_GetImage(void* handle, char* buffer, int buffer_size,
                                  unsigned int* width, unsigned int* height,
                                  unsigned int* x_offset, unsigned int* z_offset,
                                  unsigned int* x_step, unsigned int* z_step,
                                  unsigned int timeout_ms);
SCANVO_EXPORT int Scanvo_GetRawData(void* handle, unsigned char* buffer, int buffer_size,
                                    int reserved);
SCANVO_EXPORT int Scanvo_GetInfo(void* handle, char* buffer, int buffer_size, char* key);
SCANVO_EXPORT int Scanvo_GetVersion(unsigned char* buffer, int buffer_size);
SCANVO_EXPORT int Scanvo_Linearize(void* handle, double x, double z, double* x_mm, double* z_mm);
SCANVO_EXPORT int Scanvo_SetLinearizationFile(void* handle, char* path);
SCANVO_EXPORT int Scanvo_ResetDllFiFo(void* handle);
SCANVO_EXPORT int Scanvo_GetDllFiFoState(void* handle);
SCANVO_EXPORT int Scanvo_GetLinDatType(void* handle, void* buffer, int buffer_size);
SCANVO_EXPORT void Scanvo_SetReadDataCallback(void* context, void* callback);
SCANVO_EXPORT int Scanvo_ConvertMmToPix(void* handle, double x1, double z1, double x2, double z2,
                                        int* x_start, int* z_start, int* x_end, int* z_end);
}
