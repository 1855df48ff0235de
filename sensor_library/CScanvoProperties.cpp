// The named values of CScanvo and the XML status behind them. Every name is
// a row of one of the tables below; the getters are built from the rows.
#include <charconv>
#include <cstring>

#include "platform/Clock.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/LittleEndian.h"

using namespace XmlKey;

namespace NamedValue {

// Where a number of the last scan comes from.
enum class Area : uint8_t { General, Static, XRoi, ZRoi, Status, Derived };
// Numbers the decode computes rather than reads from one place.
enum Derived : uint16_t { ENCODER, USER_IO, LINEARIZATION_MODE, TRIGGER_SOURCE_VALUE, TRIGGER_AMOUNT, ENCODER_TRIGGER };
enum class Sign : uint8_t { Unsigned, Signed8, Signed32 };

// `bytes` little-endian bytes at `offset`, shifted right by `shift` and cut
// to `bits` bits (0: all of them).
struct ScanField {
    Area area;
    uint16_t offset;
    uint8_t bytes = 1;
    uint8_t shift = 0;
    uint8_t bits = 0;
    Sign sign = Sign::Unsigned;
};

}  // namespace NamedValue

using namespace NamedValue;

namespace {

constexpr uint32_t REFRESH_WAIT_MS = 1000;
constexpr uint32_t IDSCAN_TAG = 0x021A0601;

struct ScanName {
    const char* name;
    ScanField field;
};

struct ScanOrTextName {
    const char* name;
    ScanField field;
    uint16_t key;
};

struct TextName {
    const char* name;
    uint16_t key;
};

struct BlockName {
    const char* name;
    uint32_t tag;
};

const ScanName SCAN_VALUES[] = {
    {"PictureCounter", {Area::General, 8, 2}},
    {"SystemTime", {Area::General, 10, 4}},
    {"UserIOCounter", {Area::General, 51}},
    {"EAFunctionInputCounter", {Area::General, 51}},
    {"CPUFiFo", {Area::Static, 12, 4}},
    {"FPGAFiFo", {Area::Static, 16, 4}},
    {"BandwidthEth", {Area::Static, 46, 2}},
    {"BandwidthDMA", {Area::Static, 48, 2}},
    {"StatisticDataUserData", {Area::Static, 53, 2}},
    {"GetPllLockStatus", {Area::Status, 56, 1, 0, 0, Sign::Signed8}},
    {"GetFPGAErrorCode", {Area::Status, 80}},
    {"Encoder", {Area::Derived, ENCODER, 4, 0, 0, Sign::Signed32}},
    {"LinearizationMode", {Area::Derived, LINEARIZATION_MODE}},
};

const ScanOrTextName SCAN_OR_TEXT_VALUES[] = {
    {"Timestamp", {Area::General, 10, 4}, TIMESTAMP},
    {"IOState", {Area::Derived, USER_IO}, IO_STATE},
    {"EncoderHTL", {Area::General, 14, 4}, ENCODER_HTL},
    {"EncoderTTL", {Area::General, 22, 4}, ENCODER_TTL},
    {"Temperature", {Area::Static, 32}, TEMPERATURE},
    {"ScannerState", {Area::Status, 0}, SCANNER_STATUS},
    {"LaserActive", {Area::Status, 0, 1, 6, 1}, LASER_ACTIVE},
    {"TriggerSource", {Area::Derived, TRIGGER_SOURCE_VALUE, 1, 0, 0, Sign::Signed8}, TRIGGER_SOURCE},
    {"TriggerAmountProfilesY", {Area::Derived, TRIGGER_AMOUNT, 1, 0, 0, Sign::Signed8},
     TRIGGER_AMOUNT_PROFILES_Y},
    {"CameraRunning", {Area::Status, 1, 1, 7, 1}, CAMERA_RUNNING},
    {"AcquisitionLineTime", {Area::Status, 2, 3}, ACQUISITION_LINE_TIME},
    {"TriggerDelay", {Area::Status, 5, 3}, TRIGGER_DELAY},
    {"SyncOutDelay", {Area::Status, 14, 3}, SYNC_OUT_DELAY},
    {"SyncOut", {Area::Status, 17, 3}, SYNC_OUT},
    {"SignalEnable", {Area::Status, 21}, SIGNAL_ENABLE},
    {"SignalContentZ", {Area::Status, 23, 1, 0, 1}, CONTENT_Z},
    {"SignalContentStrength", {Area::Status, 23, 1, 1, 1}, CONTENT_STRENGTH},
    {"SignalContentWidth", {Area::Status, 23, 1, 2, 1}, CONTENT_WIDTH},
    {"SignalContentReserved", {Area::Status, 23, 1, 3, 1}, CONTENT_RESERVED},
    {"TriggerEncoderStep", {Area::Status, 28, 2}, TRIGGER_ENCODER_STEP},
    {"SignalSelection", {Area::Status, 39}, SIGNAL_SELECTION},
    {"SignalWidthMin", {Area::Status, 40}, SIGNAL_WIDTH_MIN},
    {"SignalWidthMax", {Area::Status, 41}, SIGNAL_WIDTH_MAX},
    {"AmountProfilesY", {Area::Status, 44, 2}, AMOUNT_PROFILES_Y},
    {"SignalStrengthMin", {Area::Status, 59, 2}, SIGNAL_STRENGTH_MIN},
    {"EncoderCountDirection", {Area::Status, 63, 1, 0, 1, Sign::Signed8}, ENCODER_COUNT_DIRECTION},
    {"EncoderTriggerFunction", {Area::Derived, ENCODER_TRIGGER, 1, 0, 0, Sign::Signed8},
     ENCODER_TRIGGER_FUNCTION},
    {"ExposureTime", {Area::General, 47, 3}, EXPOSURE_TIME},
    {"ROI1OffsetX", {Area::XRoi, 10, 2}, ROI_X1_OFFSET},
    {"ROI1WidthX", {Area::XRoi, 12, 2}, ROI_X1_WIDTH},
    {"ROI1StepX", {Area::XRoi, 14, 2}, ROI_X1_STEP},
    {"ROI1OffsetZ", {Area::ZRoi, 10, 2}, ROI_Z1_OFFSET},
    {"ROI1HeightZ", {Area::ZRoi, 12, 2}, ROI_Z1_HEIGHT},
    {"ROI1StepZ", {Area::ZRoi, 14, 2}, ROI_Z1_STEP},
};

// One user I/O's names: the field relative to its status group, and the
// index of its path tail (XmlStatusCache::EA_TAILS).
struct EaName {
    const char* suffix;
    ScanField field;
    uint16_t tail;
};

const EaName EA_VALUES[] = {
    {"Function", {Area::Status, 0}, 0},
    {"FunctionLaserOff", {Area::Status, 1, 1, 0, 1}, 1},
    {"FunctionProfileEnable", {Area::Status, 1, 1, 1, 1}, 2},
    {"FunctionResetCounter", {Area::Status, 1, 1, 2, 1}, 3},
    {"Output", {Area::Status, 2, 1, 0, 7, Sign::Signed8}, 6},
    {"OutputFunction", {Area::Status, 2, 1, 7, 1}, 7},
    {"InputFunction", {Area::Status, 3, 1, 1, 1}, 4},
    {"InputLoad", {Area::Status, 3, 1, 2, 1}, 5},
    {"ResetCounterBaseTimeCounter", {Area::Status, 4, 1, 0, 1}, 10},
    {"ResetCounterPictureCounter", {Area::Status, 4, 1, 1, 1}, 11},
    {"ResetCounterEncoderHTL", {Area::Status, 4, 1, 2, 1}, 12},
    {"ResetCounterEncoderTTLRS422", {Area::Status, 4, 1, 3, 1}, 13},
    {"ResetCounterRepeat", {Area::Status, 5, 1, 0, 2}, 8},
    {"ResetCounterSignaledge", {Area::Status, 5, 1, 2, 2}, 9},
};
constexpr uint16_t EA_STATUS_BASE = 128;
constexpr uint16_t EA_STATUS_STRIDE = 6;

const TextName TEXT_VALUES[] = {
    {"OperatingMode", OPERATING_MODE},
    {"OrderNumber", ORDER_NUMBER},
    {"ProductVersion", PRODUCT_VERSION},
    {"Producer", PRODUCER},
    {"HardwareVersion", HARDWARE_VERSION},
    {"FirmwareVersion", FIRMWARE_VERSION},
    {"SerialNumber", SERIAL_NUMBER},
    {"MAC", MAC},
    {"WorkingRangeZStart", WORKING_RANGE_Z_START},
    {"WorkingRangeZEnd", MEASURING_RANGE_Z},
    {"MeasuringRangeZ", MEASURING_RANGE_Z},
    {"FieldWidthXStart", FIELD_WIDTH_X_START},
    {"FieldWidthXEnd", FIELD_WIDTH_X_END},
    {"PixelXMax", PIXEL_X_MAX},
    {"PixelZMax", PIXEL_Z_MAX},
    {"linInfo", LIN_INFO},
    {"MaxFps", MAX_FPS},
    {"TTLState", TTL_STATE},
    {"OnOffCounter", ON_OFF_COUNTER},
    {"OnTimeCounter", ON_TIME_COUNTER},
    {"UserString", USER_STRING},
    {"HeartBeat", HEART_BEAT},
    {"SocketConnectionTimeout", SOCKET_TIMEOUT},
    {"LaserPWM", LASER_PWM},
    {"LaserPWMDisableMode", LASER_PWM_DISABLE_MODE},
    {"ROI1_mm", ROI1_MM},
    {"ROI1Z_mm", ROI1Z_MM},
};

const BlockName BLOCK_VALUES[] = {
    {"IDGeneral", 0x021A0101},
    {"IDStatic", 0x021A0102},
    {"IDDescriptor", 0x021A0103},
    {"IDROIX", 0x021A0201},
    {"IDROIZ", 0x021A0202},
    // The raw profile: the one block no other name reaches.
    {"IDScan", IDSCAN_TAG},
    {"IDScanLinear", 0x021A0602},
    {"IDRegisterCameraQRTA", 0x021A0301},
    {"IDRegisterCameraQRTB", 0x021A0302},
    {"IDRegisterFPGAQRTA", 0x021A0401},
    {"IDRegisterFPGAQRTB", 0x021A0402},
    {"IDScaleParams", 0x021A0801},
    {"IDCRC", 0x021AFFFF},
};

const std::pair<const char*, const char*> REQUESTS[] = {
    {"Settings=0", "GetSettings=0"},
    {"Settings=1", "GetSettings=1"},
    {"Settings=2", "GetSettings=2"},
    {"Settings=3", "GetSettings=3"},
    {"XmlDescriptor", "get_xmldescriptor\r"},
    {"XmlDescriptorExpert", "get_xmldescriptorexpert\r"},
};

template <std::size_t N>
uint32_t LoadBytes(const std::array<uint8_t, N>& block, const ScanField& field)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < field.bytes && field.offset + i < N; ++i)
        value |= uint32_t{block[field.offset + i]} << (8 * i);
    return value;
}

uint32_t DerivedValue(const ScanvoRecordHead& record, uint16_t which)
{
    const uint8_t trigger = record.status[1];
    const bool amount_mode = (trigger & 0x08) != 0;
    switch (which) {
    case ENCODER:
        return record.encoder;
    case USER_IO:
        return record.user_io;
    case LINEARIZATION_MODE:
        return record.linearized ? 1 : 0;
    case TRIGGER_SOURCE_VALUE:
        return amount_mode ? 0xFF : trigger & 0x7Fu;
    case TRIGGER_AMOUNT:
        return amount_mode ? trigger & 0x7Fu : 0xFF;
    default:
        return record.encoder_trigger_function;
    }
}

int64_t ScanValue(const ScanvoRecordHead& record, const ScanField& field)
{
    uint32_t value = 0;
    switch (field.area) {
    case Area::General: value = LoadBytes(record.general, field); break;
    case Area::Static: value = LoadBytes(record.static_block, field); break;
    case Area::XRoi: value = LoadBytes(record.x_roi, field); break;
    case Area::ZRoi: value = LoadBytes(record.z_roi, field); break;
    case Area::Status: value = LoadBytes(record.status, field); break;
    case Area::Derived: value = DerivedValue(record, field.offset); break;
    }
    value >>= field.shift;
    if (field.bits != 0)
        value &= (1u << field.bits) - 1;
    if (field.sign == Sign::Signed8)
        return static_cast<int8_t>(value);
    if (field.sign == Sign::Signed32)
        return static_cast<int32_t>(value);
    return value;
}

// The text and its NUL when they fit, else -1 with nothing written.
int32_t CopyText(const std::string& text, unsigned char* buffer, uint32_t size)
{
    if (text.size() + 1 > size)
        return SCANVO_READDATASMALLBUFFER;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return 0;
}

int32_t NotSupported(unsigned char* buffer, uint32_t size)
{
    if (size == 0)
        return SCANVO_READDATASMALLBUFFER;
    buffer[0] = 0;
    return SCANVO_READDATANOTSUPPORTEDMODE;
}

int32_t CopyNumberText(int64_t value, unsigned char* buffer, uint32_t size)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    return CopyText(std::string(text, result.ptr), buffer, size);
}

// "%f", whatever the process locale.
int32_t CopyFloatText(float value, unsigned char* buffer, uint32_t size)
{
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof(text), double{value}, std::chars_format::fixed, 6);
    return CopyText(std::string(text, result.ptr), buffer, size);
}

int32_t CopyCachedText(const std::string& text, unsigned char* buffer, uint32_t size,
                       int32_t max_age)
{
    if (text.empty())
        return SCANVO_READDATAFEATURENOTDEFINED;
    if (max_age == -1)
        return NotSupported(buffer, size);
    return CopyText(text, buffer, size);
}

}  // namespace

void CScanvo::AddProperty(const std::string& key, PropertyGetter getter)
{
    properties[key + "\r"] = getter;
    properties["Get" + key] = getter;
    properties["Get" + key + "\r"] = getter;
    properties[key] = std::move(getter);
}

void CScanvo::RegisterProperties()
{
    properties.clear();
    for (const auto& [name, request] : REQUESTS) {
        const char* text = request;
        AddProperty(name, [this, text](unsigned char* buffer, unsigned int size, int) {
            return RequestReply(text, reinterpret_cast<char*>(buffer), size, nullptr);
        });
    }
    RegisterLibraryValues();
    for (const ScanName& entry : SCAN_VALUES)
        AddScanValue(entry.name, entry.field, nullptr);
    for (const ScanOrTextName& entry : SCAN_OR_TEXT_VALUES)
        AddScanValue(entry.name, entry.field, &entry.key);
    for (uint16_t n = 0; n < 4; ++n) {
        for (const EaName& entry : EA_VALUES) {
            ScanField field = entry.field;
            field.offset = static_cast<uint16_t>(field.offset + EA_STATUS_BASE + EA_STATUS_STRIDE * n);
            const uint16_t key = static_cast<uint16_t>(EA_FIRST + EA_SUFFIXES * n + entry.tail);
            AddScanValue("EA" + std::to_string(n + 1) + entry.suffix, field, &key);
        }
    }
    for (const TextName& entry : TEXT_VALUES) {
        const uint16_t key = entry.key;
        AddProperty(entry.name, [this, key](unsigned char* buffer, unsigned int size, int max_age) {
            return CopyStringProperty(key, buffer, size, max_age);
        });
    }
    AddProperty("CameraMode", [this](unsigned char* buffer, unsigned int size, int max_age) {
        const int32_t fresh = EnsureFresh(max_age);
        if (fresh != 0)
            return fresh;
        const std::string camera_mode = xml.Text(CAMERA_MODE);
        return CopyCachedText(camera_mode.empty() ? xml.Text(OPERATING_MODE) : camera_mode, buffer,
                              size, max_age);
    });
    for (const BlockName& entry : BLOCK_VALUES) {
        const uint32_t tag = entry.tag;
        AddProperty(entry.name, [this, tag](unsigned char* buffer, unsigned int size, int max_age) {
            const int32_t fresh = EnsureFresh(max_age);
            return fresh != 0 ? fresh : CopyContainerBlock(tag, buffer, size, max_age);
        });
    }
}

// A number of the last scan with maxAge -1; otherwise the cached text, or
// not supported for names without one.
void CScanvo::AddScanValue(const std::string& name, const ScanField& field, const uint16_t* key)
{
    const bool has_text = key != nullptr;
    const uint16_t text_key = has_text ? *key : 0;
    AddProperty(name, [this, field, has_text, text_key](unsigned char* buffer, unsigned int size,
                                                         int max_age) {
        // Age -1 asks only that a scan was read, which the value's own lock
        // tells below.
        if (max_age != -1) {
            const int32_t fresh = EnsureFresh(max_age);
            if (fresh != 0)
                return fresh;
            return has_text ? CopyCachedText(xml.Text(text_key), buffer, size, max_age)
                            : NotSupported(buffer, size);
        }
        int64_t value = 0;
        {
            std::lock_guard<std::mutex> lock(record_mutex);
            if (!last_read_valid)
                return SCANVO_READDATANOSCAN;
            value = ScanValue(*record, field);
        }
        return CopyNumberText(value, buffer, size);
    });
}

void CScanvo::RegisterLibraryValues()
{
    AddProperty("RawData", [this](unsigned char* buffer, unsigned int size, int) {
        return CopyLastContainer(buffer, size);
    });
    AddProperty("LinearizationData", [this](unsigned char* buffer, unsigned int size, int) {
        const std::shared_ptr<const std::vector<uint8_t>> raw = LinearizationRaw();
        if (!raw)
            return SCANVO_READDATAFEATURENOTDEFINED;
        if (size < raw->size() || (buffer == nullptr && !raw->empty()))
            return SCANVO_READDATANOTSUPPORTEDMODE;
        if (!raw->empty())
            std::memcpy(buffer, raw->data(), raw->size());
        return 0;
    });
    AddProperty("LinearizationDataSize", [this](unsigned char* buffer, unsigned int size, int) {
        const std::shared_ptr<const std::vector<uint8_t>> raw = LinearizationRaw();
        const uint32_t bytes = raw ? static_cast<uint32_t>(raw->size()) : 0;
        return CopyNumberText(static_cast<int32_t>(bytes), buffer, size);
    });
    AddProperty("CheckLinearizationMode", [this](unsigned char* buffer, unsigned int size, int) {
        std::unique_lock<std::mutex> lock(linearization_mutex);
        const bool check_mode = lin_check_mode;
        lock.unlock();
        return CopyText(check_mode ? "1" : "0", buffer, size);
    });
    AddProperty("RangeImageNrProfiles", [this](unsigned char* buffer, unsigned int size, int) {
        return CopyNumberText(static_cast<uint32_t>(range_image_nr_profiles.load()), buffer, size);
    });
    const std::pair<const char*, RangeParameter RangeImageScaling::*> parameters[] = {
        {"RangeImageXScale", &RangeImageScaling::x_scale},
        {"RangeImageXOffset", &RangeImageScaling::x_offset},
        {"RangeImageZScale", &RangeImageScaling::z_scale},
        {"RangeImageZOffset", &RangeImageScaling::z_offset}};
    for (const auto& [name, member] : parameters) {
        const auto parameter = member;
        AddProperty(name, [this, parameter](unsigned char* buffer, unsigned int size, int) {
            return CopyFloatText((RangeImage().*parameter).value, buffer, size);
        });
    }
}

std::shared_ptr<const std::vector<uint8_t>> CScanvo::LinearizationRaw() const
{
    std::lock_guard<std::mutex> lock(linearization_mutex);
    return lin_raw;
}

int32_t CScanvo::CopyStringProperty(uint16_t key, unsigned char* buffer, uint32_t size,
                                    int32_t max_age)
{
    const int32_t fresh = EnsureFresh(max_age);
    return fresh != 0 ? fresh : CopyCachedText(xml.Text(key), buffer, size, max_age);
}

void CScanvo::ParseXmlProperties(const char* text)
{
    if (!xml.Parse(text))
        return;
    ComputeRangeImageDefaults();
    xml_tick = Platform::GetTickCountMs();
    xml_received = true;
    xml_parsed_event.Set();
}

// Each parameter once per connection object, from the first XML that holds
// the numbers it is computed from. A scale of 0 is never taken.
void CScanvo::ComputeRangeImageDefaults()
{
    enum : uint8_t { X_OFFSET = 1, X_SCALE = 2, Z_OFFSET = 4, Z_SCALE = 8, ALL = 15 };
    {
        std::lock_guard<std::mutex> lock(range_mutex);
        if (range_defaults_taken == ALL)
            return;
    }
    FieldGeometry g;
    xml.ReadGeometry(g);
    const float half = static_cast<float>(g.fieldwidth_x_end / 2);
    const float x_scale =
        g.pixel_x_max != 0 ? static_cast<float>(g.fieldwidth_x_end / g.pixel_x_max) : 0.0f;
    const bool z_known = g.has_workingrange_z_start && g.has_measuringrange_z;
    const double z_end = g.measuringrange_z + g.workingrange_z_start;
    const float z_scale = static_cast<float>(g.measuringrange_z / 65535);
    std::lock_guard<std::mutex> lock(range_mutex);
    const auto take = [this](uint8_t bit, bool known, RangeParameter& parameter,
                             RangeParameter value) {
        if (!known || (range_defaults_taken & bit) != 0)
            return;
        parameter = value;
        range_defaults_taken |= bit;
    };
    take(X_OFFSET, g.has_fieldwidth_x_end, range_image.x_offset,
         RangeParameter{-half, -half, half});
    take(X_SCALE, g.has_fieldwidth_x_end && g.has_pixel_x_max && x_scale > 0, range_image.x_scale,
         RangeParameter{x_scale, 0.0f, x_scale});
    take(Z_OFFSET, z_known, range_image.z_offset,
         RangeParameter{static_cast<float>(g.workingrange_z_start), 0.0f,
                        static_cast<float>(z_end)});
    take(Z_SCALE, z_known && z_scale > 0, range_image.z_scale,
         RangeParameter{z_scale, 0.0f, static_cast<float>(z_end / 65535.0)});
}

bool CScanvo::RequestXml()
{
    logger.Log("calling XML ");
    {
        std::lock_guard<std::mutex> lock(reply_mutex);
        std::memset(reply_block.get() + 8, 0, REPLY_TEXT_BYTES);
    }
    reply_event.Reset();
    WriteData("get_xmldescriptorexpert\r", 24);
    return true;
}

int32_t CScanvo::EnsureFresh(int32_t max_age)
{
    if (max_age == -1) {
        std::lock_guard<std::mutex> lock(record_mutex);
        return last_read_valid ? 0 : SCANVO_READDATANOSCAN;
    }
    if (max_age < -1)
        return 0;
    if (max_age > 0 && xml_received &&
        Platform::GetTickCountMs() - xml_tick <= static_cast<uint32_t>(max_age))
        return 0;
    // Alone on the reply channel, so a concurrent request keeps its own reply.
    std::lock_guard<std::recursive_mutex> exchange(exchange_mutex);
    xml_parsed_event.Reset();
    RequestXml();
    return WaitUnlessClosing(xml_parsed_event, REFRESH_WAIT_MS) ? 0 : SCANVO_READDATAFAILED;
}
