#include "sensor_library/CScanvo.h"

#include <cstring>
#include <fstream>
#include <new>

#include "platform/Assert.h"
#include "platform/Clock.h"
#include "sensor_library/Crc32.h"
#include "sensor_library/TcpInterface.h"
#include "sensor_library/UdpInterface.h"

namespace {
// Larger FIFOs come only from a negative size read as unsigned.
constexpr uint32_t MAX_FIFO_BYTES = 0x7FFFFFFFu;
constexpr uint32_t STATISTICS_INTERVAL_MS = 1000;

std::string AddressText(const void* object)
{
    return std::to_string(reinterpret_cast<uintptr_t>(object));
}

thread_local const CScanvo* callback_connection = nullptr;

// Marks the calling thread as inside `connection`'s read-data callback.
class CallbackScope {
public:
    explicit CallbackScope(const CScanvo* connection) : previous(callback_connection)
    {
        callback_connection = connection;
    }
    ~CallbackScope() { callback_connection = previous; }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    const CScanvo* const previous;
};
}  // namespace

CScanvo::CScanvo()
    : reply_block(new char[REPLY_BLOCK_BYTES]()),
      record(std::make_unique<ScanvoRecordHead>()),
      range_x(ScanvoProfileRecord::MAX_COLUMNS),
      range_z(ScanvoProfileRecord::MAX_COLUMNS)
{
    fifo_log_tick = Platform::GetTickCountMs();
}

CScanvo::~CScanvo()
{
    Disconnect();
}

uint32_t CScanvo::ComputeCrc32(const uint8_t* data, std::size_t size)
{
    return ComputeCrc32Mpeg2(data, size);
}

bool CScanvo::Connect(const ConnectSettings& settings)
{
    std::shared_ptr<EthernetInterface> fresh;
    if (settings.mode != 0)
        fresh = std::make_shared<UdpInterface>();
    else
        fresh = std::make_shared<TcpInterface>();
    return ConnectWithTransportForTest(settings, std::move(fresh));
}

bool CScanvo::ConnectWithTransportForTest(const ConnectSettings& settings,
                                          std::shared_ptr<EthernetInterface> new_transport)
{
    if (transport)
        Disconnect();
    ip = settings.ip;
    port = settings.port;
    const bool with_host = !settings.host_ip.empty() && !settings.host_port.empty();
    host_ip = with_host ? settings.host_ip : std::string();
    host_port = with_host ? settings.host_port : std::string();
    transport = std::move(new_transport);
    tag = AddressText(this);
    logger = LibraryLogger::ConfigureLogging(ip, tag);
    return StartConnection(settings);
}

bool CScanvo::StartConnection(const ConnectSettings& settings)
{
    if (!transport || !AllocateBuffers(settings)) {
        logger.Log("Failed to allocate memory");
        transport.reset();
        return false;
    }
    acquisition_stopped = false;
    // The facade learns from the mark that a call comes from this callback.
    EthernetInterface::DataCallback read_data;
    if (settings.read_data_callback) {
        read_data = [this, application = settings.read_data_callback](char* data, int length) {
            const CallbackScope scope(this);
            application(data, length);
        };
    }
    transport->SetLogger(logger.WithTag(AddressText(transport.get())));
    transport->SetCallbacks([this] { InitializeConnection(); }, [this] { OnDisconnected(); },
                            [this](char* data, int length) {
                                OnReceive(data, static_cast<uint32_t>(length));
                            },
                            settings.context, std::move(read_data));
    transport->SetReceiveCallback(
        [this](const EthernetInterface::ChunkReader& read) { return ReceiveInPlace(read); });
    connect_state = 0;
    link_count = 0;
    ForgetLastRead();
    RegisterProperties();
    {
        std::lock_guard<std::mutex> lock(receive_mutex);
        assembler.DropPartialFrame();
        assembler.Statistics().max_period = 0;
        assembler.Statistics().min_period = 999999;
        first_receive = true;
    }
    {
        std::lock_guard<std::mutex> lock(linearization_mutex);
        lin_raw.reset();
    }
    lin_data_valid = false;
    transport->start(TransportTarget{ip, port, settings.timeout_ms, host_ip, host_port});
    return true;
}

bool CScanvo::AllocateBuffers(const ConnectSettings& settings)
{
    if (settings.fifo_size > MAX_FIFO_BYTES)
        return false;
    std::lock_guard<std::mutex> lock(receive_mutex);
    assembler.SetLogger(logger);
    if (!assembler.Allocate(settings.receive_buffer_size) || !fifo.Allocate(settings.fifo_size)) {
        assembler.Release();
        fifo.Release();
        return false;
    }
    logger.Log("Size of SDK FifoBuffer: " + std::to_string(settings.fifo_size));
    logger.Log("Size of SDK ScannerBuffer: " + std::to_string(settings.receive_buffer_size));
    return true;
}

void CScanvo::BeginClose()
{
    // The flag comes first: a waiter woken by these sets must find it.
    closing = true;
    for (Platform::Win32Event* event :
         {&profile_event, &image_event, &reply_event, &sync_event, &xml_parsed_event})
        event->Set();
    // A send to a sensor that stopped reading holds the write lock.
    if (transport)
        transport->Interrupt();
}

const CScanvo* CScanvo::InReadDataCallback()
{
    return callback_connection;
}

bool CScanvo::WaitUnlessClosing(Platform::Win32Event& event, uint64_t timeout_ms)
{
    // Checked before waiting too: the caller may have reset the event after
    // the close set it.
    if (closing)
        return false;
    const bool signalled = event.Wait(timeout_ms) == Platform::Win32Event::WAIT_SIGNALLED;
    if (!closing)
        return signalled;
    // An auto-reset event woke only this waiter: pass the wake on.
    event.Set();
    return false;
}

void CScanvo::Disconnect()
{
    if (!transport)
        return;
    logger.Log("Cleaning");
    if (logger.IsActive()) {
        std::lock_guard<std::mutex> lock(receive_mutex);
        LogStatistics();
    }
    // Stopping joins the transport thread, which takes receive_mutex: never
    // hold it here.
    transport->stop();
    transport.reset();
    {
        std::lock_guard<std::mutex> lock(receive_mutex);
        assembler.Release();
    }
    {
        std::lock_guard<std::mutex> lock(linearization_mutex);
        linearization.reset();
        lin_raw.reset();
    }
    lin_data_valid = false;
    connect_state = 0;
    fifo.Release();
    logger.Close();
}

void CScanvo::InitializeConnection()
{
    ++link_count;
    geometry_current = false;
    fifo.Reset();
    ForgetLastRead();
    {
        // Scale blocks describe the sensor's stream as it was before.
        std::lock_guard<std::mutex> lock(decode_mutex);
        decoder.ForgetScale();
    }
    fifo_log_tick = Platform::GetTickCountMs();
    {
        std::lock_guard<std::mutex> lock(receive_mutex);
        ReceiveStatistics& statistics = assembler.Statistics();
        statistics.bytes_per_sec = 0;
        statistics.max_period = 0;
        statistics.min_period = 999999;
        assembler.DropPartialFrame();
    }
    // Sent straight to the transport: this runs on the transport thread,
    // which must not wait for an echo only it could receive.
    SendDirect((std::string("SetHostLibraryVersion=") + LIBRARY_VERSION + "\r").c_str());
    logger.Log("SetInitializeAcquisition");
    SendDirect("SetInitializeAcquisition\r");
}

void CScanvo::OnDisconnected()
{
    connect_state = 0;
    lin_data_valid = false;
}

void CScanvo::SetScannerReady()
{
    connect_state = 3;
    logger.Log("scanner ready");
}

void CScanvo::OnReceive(const char* data, uint32_t length)
{
    if (length > SensorFrame::MAX_CHUNK || data == nullptr)
        return;
    std::lock_guard<std::mutex> lock(receive_mutex);
    ReceiveLocked(reinterpret_cast<const uint8_t*>(data), length);
}

long CScanvo::ReceiveInPlace(const EthernetInterface::ChunkReader& read)
{
    static_assert(EthernetInterface::RECEIVE_CHUNK <= FrameAssembler::RECEIVE_ROOM);
    // Held across the read: nothing else may append while the chunk lands.
    std::lock_guard<std::mutex> lock(receive_mutex);
    uint8_t* room = assembler.ReceiveSpace();
    if (!TL_ASSERT(room != nullptr))  // the buffer outlives the transport thread
        return -1;
    const long count = read(reinterpret_cast<char*>(room), EthernetInterface::RECEIVE_CHUNK);
    if (count > 0)
        ReceiveLocked(room, static_cast<uint32_t>(count));
    return count;
}

void CScanvo::ReceiveLocked(const uint8_t* data, uint32_t length)
{
    if (first_receive) {
        first_receive = false;
        ReceiveStatistics& statistics = assembler.Statistics();
        statistics.sync_count = 0;
        statistics.bytes_per_sec = 0;
        statistics.crc_errors = 0;
        statistics.frame_errors = 0;
        statistics.frame_count = 0;
        statistics_tick = Platform::GetTickCountMs();
    }
    assembler.Receive(data, length);
    LogStatisticsIfDue();
}

ReceiveStatistics CScanvo::Statistics() const
{
    std::lock_guard<std::mutex> lock(receive_mutex);
    return assembler.Statistics();
}

void CScanvo::LogStatisticsIfDue()
{
    const uint32_t now = Platform::GetTickCountMs();
    if (now - statistics_tick <= STATISTICS_INTERVAL_MS)
        return;
    statistics_tick = now;
    if (logger.IsActive())
        LogStatistics();
    ReceiveStatistics& statistics = assembler.Statistics();
    statistics.frames_per_sec = 0;
    statistics.bytes_per_sec = 0;
    statistics.max_period = 0;
    statistics.min_period = 999999;
}

void CScanvo::LogStatistics()
{
    const ReceiveStatistics& s = assembler.Statistics();
    logger.Printf(
        "%.3f MByte/s %.1f Hz Periode: %.3f us MaxPeriode: %.3f MinPeriod: %.3f FiFo: % .1f  "
        "SyncCnt: %u PicCntErr : %u CRCErr : %u FrmErr: %u FrmCnt: %u WriteIn : %u ReadOut : %u ",
        s.bytes_per_sec / 1000000.0, static_cast<double>(s.frames_per_sec),
        static_cast<double>(s.period), static_cast<double>(s.max_period),
        static_cast<double>(s.min_period), fifo.FillPercent(), s.sync_count, s.pic_count_errors,
        s.crc_errors, s.frame_errors, s.frame_count, fifo.WriteIndex(), fifo.ReadIndex());
    logger.Printf("Scanner status: 0x%X PLLLockStatus:0x%X", scanner_status.load(),
                  pll_lock_status.load());
    const uint32_t error = fpga_error_code;
    logger.Printf("Error status: OverTrigger: %i FifoOverFlow: %i CRCLVDS: %i CRCLVDSOcc: %i "
                  "NoImage: %i",
                  static_cast<int>(error & 1), static_cast<int>((error >> 1) & 1),
                  static_cast<int>((error >> 2) & 1), static_cast<int>((error >> 3) & 1),
                  static_cast<int>((error >> 4) & 1));
}

bool CScanvo::AcceptsContainers() const
{
    return lin_data_valid || production_mode;
}

bool CScanvo::HasLinearizationData() const
{
    return lin_data_valid;
}

void CScanvo::OnSyncFrame()
{
    sync_event.Set();
}

void CScanvo::OnTextBlock(const uint8_t* block, uint32_t length)
{
    // The text is cut to the reply block and always NUL-terminated, so a
    // short reply never shows the tail of a longer one before it.
    const uint32_t text_bytes = std::min(length - 8, REPLY_TEXT_BYTES - 1);
    {
        std::lock_guard<std::mutex> lock(reply_mutex);
        std::memcpy(reply_block.get(), block, 8);
        std::memcpy(reply_block.get() + 8, block + 8, text_bytes);
        reply_block[8 + text_bytes] = '\0';
    }
    reply_event.Set();
    const char* text = reinterpret_cast<const char*>(block + 8);
    ParseXmlProperties(std::string(text, strnlen(text, text_bytes)).c_str());
    logger.Log("XML recieved");
    if (production_mode)
        SetScannerReady();
}

void CScanvo::OnDataContainer(const uint8_t* container, uint32_t size, ContainerKind kind)
{
    if (kind.profile)
        PushFrame(container, size, false);
    if (kind.camera)
        PushFrame(container, size, true);
}

void CScanvo::OnLinearizationData(const uint8_t* data, uint32_t size)
{
    auto raw = std::make_shared<const std::vector<uint8_t>>(data, data + size);
    auto parsed = std::make_shared<LinearizationData>();
    const int result = parsed->ReadFromMemory(raw->data(), raw->size());
    {
        std::lock_guard<std::mutex> lock(linearization_mutex);
        lin_raw = raw;
    }
    InstallLinearization(parsed, result);
    lin_data_valid = result == LIN_OK;
    if (result == LIN_OK)
        SetScannerReady();
}

int32_t CScanvo::SetLinearizationFile(const std::string& path)
{
    auto parsed = std::make_shared<LinearizationData>();
    const int result = parsed->ReadFromFile(path);
    InstallLinearization(parsed, result);
    return result;
}

void CScanvo::InstallLinearization(std::shared_ptr<const LinearizationData> parsed, int result)
{
    // Readers hold their own snapshot, so the old data lives until they let go.
    std::lock_guard<std::mutex> lock(linearization_mutex);
    lin_check_mode = parsed->CheckMode();
    linearization = result == LIN_OK ? std::move(parsed) : nullptr;
    geometry_current = result == LIN_OK;
}

std::shared_ptr<const LinearizationData> CScanvo::Linearization() const
{
    std::lock_guard<std::mutex> lock(linearization_mutex);
    return linearization;
}

int32_t CScanvo::GetLinDatType(void* buffer, uint32_t size)
{
    if (buffer == nullptr || size < sizeof(LinearizationRecord))
        return -1;
    const std::shared_ptr<const LinearizationData> data = Linearization();
    if (!data)
        return -3;
    LinearizationRecord copy = data->Record();
    if (!geometry_current)
        copy.geometry_loaded = 0;
    std::memcpy(buffer, &copy, sizeof(copy));
    return 0;
}
