// The read side of CScanvo: containers into and out of the FIFO, profiles,
// range images, camera images and the copies of the last container.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>

#include "platform/Clock.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/LeadingNumber.h"
#include "sensor_library/LittleEndian.h"

using LittleEndian::LoadU16;
using LittleEndian::LoadU32;

namespace {

constexpr uint32_t FIFO_LOG_INTERVAL_MS = 1000;
constexpr double FIFO_LOG_PERCENT = 30.0;
constexpr uint32_t MAX_IMAGE_BYTES = 4202500;

// What a range image row is built with.
struct RangeRowSettings {
    RangeImageScaling scaling;
    double z_start;
    double z_range;
    int64_t width;
};

// One profile into its image row: every point inside the Z range whose
// column falls on the row; points that no integer can represent are skipped.
void FillRangeRow(uint16_t* row, const double* x, const double* z, int32_t points,
                  const RangeRowSettings& settings)
{
    const double x_scale = settings.scaling.x_scale.value;
    const double z_scale = settings.scaling.z_scale.value;
    if (x_scale == 0 || z_scale == 0)
        return;
    for (int32_t i = 0; i < points; ++i) {
        if (!(z[i] >= settings.z_start && z[i] < settings.z_start + settings.z_range))
            continue;
        const double column = std::trunc((x[i] - settings.scaling.x_offset.value) / x_scale);
        const double value = std::trunc((z[i] - settings.scaling.z_offset.value) / z_scale);
        if (!(column >= 0 && column < static_cast<double>(settings.width)))
            continue;
        if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max()))
            continue;
        row[static_cast<int64_t>(column)] = static_cast<uint16_t>(static_cast<int32_t>(value) & 0xFFFF);
    }
}

}  // namespace

struct CScanvo::ProfileExtras {
    uint32_t encoder = 0;
    uint8_t user_io = 0;
    int32_t picture_count = 0;
    uint32_t time_stamp = 0;
};

struct CScanvo::ImageTarget {
    char* buffer = nullptr;  // GetImage
    int32_t size = 0;
    std::vector<uint8_t>* vector = nullptr;  // TakeCameraImage
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t x_offset = 0;
    uint32_t z_offset = 0;
    uint32_t x_step = 0;
    uint32_t z_step = 0;
};

void CScanvo::PushFrame(const uint8_t* container, uint32_t size, bool camera)
{
    const uint32_t capacity = fifo.Capacity();
    if (capacity < size) {
        logger.Log(std::string(camera ? "Error: In camera mode, the size of Fifo Buffer "
                                      : "Error: In profile mode, the size of Fifo Buffer ") +
                   std::to_string(capacity) + " is not sufficient, should be greater than " +
                   std::to_string(size));
        logger.Log("please disconnect the sensor, and set a valid FifoSize");
        return;
    }
    if (!assembler.FrameCheck(container, size)) {
        if (!camera)
            logger.Log("Error in FrameCheck");
        return;
    }
    const uint32_t previous = fifo.ContainerSize();
    if (size != previous) {
        if (!camera) {
            logger.Log("Warning in FrameCheck: m_uiContainerSizeTemp " + std::to_string(previous) +
                       " != (unsigned int)iBuffe " + std::to_string(size));
        }
        ResetDllFiFo();
    }
    if (fifo.Write(container, size).dropped_oldest)
        logger.Log("K7PX - Dll: Write<Read AND Write + Buffer>Read");
    // The events outlive this thread: the disconnect joins it first.
    (camera ? image_event : profile_event).SetThenWake();
    ++assembler.Statistics().frame_count;
}

int32_t CScanvo::ResetDllFiFo()
{
    fifo.Reset();
    profile_event.Reset();
    ForgetLastRead();
    logger.Log("Reset FiFo");
    return 0;
}

void CScanvo::ForgetLastRead()
{
    std::lock_guard<std::mutex> lock(record_mutex);
    ++read_generation;
    last_read_valid = false;
}

int32_t CScanvo::GetDllFiFoState() const
{
    return static_cast<int32_t>(fifo.FillPercent());
}

std::shared_ptr<const LinearizationData> CScanvo::GeometryData() const
{
    std::shared_ptr<const LinearizationData> data = Linearization();
    if (!data || !geometry_current || data->Record().geometry_loaded == 0)
        return nullptr;
    return data;
}

// A time-out of 0 looks at the FIFO whether or not the event was set.
bool CScanvo::WaitForContainer(Platform::Win32Event& event, uint32_t timeout_ms)
{
    return WaitUnlessClosing(event, timeout_ms) || (timeout_ms == 0 && !closing);
}

void CScanvo::RearmIfNotEmpty(Platform::Win32Event& event)
{
    if (!fifo.IsEmpty())
        event.Set();
}

uint32_t CScanvo::CopyTaken(const uint8_t* container, uint32_t size)
{
    taken_copy.assign(container, container + size);
    return read_generation.load();
}

void CScanvo::DecodeTaken(const PointArrays& direct)
{
    decoder.DecodeProfileContainer(taken_copy.data(), static_cast<uint32_t>(taken_copy.size()),
                                   xml.IsPackedIntensity(), *profile, direct);
    if (profile->has_status) {
        scanner_status = profile->status[0];
        pll_lock_status = profile->status[56];
        fpga_error_code = profile->status[80];
    }
}

// The container is kept whole so the named values never read a slot the
// writer reuses; swapped, so nothing is copied twice or allocated anew.
void CScanvo::PublishTaken(uint32_t generation)
{
    std::lock_guard<std::mutex> lock(record_mutex);
    if (generation != read_generation.load()) return;
    *record = *profile;
    last_container.swap(taken_copy);
    last_read_valid = true;
}

int32_t CScanvo::GetXZIExtended(double* x, double* z, int32_t* intensity, int32_t* peak_width,
                                int32_t capacity, uint32_t* encoder, uint8_t* user_io,
                                int32_t timeout_ms, uint8_t* raw_buffer, int32_t raw_size,
                                int32_t* picture_count)
{
    if (!GeometryData())
        return -2;
    if (x == nullptr && z == nullptr && intensity == nullptr && peak_width == nullptr &&
        raw_buffer == nullptr)
        return -3;
    ProfileExtras extras;
    const int32_t result = ReadProfile(PointArrays{x, z, intensity, peak_width, capacity},
                                       timeout_ms, raw_buffer, raw_size, extras);
    if (result < 0)
        return result;
    if (encoder != nullptr)
        *encoder = extras.encoder;
    if (user_io != nullptr)
        *user_io = extras.user_io;
    if (picture_count != nullptr)
        *picture_count = extras.picture_count;
    return result;
}

int32_t CScanvo::ReadProfile(const PointArrays& points, int32_t timeout_ms, uint8_t* raw_buffer,
                             int32_t raw_size, ProfileExtras& extras)
{
    if (!WaitForContainer(profile_event, static_cast<uint32_t>(timeout_ms)) ||
        !assembler.IsSynchronised())
        return -1;
    // The FIFO's lock only for the copy: the receive thread never waits for a decode.
    std::unique_lock<std::mutex> decode_lock(decode_mutex);
    int32_t raw_count = 0;
    uint32_t generation = 0;
    const bool took = fifo.Take(fifo_newest_only, [&](const uint8_t* container, uint32_t size) {
        if (raw_buffer != nullptr && raw_size > 0 && container[0] != 0) {
            raw_count = static_cast<int32_t>(std::min(static_cast<uint32_t>(raw_size), size));
            std::memcpy(raw_buffer, container, static_cast<std::size_t>(raw_count));
        }
        generation = CopyTaken(container, size);
        return true;
    });
    if (!took) return -1;
    DecodeTaken(points);
    PublishTaken(generation);
    int32_t result = raw_count;
    if (points.x != nullptr || points.z != nullptr || points.intensity != nullptr ||
        points.width != nullptr) {
        const std::shared_ptr<const LinearizationData> data = GeometryData();
        result = decoder.LinearizeAndEmit(data.get(), *profile, sorting_x, points);
    }
    extras = ProfileExtras{profile->encoder, profile->user_io, profile->PictureCounter(),
                           profile->TimeStamp()};
    decode_lock.unlock();
    RearmIfNotEmpty(profile_event);
    LogFifoFillIfDue();
    return result;
}

void CScanvo::LogFifoFillIfDue()
{
    const uint32_t now = Platform::GetTickCountMs();
    uint32_t last = fifo_log_tick;
    if (now - last <= FIFO_LOG_INTERVAL_MS || !fifo_log_tick.compare_exchange_strong(last, now))
        return;
    const double percent = fifo.FillPercent();
    if (!logger.IsActive() || percent <= FIFO_LOG_PERCENT)
        return;
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << "K7PX-Dll: FiFo(%): " << percent;
    logger.Log(text.str());
}

int32_t CScanvo::GetRangeImage(uint16_t* image, int32_t size, int32_t timeout_ms,
                               bool* pic_count_error, int32_t* picture_counters, int32_t* encoders,
                               uint32_t* time_stamps)
{
    if (pic_count_error != nullptr)
        *pic_count_error = false;
    if (!GeometryData())
        return -2;
    if (image == nullptr)
        return -3;
    RangeRowSettings settings{RangeImage(), 0, 0, 0};
    int32_t width = 0;
    if (!LeadingNumber(xml.Text(XmlKey::PIXEL_X_MAX), width) ||
        !LeadingNumber(xml.Text(XmlKey::WORKING_RANGE_Z_START), settings.z_start) ||
        !LeadingNumber(xml.Text(XmlKey::MEASURING_RANGE_Z), settings.z_range) || width <= 0)
        return -3;
    settings.width = width;
    const int64_t profiles = range_image_nr_profiles;
    if (size < 0 || size < settings.width * profiles)
        return -4;
    std::fill(image, image + size, uint16_t{0});
    std::lock_guard<std::mutex> lock(range_work_mutex);
    int32_t last_counter = 0;
    for (int64_t n = 0; n < profiles; ++n) {
        ProfileExtras extras;
        const int32_t points =
            ReadProfile(PointArrays{range_x.data(), range_z.data(), nullptr, nullptr,
                                    ScanvoProfileRecord::MAX_COLUMNS},
                        timeout_ms, nullptr, 0, extras);
        if (points < 0)
            return points;
        if (encoders != nullptr)
            encoders[n] = static_cast<int32_t>(extras.encoder);
        FillRangeRow(image + n * settings.width, range_x.data(), range_z.data(), points, settings);
        if (n > 0 && extras.picture_count - last_counter != 1) {
            logger.Log("picCount Error - old: " + std::to_string(last_counter) + ",  new: " +
                       std::to_string(extras.picture_count));
            if (pic_count_error != nullptr)
                *pic_count_error = true;
        }
        last_counter = extras.picture_count;
        if (picture_counters != nullptr)
            picture_counters[n] = extras.picture_count;
        if (time_stamps != nullptr)
            time_stamps[n] = extras.time_stamp;
    }
    return 0;
}

int32_t CScanvo::GetImage(char* buffer, int32_t size, uint32_t* width, uint32_t* height,
                          uint32_t* x_offset, uint32_t* z_offset, uint32_t* x_step,
                          uint32_t* z_step, uint32_t timeout_ms)
{
    if (buffer == nullptr)
        return -3;
    ImageTarget target;
    target.buffer = buffer;
    target.size = size;
    const int32_t result = ReadImage(target, timeout_ms);
    if (result <= 0)
        return result;
    const std::pair<uint32_t*, uint32_t> outputs[] = {
        {width, target.width},       {height, target.height}, {x_offset, target.x_offset},
        {z_offset, target.z_offset}, {x_step, target.x_step}, {z_step, target.z_step}};
    for (const auto& [output, value] : outputs) {
        if (output != nullptr)
            *output = value;
    }
    return result;
}

bool CScanvo::TakeCameraImage(std::vector<uint8_t>& image, uint32_t& width, uint32_t& height,
                              uint32_t timeout_ms)
{
    ImageTarget target;
    target.vector = &image;
    if (ReadImage(target, timeout_ms) <= 0)
        return false;
    width = target.width;
    height = target.height;
    return true;
}

int32_t CScanvo::ReadImage(ImageTarget& target, uint32_t timeout_ms)
{
    if (!WaitForContainer(image_event, timeout_ms) || !assembler.IsSynchronised())
        return -1;
    std::unique_lock<std::mutex> decode_lock(decode_mutex);
    int32_t result = -1;
    bool copied = false;
    uint32_t generation = 0;
    const bool took = fifo.Take(false, [&](const uint8_t* container, uint32_t size) {
        generation = CopyTaken(container, size);
        copied = true;
        DecodeTaken();
        result = CopyImage(target);
        // An image too large for the buffer stays for a larger one.
        return result != -1;
    });
    // The named values show an image left for a larger buffer too.
    if (copied) PublishTaken(generation);
    decode_lock.unlock();
    RearmIfNotEmpty(image_event);
    return took ? result : -1;
}

// Under decode_mutex.
int32_t CScanvo::CopyImage(ImageTarget& target) const
{
    const ScanvoProfileRecord& r = *profile;
    if (r.camera.length == 0)
        return 0;
    const uint32_t bytes = r.ImageBytes();
    if (target.vector != nullptr) {
        if (bytes > MAX_IMAGE_BYTES)
            return -1;
        target.vector->resize(bytes);
        std::memcpy(target.vector->data(),
                    taken_copy.data() + r.camera.offset + SensorBlock::CAMERA_HEAD, bytes);
    } else {
        if (target.size < 0 || r.camera.length > static_cast<uint32_t>(target.size))
            return -1;
        std::memcpy(target.buffer, taken_copy.data() + r.camera.offset + SensorBlock::CAMERA_HEAD,
                    bytes);
    }
    target.width = LoadU16(r.x_roi.data() + 12);
    target.height = LoadU16(r.z_roi.data() + 12);
    target.x_offset = r.x_offset;
    target.z_offset = r.z_offset;
    target.x_step = r.x_step;
    target.z_step = r.z_step;
    return static_cast<int32_t>(bytes);
}

int32_t CScanvo::GetRawData(unsigned char* buffer, int32_t size)
{
    if (buffer == nullptr || size <= 0 || !assembler.IsSynchronised())
        return -1;
    const int32_t count = fifo.TakeRaw(buffer, size);
    LogFifoFillIfDue();
    return count;
}

int32_t CScanvo::CopyContainerBlock(uint32_t tag, unsigned char* buffer, uint32_t size,
                                    int32_t max_age)
{
    if (max_age != -1) {
        if (size == 0 || buffer == nullptr)
            return SCANVO_READDATASMALLBUFFER;
        buffer[0] = 0;
        return SCANVO_READDATANOTSUPPORTEDMODE;
    }
    std::lock_guard<std::mutex> lock(record_mutex);
    if (!last_read_valid)
        return SCANVO_READDATANOSCAN;
    const uint8_t* container = last_container.data();
    const uint32_t stored = static_cast<uint32_t>(last_container.size());
    if (stored < 8)
        return SCANVO_READDATAFAILED;
    // The walk never leaves the stored container, whatever its head says.
    const uint32_t declared = LoadU32(container + 4);
    const uint32_t end = declared == 0 ? stored : std::min(declared, stored);
    for (uint32_t position = 8; position < end && end - position >= 8;) {
        const uint32_t length = LoadU32(container + position + 4);
        if (length < 8 || length > end - position)
            break;
        if (LoadU32(container + position) == tag) {
            if (buffer == nullptr || size <= length)
                return SCANVO_READDATASMALLBUFFER;
            std::memcpy(buffer, container + position, length);
            return 0;
        }
        position += length;
    }
    return SCANVO_READDATAFAILED;
}

int32_t CScanvo::CopyLastContainer(unsigned char* buffer, uint32_t size)
{
    std::lock_guard<std::mutex> lock(record_mutex);
    if (!last_read_valid)
        return SCANVO_READDATANOSCAN;
    if (buffer == nullptr || size <= last_container.size())
        return SCANVO_READDATASMALLBUFFER;
    std::memcpy(buffer, last_container.data(), last_container.size());
    return 0;
}
