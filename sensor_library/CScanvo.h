// CScanvo.h: one open connection to one sensor: its transport, the receive
// path, the container FIFO, the linearization data and the command and
// request/reply exchanges.
#pragma once

#include <atomic>
#include <cfloat>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Win32Event.h"
#include "sensor_library/ContainerFifo.h"
#include "sensor_library/EthernetInterface.h"
#include "sensor_library/FrameAssembler.h"
#include "sensor_library/LibraryLogger.h"
#include "sensor_library/LinearizationData.h"
#include "sensor_library/ProfileDecoder.h"
#include "sensor_library/XmlStatusCache.h"

// Result codes of the named values.
constexpr int32_t SCANVO_READDATASMALLBUFFER = -1;
constexpr int32_t SCANVO_READDATANOTSUPPORTEDMODE = -2;
constexpr int32_t SCANVO_READDATAFEATURENOTDEFINED = -3;
constexpr int32_t SCANVO_READDATANOSCAN = -4;
constexpr int32_t SCANVO_READDATAFAILED = -5;

namespace NamedValue {
struct ScanField;
}

// What a connect needs. Mode 0 is TCP; any other value UDP to host_ip:host_port.
struct ConnectSettings {
    std::string ip;
    std::string port;
    uint32_t timeout_ms = 0;
    uint64_t context = 0;
    EthernetInterface::DataCallback read_data_callback;
    uint32_t fifo_size = 41984000;
    uint32_t receive_buffer_size = 8405000;
    uint32_t mode = 0;
    std::string host_ip;
    std::string host_port;
};

// A settable range-image parameter with its bounds.
struct RangeParameter {
    float value;
    float minimum;
    float maximum;
};

// Range-image scaling; the bounds are wide open until the sensor's
// description narrows them. A scale is always above 0.
struct RangeImageScaling {
    RangeParameter x_scale{1.0f, 0.0f, FLT_MAX};
    RangeParameter x_offset{0.0f, -FLT_MAX, FLT_MAX};
    RangeParameter z_scale{1.0f, 0.0f, FLT_MAX};
    RangeParameter z_offset{0.0f, -FLT_MAX, FLT_MAX};
};

// Created and deleted by the library facade; the handle an application holds
// is its address.
//
// Threads: application threads call the public operations (the facade
// serialises calls of one kind); the transport thread runs the callbacks
// InitializeConnection, OnDisconnected and OnReceive. Events hand results
// from the transport thread to waiting callers.
// Locks: exchange_mutex (one request/reply or echo exchange at a time), then
// receive_mutex (the receive state: OnReceive, the connect reset, dropping a
// partial frame) or reply_mutex (the reply text); linearization_mutex only
// around swapping a snapshot. Reads take decode_mutex for the whole read,
// inside it the FIFO's read lock only to copy a container out and then
// record_mutex only to hand its decode to the named values, which take
// record_mutex alone; the connect reset takes decode_mutex alone; the
// receive thread takes the FIFO's write lock (and inside it the read lock)
// under receive_mutex. Nothing is waited for while a lock is held, except
// the exchange itself under exchange_mutex.
class CScanvo : private FrameSink {
public:
    static constexpr const char* LIBRARY_VERSION = "1.15.0   x64";
    static constexpr uint32_t REPLY_BLOCK_BYTES = 0x20008;
    static constexpr uint32_t REPLY_TEXT_BYTES = 0x20000;
    static constexpr uint32_t REPLY_WAIT_MS = 1000;
    static constexpr int32_t MAX_RANGE_IMAGE_PROFILES = 10000;

    CScanvo();
    CScanvo(const CScanvo&) = delete;
    CScanvo& operator=(const CScanvo&) = delete;
    virtual ~CScanvo();

    // Sets everything up and starts the transport. Whether the sensor is
    // reached shows later in GetConnectState.
    bool Connect(const ConnectSettings& settings);
    // As Connect, with a transport the test made in place of TCP or UDP.
    bool ConnectWithTransportForTest(const ConnectSettings& settings,
                                     std::shared_ptr<EthernetInterface> transport);
    // Stops the transport (joining its thread) and frees the buffers.
    void Disconnect();
    // Wakes every wait on this connection, a blocked send and the transport
    // thread's included, and makes later ones give up at once, so a
    // disconnect need not wait out a read's time-out. For good: the
    // connection is about to be deleted.
    void BeginClose();
    // The connection whose read-data callback runs on the calling thread (its
    // transport thread), or null.
    static const CScanvo* InReadDataCallback();

    // Transport callbacks.
    void InitializeConnection();
    void OnDisconnected();
    void OnReceive(const char* data, uint32_t length);

    int32_t WriteData(const char* text, int32_t length);
    int32_t ReadData(const char* name, char* buffer, uint32_t size, int32_t max_age);
    int32_t GetInfo(char* buffer, int32_t size, const char* key);
    int32_t GetLinDatType(void* buffer, uint32_t size);
    int32_t RequestReply(const char* command, char* buffer, uint32_t size, uint32_t* length);

    // Profile reads: one container out of the FIFO per call. Every output
    // may be null. The result is the number of points written, -1 when no
    // profile came within the time-out, -2 without linearization data, -3
    // when every output is null.
    int32_t GetXZIExtended(double* x, double* z, int32_t* intensity, int32_t* peak_width,
                           int32_t capacity, uint32_t* encoder, uint8_t* user_io,
                           int32_t timeout_ms, uint8_t* raw_buffer, int32_t raw_size,
                           int32_t* picture_count);
    // RangeImageNrProfiles profiles, one row each, into a width x rows image.
    int32_t GetRangeImage(uint16_t* image, int32_t size, int32_t timeout_ms,
                          bool* pic_count_error, int32_t* picture_counters, int32_t* encoders,
                          uint32_t* time_stamps);
    // One camera image into the buffer: its byte count, 0 for a container
    // without one, -1 when none came or it does not fit, -3 for a null buffer.
    int32_t GetImage(char* buffer, int32_t size, uint32_t* width, uint32_t* height,
                     uint32_t* x_offset, uint32_t* z_offset, uint32_t* x_step, uint32_t* z_step,
                     uint32_t timeout_ms);
    // One camera image for the producer, resized into `image`; false when no
    // image came within the time-out.
    bool TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width, uint32_t& height,
                         uint32_t timeout_ms);
    // The oldest container, whole or cut to the buffer; -1 when none.
    int32_t GetRawData(unsigned char* buffer, int32_t size);
    int32_t ResetDllFiFo();
    // FIFO fill in percent of this connection's own FIFO size.
    int32_t GetDllFiFoState() const;

    // The container last taken by a read, for the named values: a whole
    // tagged block of it, or all of it.
    int32_t CopyContainerBlock(uint32_t tag, unsigned char* buffer, uint32_t size,
                               int32_t max_age);
    int32_t CopyLastContainer(unsigned char* buffer, uint32_t size);

    // The sensor's XML status: parsed from every text block; refreshed on
    // request with "get_xmldescriptorexpert\r".
    void ParseXmlProperties(const char* xml);
    bool RequestXml();
    // 0 when a value of that maximum age may be read now, else the result code.
    int32_t EnsureFresh(int32_t max_age);
    int32_t CopyStringProperty(uint16_t key, unsigned char* buffer, uint32_t size,
                               int32_t max_age);
    std::string XmlText(uint16_t key) const { return xml.Text(key); }

    // Reads a "LIN1DD" file and, when it reads without error, makes it this
    // connection's linearization data; otherwise the connection has none.
    // Returns the reader's result.
    int32_t SetLinearizationFile(const std::string& path);
    // The linearization data in use, shared so a replacement cannot free it
    // under a reader; empty when there is none.
    std::shared_ptr<const LinearizationData> Linearization() const;

    void SetProductionMode(bool on) { production_mode = on; }
    void SetScannerReady();
    int32_t GetConnectState() const { return connect_state.load(); }
    // Links the transport set up since Connect: one more at each reconnect,
    // which a look at the connect state alone may miss.
    uint32_t LinkCount() const { return link_count.load(); }
    bool IsLinDataValid() const { return lin_data_valid.load(); }
    bool IsSynchronised() const { return assembler.IsSynchronised(); }
    const std::string& Ip() const { return ip; }

    // Switches set by commands.
    bool IsSortingX() const { return sorting_x.load(); }
    bool IsEchoMode() const { return echo_mode.load(); }
    bool IsFifoNewestOnly() const { return fifo_newest_only.load(); }
    int32_t RangeImageNrProfiles() const { return range_image_nr_profiles.load(); }
    RangeImageScaling RangeImage() const;

    // The value of "key=value": the text between the first "=" and the next
    // carriage return. False without "=".
    static bool ParseReply(const std::string& text, std::string& value);
    // The whole value as an integer (decimal, "0x" hexadecimal or "0" octal).
    static bool ParseIntValue(const std::string& text, int64_t& value);
    // The whole value as a float, whatever the process locale.
    static bool ParseFloatValue(const std::string& text, float& value);

    // A copy of the reception counters, taken under the receive lock.
    ReceiveStatistics Statistics() const;
    uint32_t FifoFillBytes() const { return fifo.FillBytes(); }
    uint32_t FifoCapacity() const { return fifo.Capacity(); }
    // Containers the full FIFO dropped (oldest first) to take newer ones.
    uint32_t FifoDroppedContainers() const { return fifo.DroppedCount(); }

    static uint32_t ComputeCrc32(const uint8_t* data, std::size_t size);

private:
    using PropertyGetter = std::function<int(unsigned char*, unsigned int, int)>;

    static bool ValueDigits(const std::string& text, std::string& digits, bool& negative);
    bool StartConnection(const ConnectSettings& settings);
    bool AllocateBuffers(const ConnectSettings& settings);
    // The transport's receive callback: lends `read` the receive buffer's
    // free room and takes what it read.
    long ReceiveInPlace(const EthernetInterface::ChunkReader& read);
    void ReceiveLocked(const uint8_t* data, uint32_t length);
    void LogStatisticsIfDue();
    void LogStatistics();
    int32_t SendCommand(const char* text, int32_t length);
    int32_t SendDirect(const char* text);
    bool WaitForSync();
    // True when the event came within the time-out and no close has begun.
    bool WaitUnlessClosing(Platform::Win32Event& event, uint64_t timeout_ms);
    int32_t UploadFile(const std::string& command);
    void SaveMatrixBin();
    // False when the command is none of the range-image settings.
    bool SetRangeImageValue(const std::string& command, int32_t& result);
    bool SetSwitch(const std::string& command);
    int32_t CopyInfoText(char* buffer, int32_t size);
    int32_t CopyLinTable(char* buffer, int32_t size);
    int32_t InfoRequest(const char* log_text, const char* command, char* buffer, int32_t size,
                        bool give_length);
    int32_t InfoSync();
    void PushFrame(const uint8_t* container, uint32_t size, bool camera);

    // Reads (CScanvoReads.cpp).
    struct ProfileExtras;
    struct ImageTarget;
    // The linearization data while its geometry is current, else null.
    std::shared_ptr<const LinearizationData> GeometryData() const;
    bool WaitForContainer(Platform::Win32Event& event, uint32_t timeout_ms);
    int32_t ReadProfile(const PointArrays& points, int32_t timeout_ms, uint8_t* raw_buffer,
                        int32_t raw_size, ProfileExtras& extras);
    // Under decode_mutex, inside a take: the container into taken_copy;
    // returns the count of resets so far.
    uint32_t CopyTaken(const uint8_t* container, uint32_t size);
    // Under decode_mutex: taken_copy into profile, some points perhaps
    // straight into `direct` (see ProfileDecoder).
    void DecodeTaken(const PointArrays& direct = {});
    // Under decode_mutex: makes the container decoded last the one the named
    // values read, unless a reset came after its take.
    void PublishTaken(uint32_t generation);
    int32_t ReadImage(ImageTarget& target, uint32_t timeout_ms);
    int32_t CopyImage(ImageTarget& target) const;
    void RearmIfNotEmpty(Platform::Win32Event& event);
    void LogFifoFillIfDue();
    void ForgetLastRead();

    // Named values and XML status (CScanvoProperties.cpp).
    void RegisterProperties();
    void AddProperty(const std::string& key, PropertyGetter getter);
    void AddScanValue(const std::string& name, const NamedValue::ScanField& field,
                      const uint16_t* key);
    void RegisterLibraryValues();
    std::shared_ptr<const std::vector<uint8_t>> LinearizationRaw() const;
    void ComputeRangeImageDefaults();
    // Makes `parsed` the data in use when it read without error (`result`).
    void InstallLinearization(std::shared_ptr<const LinearizationData> parsed, int result);

    // FrameSink, on the transport thread under receive_mutex.
    bool AcceptsContainers() const override;
    bool HasLinearizationData() const override;
    void OnSyncFrame() override;
    void OnTextBlock(const uint8_t* block, uint32_t length) override;
    void OnDataContainer(const uint8_t* container, uint32_t size, ContainerKind kind) override;
    void OnLinearizationData(const uint8_t* data, uint32_t size) override;

    // Fixed by Connect, before the transport starts.
    std::string ip;
    std::string port;
    std::string host_ip;
    std::string host_port;
    std::string tag;  // this object's address as decimal text
    LibraryLogger logger;
    std::shared_ptr<EthernetInterface> transport;

    // Shared between threads without a lock.
    std::atomic<int32_t> connect_state{0};
    std::atomic<uint32_t> link_count{0};
    std::atomic<bool> lin_data_valid{false};
    std::atomic<bool> geometry_current{false};  // cleared at every (re)connect
    std::atomic<bool> acquisition_stopped{false};
    std::atomic<bool> production_mode{false};
    std::atomic<bool> closing{false};
    std::atomic<bool> sorting_x{false};
    std::atomic<bool> echo_mode{false};
    std::atomic<bool> fifo_newest_only{false};
    std::atomic<int32_t> range_image_nr_profiles{1};

    // Guarded by range_mutex.
    mutable std::mutex range_mutex;
    RangeImageScaling range_image;
    uint8_t range_defaults_taken = 0;  // one bit per parameter, once per object

    // Guarded by linearization_mutex: swapped whole, read through snapshots.
    mutable std::mutex linearization_mutex;
    std::shared_ptr<const LinearizationData> linearization;
    std::shared_ptr<const std::vector<uint8_t>> lin_raw;
    bool lin_check_mode = false;

    // One request/reply or echo exchange at a time.
    std::recursive_mutex exchange_mutex;
    // Guarded by reply_mutex: the last text block, NUL-terminated behind its head.
    std::mutex reply_mutex;
    std::unique_ptr<char[]> reply_block;

    // Guarded by receive_mutex.
    mutable std::mutex receive_mutex;
    FrameAssembler assembler{*this};
    bool first_receive = true;
    uint32_t statistics_tick = 0;

    ContainerFifo fifo;

    // From the last FPGA register block decoded; shown by the statistics.
    std::atomic<uint32_t> scanner_status{0};
    std::atomic<uint32_t> pll_lock_status{0};
    std::atomic<uint32_t> fpga_error_code{0};

    // Named values; filled before the transport starts, read-only afterwards.
    // Found by the caller's text as it stands: a scan reads three a profile.
    struct PropertyHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const noexcept
        {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_map<std::string, PropertyGetter, PropertyHash, std::equal_to<>> properties;

    // Guarded by decode_mutex: one read at a time decodes its own copy of
    // the container it took, outside the FIFO's and the record's locks.
    std::mutex decode_mutex;
    ProfileDecoder decoder;
    std::unique_ptr<ScanvoProfileRecord> profile = std::make_unique<ScanvoProfileRecord>();
    std::vector<uint8_t> taken_copy;

    // Guarded by record_mutex: the container last taken by a read, the head
    // of its decode, and whether it still counts (not after a reset or
    // reconnect).
    mutable std::mutex record_mutex;
    std::unique_ptr<ScanvoRecordHead> record;
    std::vector<uint8_t> last_container;
    bool last_read_valid = false;
    // Counts resets; changed under record_mutex, read at a take.
    std::atomic<uint32_t> read_generation{0};

    // Range-image work arrays, sized once; guarded by range_work_mutex.
    std::mutex range_work_mutex;
    std::vector<double> range_x;
    std::vector<double> range_z;

    // The XML status; its texts carry their own lock.
    XmlStatusCache xml;
    std::atomic<uint32_t> xml_tick{0};
    std::atomic<bool> xml_received{false};  // a never-filled cache is never fresh
    std::atomic<uint32_t> fifo_log_tick{0};

    Platform::Win32Event profile_event{false, false};
    Platform::Win32Event xml_parsed_event{true, false};
    Platform::Win32Event reply_event{true, false};
    Platform::Win32Event sync_event{true, false};
    Platform::Win32Event image_event{false, false};
};
