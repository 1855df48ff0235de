// SensorLink.h: the calls one open sensor connection offers the producer,
// behind an interface so that tests script the sensor's answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace GenTLCore::ZoTL {

// One profile as GetXZIExtended returns it; the arrays hold `buffer_size`
// entries each.
struct ProfileRequest {
    double* x = nullptr;
    double* z = nullptr;
    int* intensity = nullptr;
    int* peak_width = nullptr;
    int buffer_size = 0;
    int timeout_ms = 0;
    // Filled by the call.
    unsigned int encoder = 0;
    unsigned char user_io = 0;
    int picture_count = 0;
};

// Results are the sensor library's codes (0 or negative, -1000 once the
// connection is gone). Threads: the library serialises calls per kind, so
// the command channel and the acquisition thread may call at once.
class ISensorLink {
public:
    static constexpr int CLOSED = -1000;

    virtual ~ISensorLink() = default;
    // `text` ends with its carriage return.
    virtual int WriteData(const std::string& text) = 0;
    // `request` is a key with its carriage return; `reply` gets the answer.
    virtual int ReadData(const std::string& request, std::string& reply, int max_age_ms) = 0;
    virtual int GetXZIExtended(ProfileRequest& profile) = 0;
    virtual int GetConnectStatus(int& status) = 0;
    virtual int ResetDllFiFo() = 0;
    // Containers the library's FIFO dropped for want of room since the
    // connection was set up (reconnects keep the FIFO and its count).
    virtual int GetFifoDropped(uint32_t& dropped) = 0;
    virtual bool TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width, uint32_t& height,
                                 uint32_t timeout_ms) = 0;
    // Closes the connection; every later call gets -1000.
    virtual void Disconnect() = 0;
};

// The real link: one handle of the process-wide ScanvoDLL. It does not own
// the handle until Disconnect: the local device decides when to close.
class ScanvoSensorLink : public ISensorLink {
public:
    explicit ScanvoSensorLink(void* handle);

    int WriteData(const std::string& text) override;
    int ReadData(const std::string& request, std::string& reply, int max_age_ms) override;
    int GetXZIExtended(ProfileRequest& profile) override;
    int GetConnectStatus(int& status) override;
    int ResetDllFiFo() override;
    int GetFifoDropped(uint32_t& dropped) override;
    bool TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width, uint32_t& height,
                         uint32_t timeout_ms) override;
    void Disconnect() override;

private:
    void* handle;  // a ScanvoDLL handle; the library answers -1000 once it is closed
};

}  // namespace GenTLCore::ZoTL
