#include "sensor_library/ScanvoDLL.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/DebugOutput.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/LinearizationData.h"
#include "sensor_library/SensorTable.h"

namespace {

// Geometry beyond this is no sensor's; a conversion over it would run for ever.
constexpr uint32_t MAX_PIXELS_PER_AXIS = 65536;

std::string AddressText(const void* object)
{
    return std::to_string(reinterpret_cast<uintptr_t>(object));
}

std::string OneDecimal(double value)
{
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 1);
    return std::string(text, written.ptr);
}

void StoreIfWanted(int* out, int value)
{
    if (out != nullptr)
        *out = value;
}

bool HasUsableGeometry(const LinearizationRecord& record)
{
    return record.z_range > 0.0f && std::isfinite(record.z_range) &&
           std::isfinite(record.z_start) && record.width_x > 0 &&
           record.width_x <= MAX_PIXELS_PER_AXIS && record.width_z > 0 &&
           record.width_z <= MAX_PIXELS_PER_AXIS;
}

}  // namespace

// What one connect asks for. An extended connect (ConnectEx) is quiet about a
// full table and does not take the production-mode setting.
struct ScanvoDLL::ConnectRequest {
    ConnectRequest(const char* ip, const char* port, int timeout_ms)
    {
        settings.ip = ip;
        settings.port = port;
        settings.timeout_ms = static_cast<uint32_t>(timeout_ms);
    }

    ConnectSettings settings;
    bool extended = false;
};

ScanvoDLL& InitScanvoInstance()
{
    static ScanvoDLL instance;
    return instance;
}

ScanvoDLL::ScanvoDLL() : table(&SensorTable::Instance())
{
    table->AddUser();
    // Built at load: an exception here would end the host process.
    try {
        logger = LibraryLogger::ConfigureLogging(std::string(), std::string());
    } catch (...) {
        logger = LibraryLogger();
    }
}

ScanvoDLL::ScanvoDLL(const ScanvoDLL& other)
    : table(other.table),
      logger(other.logger),
      sensor_handle(other.sensor_handle),
      transfer_ip(other.transfer_ip),
      transfer_port(other.transfer_port),
      transfer_timeout_ms(other.transfer_timeout_ms)
{
    table->AddUser();
    std::lock_guard<std::mutex> lock(table->ConnectMutex());
    read_data_callback = other.read_data_callback;
}

ScanvoDLL::~ScanvoDLL()
{
    // Only the last instance ends the sensors: the table is everyone's.
    if (table->EndUser())
        table->DisconnectAll();
}

void* ScanvoDLL::Connect(const char* ip, const char* port, int timeout_ms, int mode,
                         const char* host_ip, const char* host_port)
{
    if (ip == nullptr || port == nullptr)
        return nullptr;
    try {
        ConnectRequest request{ip, port, timeout_ms};
        request.settings.fifo_size = table->FifoBytes();
        request.settings.receive_buffer_size = table->ReceiveBufferBytes();
        request.settings.mode = static_cast<uint32_t>(mode);
        request.settings.host_ip = host_ip != nullptr ? host_ip : "";
        request.settings.host_port = host_port != nullptr ? host_port : "";
        return ConnectInFreeSlot(request);
    } catch (...) {
        return nullptr;
    }
}

void ScanvoDLL::ConnectEx(void*, const char* ip, const char* port, int timeout_ms)
{
    if (ip == nullptr || port == nullptr)
        return;
    try {
        // The default sizes, whatever was set since.
        ConnectRequest request{ip, port, timeout_ms};
        request.settings.fifo_size = SensorTable::DEFAULT_FIFO_BYTES;
        request.settings.receive_buffer_size = SensorTable::DEFAULT_RECEIVE_BUFFER_BYTES;
        request.extended = true;
        ConnectInFreeSlot(request);
    } catch (...) {
    }
}

void* ScanvoDLL::ConnectInFreeSlot(ConnectRequest& request)
{
    std::lock_guard<std::mutex> lock(table->ConnectMutex());
    table->ResetRate();
    // A slot freed by a disconnect is taken again: only 200 sensors open at
    // once fill the table.
    const int slot = table->FreeSlot();
    if (slot < 0) {
        if (!request.extended)
            logger.Error("exceed maximum allowed scanners");
        return nullptr;
    }
    std::unique_ptr<CScanvo> connection;
    try {
        connection = std::make_unique<CScanvo>();
    } catch (const std::bad_alloc&) {
        const char* text = "instantiate CScanvo object was not successful";
        request.extended ? logger.Info(text) : logger.Error(text);
        return nullptr;
    }
    logger.Info(("connecting scanner " + AddressText(connection.get()) +
                 " - IP: " + request.settings.ip + " ...")
                    .c_str());
    request.settings.read_data_callback = read_data_callback;
    // From here nothing may throw before the slot is given back or kept.
    table->Occupy(slot, connection.get());
    if (!request.extended)
        connection->SetProductionMode(table->ProductionMode());
    bool connected = false;
    try {
        connected = connection->Connect(request.settings);
    } catch (...) {
        connected = false;
    }
    // A connection that did not come up gives its slot back.
    if (!connected) {
        table->Abandon(slot);
        return nullptr;
    }
    return connection.release();
}

void* ScanvoDLL::Disconnect(void* handle)
{
    if (handle == nullptr)
        return nullptr;
    const int slot = table->Find(handle);
    if (slot < 0)
        return handle;
    // Ending a connection joins its transport thread, which runs the
    // callbacks: from there it would wait for itself, or for a callback
    // waiting for it.
    const bool refused = CScanvo::InReadDataCallback() != nullptr;
    try {
        const std::string scanner = "scanner " + AddressText(handle);
        if (refused)
            logger.Error(
                ("Disconnect of " + scanner + " refused: called from a read-data callback.")
                    .c_str());
        else
            logger.Info((scanner + " disconnected.").c_str());
    } catch (...) {
    }
    if (refused)
        return handle;
    // Deletes the connection, then releases the locks from 11 down to 0.
    const SensorTable::Removal removal = table->Remove(slot, handle);
    return removal.connection ? nullptr : handle;
}

int ScanvoDLL::GetConnectStatus(void* handle, int* status)
{
    if (handle != nullptr && status != nullptr)
        *status = 0;
    return table->WithConnection(handle, LOCK_CONNECT_STATUS, [&](CScanvo& connection) {
        if (status == nullptr)
            return -1;
        *status = connection.GetConnectState();
        return 0;
    });
}

int ScanvoDLL::ReadData(void* handle, const char* name, char* buffer, int buffer_size,
                        int max_age_ms)
{
    return table->WithConnection(handle, LOCK_READ, [&](CScanvo& connection) {
        if (buffer_size < 0)
            return -1;
        return connection.ReadData(name, buffer, static_cast<uint32_t>(buffer_size), max_age_ms);
    });
}

int ScanvoDLL::WriteData(void* handle, const char* text, int length)
{
    if (handle == nullptr) {
        try {
            return table->ApplyLibraryCommand(text, logger);
        } catch (...) {
            return -1;
        }
    }
    return table->WithConnection(handle, LOCK_WRITE, [&](CScanvo& connection) {
        return connection.WriteData(text, length);
    });
}

int ScanvoDLL::GetXZIExtended(void* handle, double* x, double* z, int* intensity,
                              int* peak_width, int buffer_size, unsigned int* encoder,
                              unsigned char* user_io, int timeout_ms, unsigned char* raw_buffer,
                              int raw_buffer_size, int* picture_count)
{
    return table->WithConnection(handle, LOCK_PROFILE, [&](CScanvo& connection) {
        CountDelivery(connection, false);
        return connection.GetXZIExtended(x, z, intensity, peak_width, buffer_size, encoder,
                                         user_io, timeout_ms, raw_buffer, raw_buffer_size,
                                         picture_count);
    });
}

int ScanvoDLL::GetRangeImage(void* handle, unsigned short* image, int image_size, int timeout_ms,
                             bool* picture_count_error, int* picture_counts, int* encoders,
                             unsigned int* time_stamps)
{
    return table->WithConnection(handle, LOCK_PROFILE, [&](CScanvo& connection) {
        CountDelivery(connection, false);
        return connection.GetRangeImage(image, image_size, timeout_ms, picture_count_error,
                                        picture_counts, encoders, time_stamps);
    });
}

int ScanvoDLL::GetImage(void* handle, char* buffer, int buffer_size, unsigned int* width,
                        unsigned int* height, unsigned int* x_offset, unsigned int* z_offset,
                        unsigned int* x_step, unsigned int* z_step, unsigned int timeout_ms)
{
    return table->WithConnection(handle, LOCK_IMAGE, [&](CScanvo& connection) {
        return connection.GetImage(buffer, buffer_size, width, height, x_offset, z_offset, x_step,
                                   z_step, timeout_ms);
    });
}

bool ScanvoDLL::TakeCameraImage(void* handle, std::vector<uint8_t>& image, uint32_t& width,
                                uint32_t& height, uint32_t timeout_ms)
{
    const int taken = table->WithConnection(handle, LOCK_IMAGE, [&](CScanvo& connection) {
        return connection.TakeCameraImage(image, width, height, timeout_ms) ? 1 : 0;
    });
    return taken == 1;
}

int ScanvoDLL::GetRawData(void* handle, unsigned char* buffer, int buffer_size, int)
{
    return table->WithConnection(handle, LOCK_RAW_DATA, [&](CScanvo& connection) {
        CountDelivery(connection, true);
        return connection.GetRawData(buffer, buffer_size);
    });
}

int ScanvoDLL::GetInfo(void* handle, char* buffer, int buffer_size, const char* key)
{
    return table->WithConnection(handle, LOCK_INFO, [&](CScanvo& connection) {
        return connection.GetInfo(buffer, buffer_size, key);
    });
}

int ScanvoDLL::ResetDllFiFo(void* handle)
{
    return table->WithConnection(handle, LOCK_RESET_FIFO,
                                 [](CScanvo& connection) { return connection.ResetDllFiFo(); });
}

int ScanvoDLL::GetDllFiFoState(void* handle)
{
    // Against the connection's own FIFO size: the setting may have changed since.
    return table->WithConnection(handle, LOCK_FIFO_STATE, [](CScanvo& connection) {
        return connection.GetDllFiFoState();
    });
}

int ScanvoDLL::GetFifoDropped(void* handle, uint32_t& dropped)
{
    return table->WithConnection(handle, LOCK_FIFO_STATE, [&](CScanvo& connection) {
        dropped = connection.FifoDroppedContainers();
        return 0;
    });
}

int ScanvoDLL::GetLinkCount(void* handle, uint32_t& links)
{
    return table->WithConnection(handle, LOCK_CONNECT_STATUS, [&](CScanvo& connection) {
        links = connection.LinkCount();
        return 0;
    });
}

int ScanvoDLL::GetLinDatType(void* handle, void* buffer, int buffer_size)
{
    return table->WithConnection(handle, LOCK_LIN_DAT_TYPE, [&](CScanvo& connection) {
        if (buffer_size < 0)
            return -1;
        return connection.GetLinDatType(buffer, static_cast<uint32_t>(buffer_size));
    });
}

int ScanvoDLL::SetLinearizationFile(void* handle, const char* path)
{
    return table->WithConnection(handle, LOCK_LIN_FILE, [&](CScanvo& connection) {
        if (path == nullptr)
            return -1;
        connection.SetLinearizationFile(path);
        return 0;
    });
}

int ScanvoDLL::Linearize(void* handle, double x, double z, double* x_mm, double* z_mm)
{
    return table->WithConnection(handle, LOCK_LINEARIZE, [&](CScanvo& connection) {
        if (x_mm == nullptr || z_mm == nullptr)
            return -1;
        const std::shared_ptr<const LinearizationData> data = connection.Linearization();
        if (!data) {
            *x_mm = 0.0;
            *z_mm = 0.0;
            return -1;
        }
        return data->Linearize(x, z, *x_mm, *z_mm);
    });
}

int ScanvoDLL::ConvertMmToPix(void* handle, double x1, double z1, double x2, double z2,
                              int* x_start, int* z_start, int* x_end, int* z_end)
{
    LinearizationRecord record;
    const int copied = GetLinDatType(handle, &record, sizeof(record));
    if (copied != 0)
        return copied;
    // A zero range or absurd widths would divide by zero or loop for ever.
    if (!HasUsableGeometry(record))
        return -1;
    std::shared_ptr<const LinearizationData> data;
    const int found = table->WithConnection(handle, LOCK_LINEARIZE, [&](CScanvo& connection) {
        data = connection.Linearization();
        return 0;
    });
    PixelRegion region;
    if (found != 0 || !data || data->ConvertMmToPix(x1, z1, x2, z2, region) != 0)
        return found != 0 ? found : -1;
    StoreIfWanted(x_start, region.x_start);
    StoreIfWanted(z_start, region.z_start);
    StoreIfWanted(x_end, region.x_end);
    StoreIfWanted(z_end, region.z_end);
    return 0;
}

double ScanvoDLL::GetPointOnTrapezEdgeCorrected(double x_start, double x_end, double z_range,
                                                double dz)
{
    return LinearizationData::GetPointOnTrapezEdgeCorrected(x_start, x_end, z_range, dz);
}

int ScanvoDLL::GetVersion(unsigned char* buffer, int buffer_size)
{
    const std::string version = getLibraryVersion();
    if (buffer == nullptr || buffer_size <= 0)
        return -1;
    if (static_cast<std::size_t>(buffer_size) <= version.size()) {
        buffer[0] = '?';
        return -1;
    }
    std::memcpy(buffer, version.c_str(), version.size() + 1);
    return static_cast<int>(version.size());
}

void ScanvoDLL::SetReadDataCallback(void* context, void* callback)
{
    using Callback = void (*)(void*, char*, int);
    std::function<void(char*, int)> wrapped;
    if (callback != nullptr) {
        const Callback function = reinterpret_cast<Callback>(callback);
        wrapped = [context, function](char* data, int length) { function(context, data, length); };
    }
    std::lock_guard<std::mutex> lock(table->ConnectMutex());
    read_data_callback = std::move(wrapped);
}

void ScanvoDLL::CountDelivery(const CScanvo& connection, bool through_logger)
{
    const bool line_wanted = logger.IsActive() && logger.Config().console_sink;
    int deliveries = 0;
    if (!table->CountDelivery(line_wanted, deliveries))
        return;
    const std::string rate = OneDecimal(deliveries / 3.0);
    if (through_logger)
        logger.Write(AddressText(this), (connection.Ip() + ": DllToApp: " + rate + "Hz").c_str());
    else
        Platform::WriteDebugOutput(connection.Ip() + ": DllToApp: " + rate + " Hz\n");
}

void* ScanvoDLL::getActiveScanvo()
{
    return sensor_handle;
}

int ScanvoDLL::getDllFiFoState()
{
    return GetDllFiFoState(sensor_handle);
}

void ScanvoDLL::setOpenTransferAttributes(const std::string& ip, const std::string& port,
                                          int timeout_ms)
{
    transfer_ip = ip;
    transfer_port = port;
    transfer_timeout_ms = timeout_ms;
}

std::string ScanvoDLL::getLibraryVersion()
{
    return CScanvo::LIBRARY_VERSION;
}

SensorType ScanvoDLL::type()
{
    return SENSOR_TYPE_SCANVO;
}

bool ScanvoDLL::openTransfer()
{
    sensor_handle = Connect(transfer_ip.c_str(), transfer_port.c_str(), transfer_timeout_ms, 0,
                            nullptr, nullptr);
    return sensor_handle != nullptr;
}

bool ScanvoDLL::closeTransfer()
{
    Disconnect(sensor_handle);
    return true;
}

int ScanvoDLL::getConnectStatus(int* status)
{
    return GetConnectStatus(sensor_handle, status);
}

int ScanvoDLL::getXmlDescription(char* buffer, int size)
{
    return GetInfo(sensor_handle, buffer, size, "xml");
}

int ScanvoDLL::getData(double* x, double* z, int* intensity, int* peak_width, int buffer_size,
                       int timeout_ms)
{
    return GetXZIExtended(sensor_handle, x, z, intensity, peak_width, buffer_size, nullptr,
                          nullptr, timeout_ms, nullptr, 0, nullptr);
}

int ScanvoDLL::writeData(const std::vector<unsigned char>& data)
{
    try {
        // The connection reads a text up to its NUL, which a vector lacks.
        const std::string text(data.begin(), data.end());
        return WriteData(sensor_handle, text.c_str(), static_cast<int>(text.size()));
    } catch (...) {
        return -1;
    }
}

int ScanvoDLL::writeData(const char* text)
{
    if (text == nullptr)
        return -1;
    return WriteData(sensor_handle, text, static_cast<int>(std::strlen(text)));
}

int ScanvoDLL::readData(const char* name, char* buffer, int size, int max_age_ms)
{
    return ReadData(sensor_handle, name, buffer, size, max_age_ms);
}
