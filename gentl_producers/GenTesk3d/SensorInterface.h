// SensorInterface.h: the command channel to one open sensor (paced writes,
// reads with read-back of written values) and the region, geometry, line
// time, camera mode, acquisition, trigger and pin operations built on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/SensorClock.h"
#include "gentl_producers/GenTesk3d/SensorLink.h"

namespace GenTLCore::ZoTL {

// One scan as Acquire leaves it: the scene it was taken with (a copy made
// under the feature cache's lock at the start of the turn, so a setting
// changed meanwhile never resizes what the fill reads), the status of its
// last profile, and the planes that hold it. The planes belong to the
// SensorInterface and stay valid only while the caller holds ScanLock().
struct ScanData : SceneConfig {
    FeatureCache::ScanStatus scan_status;
    bool scan_mode = true;
    // Each holds at least width x profile_count entries (x3 for the point
    // planes, bytes for the image) when set; null when the scan has none.
    const uint8_t* image = nullptr;
    const uint16_t* intensity = nullptr;
    const uint16_t* range16 = nullptr;
    const float* points32 = nullptr;
    const uint16_t* points16 = nullptr;
};

// Where a 3D scan's planes may go straight away: the data area of the
// buffer the turn will fill, laid out as the plain payload.
struct PlaneTarget {
    uint8_t* data = nullptr;
    uint64_t bytes = 0;
};

// Created by the local device at open, which shares it (SharedPtr) with the
// remote device and the data stream; sends nothing when destroyed.
//
// Threads: consumer threads call every member; the acquisition thread calls
// only Acquire (holding ScanLock()), ReadScannerStatus, ReadScanValue and
// the link's scan calls, and never takes lock_.
// Lock order: lock_ (re-entrant, held by the operations marked "lock_"
// across their commands, sleeps and cache update), then scan_lock_, then the
// cache's lock, then channel_lock_ (a leaf, never held across a sensor call
// or sleep), then the library's own locks.
class SensorInterface {
public:
    // Read results beyond the library's own codes.
    static constexpr int32_t READBACK_TIMEOUT = -6;
    // A size, offset or step the sensor cannot have: the cache keeps its value.
    static constexpr int32_t VALUE_OUT_OF_RANGE = -7;
    // The library's code for a read the sensor did not answer within the
    // library's reply time.
    static constexpr int32_t READ_FAILED = -5;
    // No sensor of this family has more pixels on an axis (the library
    // decodes at most this many points a profile), nor more profiles a scan
    // (a 16-bit item).
    static constexpr uint64_t MAX_SENSOR_PIXELS = 2048;
    static constexpr uint64_t MAX_PROFILES_PER_SCAN = 65535;
    static constexpr int64_t WRITE_SPACING_MS = 100;
    static constexpr int64_t READ_SPACING_MS = 20;
    static constexpr int64_t READBACK_RETRY_MS = 50;
    static constexpr int64_t READBACK_LIMIT_MS = 1000;
    static constexpr int CACHE_AGE_MS = 1000;
    // Oldest pending writes are dropped beyond this: features never read back.
    static constexpr size_t MAX_PENDING_WRITES = 256;
    static constexpr int64_t REGION_SETTLE_MS = 300;
    static constexpr int64_t CAMERA_MODE_SETTLE_MS = 300;
    static constexpr int64_t RESET_SETTLE_MS = 200;
    static constexpr uint32_t MIN_REGION_SIZE = 32;
    static constexpr uint32_t UNDEFINED_MAX_FPS = 4000;
    static constexpr float CAMERA_LINE_TIME_US = 5714.0f;

    struct PendingWrite {
        std::string feature_name;
        float value = 0;
        int64_t write_time_ms = 0;
    };

    // A startup read that got no answer: its key and the library's code.
    struct StartupFailure {
        std::string key;
        int32_t code = 0;
    };

    // Runs the startup reads into `cache` and stops acquisition. When a read
    // gets no answer, the startup ends there (StartupFailed() tells), and the
    // object is fit only to be released.
    SensorInterface(std::unique_ptr<ISensorLink> link, const SharedPtr<FeatureCache>& cache,
                    std::unique_ptr<IClock> clock = std::make_unique<SteadyClock>());
    SensorInterface(const SensorInterface&) = delete;
    SensorInterface& operator=(const SensorInterface&) = delete;
    const std::optional<StartupFailure>& StartupFailed() const { return startup_failure_; }

    // A group of reads: the first refreshes the library's values, the rest
    // take them as they are. A batch inside another belongs to the outer one.
    class ReadBatch {
    public:
        explicit ReadBatch(SensorInterface& owner);
        ~ReadBatch();
        ReadBatch(const ReadBatch&) = delete;
        ReadBatch& operator=(const ReadBatch&) = delete;

    private:
        SensorInterface& owner;  // outlives the batch, which lives on the stack
        const bool nested;
    };

    // Command channel. Writes are false when the library refused the text.
    bool WriteCommand(std::string command);
    template <class T>  // int32_t, uint32_t, uint64_t
    bool WriteParameter(const std::string& name, T value);
    // 0, the library's negative code (output untouched) or READBACK_TIMEOUT
    // (output holds the last value read).
    template <class T>  // uint32_t, int32_t, float, uint64_t, uint8_t
    int32_t ReadParameter(const std::string& key, T* out);
    int32_t ReadStringParameter(const std::string& key, std::string* out);
    // The value carried by the last scan: no pacing, no read-back.
    template <class T>  // uint32_t, char
    bool ReadScanValue(const std::string& key, T* out);

    // Read-back tracking.
    static std::string ExtractFeatureName(const std::string& text);
    static bool ReadbackMatches(const std::string& feature, float written, float read);
    // 1 nothing pending, 2 confirmed, 0 read again, -1 timed out.
    int CheckState(const std::string& key, float value);
    void RegisterWriteCommand(const std::string& name, float value);
    size_t PendingWriteCountForTest();

    // Region (lock_ for the setters). Offsets are in decimated sensor pixels.
    // Sizes, offsets and steps outside what the sensor can have (SizeLimit)
    // give GC_ERR_INVALID_PARAMETER with nothing sent; reads of them
    // VALUE_OUT_OF_RANGE, leaving the cache as it was.
    GC_ERROR SetROI1WidthX(uint64_t width);
    GC_ERROR SetROI1OffsetX(uint64_t offset);
    GC_ERROR SetROI1OffsetZ(uint64_t offset);
    GC_ERROR SetROI1HeightZ(uint64_t height);
    GC_ERROR SetAmountProfilesY(uint64_t profiles);
    // The region keeps its place: size and offset rescale, clamped to the
    // sensor's pixels at the new decimation.
    GC_ERROR SetROI1StepX(uint32_t decimation);
    GC_ERROR SetROI1StepZ(uint32_t decimation);
    int32_t GetROI1WidthX();
    int32_t GetROI1HeightZ();
    int32_t GetAmountProfilesY();
    int32_t GetROI1OffsetX();
    int32_t GetROI1OffsetZ();
    int32_t GetPixelXMax();
    int32_t GetPixelZMax();
    int32_t GetROI1StepX();
    int32_t GetROI1StepZ();
    int32_t GetSignalEnable();
    int32_t GetHeight();
    bool SetSignalEnable(int32_t value);
    void SetRegionSelector(bool scan_region);
    void ReadRegionSettings();
    void ReadGeometry();

    // Line time (lock_).
    int32_t GetMaxFps();
    // GC_ERR_INVALID_PARAMETER below 1 profile per second, with nothing sent.
    GC_ERROR SetAcquisitionLineTime(float line_rate);
    int32_t GetAcquisitionLineTime();

    // Camera mode and acquisition.
    void GetCameraMode();
    bool SetCameraMode(bool on);
    // Sizes the scan planes for the current scene; takes scan_lock_, so it
    // waits for an acquisition turn in progress. GC_ERR_OUT_OF_MEMORY when
    // they do not fit.
    GC_ERROR PrepareScanBuffers();
    // lock_. Sends nothing when the scan planes cannot be sized.
    GC_ERROR SetAcquisitionStart();
    void SetAcquisitionStop();
    bool SetResetSettings();

    // Pins EA1 to EA4, numbered 1 to 4. Each pin item is a write of its own.
    // A pin outside 1 to 4 sends nothing; SetEA also asserts on it.
    void SetEA(uint32_t pin, uint32_t function);
    int32_t ReadLineFunctions();
    void RefreshLineFunctions();
    // The pins read as plain inputs, in pin order.
    std::vector<uint32_t> GetPlainInputLines();
    bool IsLine1Encoder() { return IsEncoderLine(1); }
    bool IsLine2Encoder() { return IsEncoderLine(2); }
    void ClearEAFunctions(uint32_t pin);
    void SetTriggerInputLine(uint32_t pin);
    void SetProfileEnableLine(uint32_t pin);
    void ClearAllProfileEnable();
    bool GetEAProfileEnable(uint32_t pin);
    bool GetEAResetCounter(uint32_t pin);
    void SetEAResetCounter(uint32_t pin);
    void ClearEAResetCounter(uint32_t pin);
    // Whether anything but trigger `selector` (-1: any trigger) holds the pin.
    bool IsLineInUse(uint32_t pin, int32_t selector);

    // Triggers, indexed as FeatureCache::TriggerIndex. Sources: 1 to 4 the
    // pins, 5 and 6 Encoder1 and Encoder2, 7 Software (for FrameStart and
    // AcquisitionActive also no pin). The sensor has one trigger setting,
    // which SetTriggerSource writes for LineStart.
    void SetTriggerSource(uint32_t source);
    // False when the sensor's trigger cannot be read.
    bool GetTriggerSource();
    void SetLineStartMode(bool on);
    void SetFrameStartMode(bool on);
    void SetAcquisitionActiveMode(bool on);
    void SetFrameStartSource(uint32_t source);
    void SetAcquisitionActiveSource(uint32_t source);
    uint32_t GetFrameStartSource();
    // 1 when a pin enables profiles, else 0.
    uint32_t GetAcquisitionActiveSource();
    // The trigger of trigger_selector; outside 0 to 2 they change nothing
    // and read 0 (lock_).
    void SetTriggerMode(bool on);
    void SetSelectedTriggerSource(uint32_t source);
    uint32_t GetSelectedTriggerSource();
    bool GetSelectedTriggerMode();
    void SetTriggerSoftware();

    // Whether a pin may be chosen.
    bool IsTriggerSourceAvailable(uint32_t pin);
    bool IsResetSourceAvailable(uint32_t pin);
    bool IsEncoderSourceAvailable(uint32_t pin);
    bool IsLineOutputAvailable();

    // Encoder inputs (track A on EA1, B on EA2) and the counter's reset pin.
    void SetEncoderSourceA(bool on);
    void SetEncoderSourceB(bool on);
    // 0 (Off) or a pin; GC_ERR_INVALID_PARAMETER above 4, with nothing sent.
    GC_ERROR SetEncoderResetSource(uint32_t pin);
    uint32_t GetEncoderResetSource();
    void SetResetSignalEdge(int32_t edge);
    int32_t GetResetSignalEdge();  // the edge as last read

    // The line of line_selector (pin line_selector + 1). Outside 0 to 3 the
    // setters send nothing and the getters read 0. Getters return 0 or the
    // read's code.
    void SetLineMode(uint32_t mode);  // 1 output, else input
    void SetLineOutput();
    void SetLineSource(uint32_t source);
    void SetOutputFunction(uint32_t value);
    int32_t GetOutputFunction();
    void SetUserOutputValue(uint32_t value);
    int32_t GetUserOutputValue();
    void SetInputLoad(bool on);
    int32_t GetInputLoad();
    void SetLineInverter(bool on);
    int32_t GetLineInverter();
    int32_t GetIOState();

    // Scan acquisition. Which way Acquire takes the next scan.
    enum class AcquireKind { IMAGE, SINGLE_PROFILE, TIMESTAMP_SCAN, SCAN };
    // Scan3dCoordinateSource values: where a profile's B coordinate comes from.
    static constexpr uint32_t SOURCE_ENCODER = 0;
    static constexpr uint32_t SOURCE_TIMESTAMP = 1;
    static constexpr uint32_t SOURCE_FRAME_ID = 2;
    static constexpr int PROFILE_TIMEOUT_MS = 100;  // one GetXZIExtended
    static constexpr int64_t RESET_FIFO_LIMIT_MS = 5000;
    static constexpr uint32_t IMAGE_TIMEOUT_MS = 1000;
    static AcquireKind ChooseAcquireKind(bool scan_mode, uint64_t height, uint32_t source);

    // The acquisition thread's turn: the caller holds ScanLock() from here
    // to the end of the fill that reads `scan`. False, reading nothing, when
    // acquisition is not started or, in 3D, no scan width is known; false
    // when no profile or image came. A scan that ended early is true with
    // profile_count below height. The planes land in `target` when they fit
    // it, else in the scan buffers.
    bool Acquire(ScanData& scan, PlaneTarget target = {});
    // Empties the library's FIFO (consumer thread, under lock_; takes
    // scan_lock_). False on a read error or when it does not run empty
    // within RESET_FIFO_LIMIT_MS.
    bool ResetFifo();
    // Timestamp, temperature and scanner state into `status`; a failed read
    // leaves its value. Always true.
    bool ReadScannerStatus(FeatureCache::ScanStatus& status);
    // While set, a scan in progress ends at its next profile read (within
    // PROFILE_TIMEOUT_MS) with what it has: the engine's stop sets it so that
    // a slow scan does not hold the stop up, and its start clears it.
    void SetAcquireCancelled(bool cancelled) { acquire_cancelled_ = cancelled; }
    // Held by the acquisition thread for one acquire-and-fill turn and by
    // PrepareScanBuffers and ResetFifo.
    std::mutex& ScanLock() { return scan_lock_; }

    void SetDeviceLabel(const std::string& label);
    std::string GetDeviceLabel();

    // Where device events from the sensor go: a function and its context,
    // empty at creation. The local device installs and clears it (lock_);
    // the sensor sends no such events, so nothing calls it.
    struct DeviceEventSlot {
        void (*send)(const std::string& data, void* context) = nullptr;
        void* context = nullptr;
    };
    void SetDeviceEventSlot(const DeviceEventSlot& slot);
    // Calls the slot under lock_; false when it is empty.
    bool SendDeviceEventForTest(const std::string& data);
    bool IsQrtaSeries() const { return qrta_series_.load(); }
    bool IsScanMode() const { return scan_mode_.load(); }
    bool IsAcquisitionStarted() const { return acquisition_started_.load(); }

    ISensorLink& Link() { return *link_; }
    Mutex& Lock() { return lock_; }

    // Scan buffers, sized by PrepareScanBuffers before acquisition starts
    // and resized by Acquire to the turn's scene; guarded by scan_lock_.
    std::vector<float> points32;
    std::vector<uint16_t> points16;
    std::vector<uint16_t> range16;
    std::vector<uint8_t> image;
    std::vector<uint16_t> intensity16;
    std::vector<double> x_values;
    std::vector<double> z_values;
    std::vector<int> intensity_values;

private:
    // Acquisition steps, under scan_lock_; `scan` holds the turn's scene and
    // `table` the coordinate records of its range format.
    bool AcquireImage(ScanData& scan);
    bool AcquireSingleProfile(ScanData& scan, const FeatureCache::Coordinate (&table)[3]);
    bool AcquireScan(ScanData& scan, const FeatureCache::Coordinate (&table)[3], uint32_t source,
                     uint32_t timeout_ms);
    void SizeScanPlanes(ScanData& scan, PlaneTarget target);
    void SizePlanesForStart(const FeatureCache::Region& camera, const FeatureCache::Region& scan);
    // GetXZIExtended into the profile arrays; points beyond those received
    // are emptied and the counters go into `status`.
    int ReadProfile(const ScanData& scan, FeatureCache::ScanStatus& status);
    void StoreProfile(const ScanData& scan, const FeatureCache::Coordinate (&table)[3], float y,
                      uint64_t row);

    void EndStartup(const std::string& written);
    bool SendWrite(const std::string& text, const char* refused);
    int CacheAgeMs() const;
    void WaitReadSpacing();
    int32_t ReadWithReadback(const std::string& key, float& value);
    int32_t ReadReply(const std::string& request, std::string& reply, int age_ms);
    void Settle(int64_t ms) { clock_->SleepForMs(ms); }
    void UpdateCache(const std::function<void(FeatureCache&)>& update);

    // What the sensor can have for each size it reports or takes, from its
    // pixel counts as last read (MAX_SENSOR_PIXELS while unknown).
    enum class SizeItem {
        PIXELS,
        WIDTH,
        HEIGHT,
        OFFSET_X,
        OFFSET_Y,
        PROFILES,
        DECIMATION_X,
        DECIMATION_Z
    };
    struct SizeRange {
        uint64_t low = 0;
        uint64_t high = 0;
    };
    SizeRange SizeLimit(SizeItem item);
    // The value of `key` when it lies in `range`; VALUE_OUT_OF_RANGE (logged
    // once until the key reads a sound value again) when not, NaN included.
    int32_t ReadSize(const std::string& key, SizeRange range, uint64_t& value);
    // GC_ERR_INVALID_PARAMETER naming `feature` when `value` is outside `item`'s range.
    GC_ERROR CheckWrittenSize(const char* feature, SizeItem item, uint64_t value);
    GC_ERROR SetDecimation(bool horizontal, uint32_t decimation);
    GC_ERROR SetRegionOffset(bool horizontal, uint64_t offset);
    int32_t ReadDecimation(bool horizontal);
    bool SwitchCameraMode(int32_t mode, int32_t line_time_us);
    void StoreTriggerSource(int32_t value, bool frame_start_on);
    bool WritePinItem(uint32_t pin, const char* item, int32_t value);
    int32_t ReadPinItem(uint32_t pin, const char* item, int32_t* value);
    bool IsEncoderLine(uint32_t pin);
    void WriteResetCounterItems(uint32_t pin, bool set);
    uint32_t FirstProfileEnabledInput();
    uint32_t EncoderResetSource();
    uint32_t SelectedPin() const { return cache_->line_selector.load() + 1; }
    void WriteLineItem(const char* item, int32_t value,
                       const std::function<void(FeatureCache::Line&)>& store);
    int32_t ReadLineItem(const char* item,
                         const std::function<void(FeatureCache::Line&, int32_t)>& store);

    // Where StoreProfile writes this turn (scan buffers or the target);
    // set by SizeScanPlanes, under scan_lock_.
    struct PlaneWriters {
        uint16_t* intensity = nullptr;
        float* points32 = nullptr;
        uint16_t* points16 = nullptr;
        uint16_t* range16 = nullptr;
    } planes_;

    // Fixed at construction.
    const std::unique_ptr<ISensorLink> link_;
    const SharedPtr<FeatureCache> cache_;
    const std::unique_ptr<IClock> clock_;

    Mutex lock_;
    DeviceEventSlot device_event_slot_;  // guarded by lock_
    std::mutex scan_lock_;
    std::atomic<bool> acquisition_started_{false};
    std::atomic<bool> acquire_cancelled_{false};
    std::atomic<bool> read_batch_{false};
    std::atomic<bool> batch_fresh_{false};
    std::atomic<bool> scan_mode_{true};
    std::atomic<bool> startup_{true};
    std::atomic<bool> qrta_series_{false};

    // Constructor only: while its reads run, the first one left unanswered
    // is kept here and every later read fails at once with its code, so a
    // mute sensor costs one reply time, not one per read.
    bool starting_ = true;
    std::optional<StartupFailure> startup_failure_;

    // Guarded by channel_lock_.
    std::mutex channel_lock_;
    std::string device_label_;
    int64_t last_write_time_ = 0;
    std::set<std::string> refused_keys_;
    std::deque<PendingWrite> pending_writes_;
};

}  // namespace GenTLCore::ZoTL
