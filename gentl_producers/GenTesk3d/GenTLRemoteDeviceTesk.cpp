// The Tesk3D remote device: each register access answered from the feature
// cache or turned into sensor commands.
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"

#include <cmath>
#include <iterator>
#include <utility>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/SaturatingCast.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr int32_t FEATURE_NOT_DEFINED = -3;
constexpr uint32_t LINE_COUNT = 4;

// Reads that pass one sensor value through, and writes that pass one on.
struct SensorValue {
    uint32_t id;
    const char* key;
    const char* word;  // names the feature in a read failure
};
constexpr SensorValue UINT32_READS[] = {
    {RD_LINE_STATUS_ALL, "GetIOState", "LineStatursAll"},
    {RD_ENCODER_OUTPUT_MODE, "GetEncoderTriggerFunction", "EncoderOutputMode"},
    {RD_SIGNAL_SELECTION, "GetSignalSelection", "SignalSelection"},
    {RD_SIGNAL_WIDTH_MIN, "GetSignalWidthMin", "SignalWidthMin"},
    {RD_SIGNAL_WIDTH_MAX, "GetSignalWidthMax", "SignalWidtMax"},
    {RD_SIGNAL_STRENGTH_MIN, "GetSignalStrengthMin", "StrengthMin"},
};
constexpr SensorValue FLOAT_READS[] = {
    {RD_TRIGGER_DELAY, "GetTriggerDelay", "TriggerDelay"},
    {RD_TIMER_DURATION, "GetSyncOut", "TimerDuration"},
    {RD_TIMER_DELAY, "GetSyncOutDelay", "TimerDelay"},
    {RD_DEVICE_TEMPERATURE, "GetTemperature", "DeviceTemperature"},
};
constexpr SensorValue STRING_READS[] = {
    {RD_DEVICE_USER_ID, "GetUserString", "DeviceUserID"},
    {RD_DEVICE_VENDOR_NAME, "GetProducer", "DeviceVendorName"},
    {RD_DEVICE_MODEL_NAME, "GetOrderNumber", "DeiveModelName"},
    {RD_DEVICE_VERSION, "GetProductVersion", "DeviceVersion"},
    {RD_DEVICE_FIRMWARE_VERSION, "GetFirmwareVersion", "DeviceFirmwareVersion"},
    {RD_DEVICE_SERIAL_NUMBER, "GetSerialNumber", "DeviceSerialNumber"},
};
constexpr SensorValue UINT32_WRITES[] = {
    {RD_ENCODER_OUTPUT_MODE, "SetEncoderTriggerFunction", nullptr},
    {RD_SIGNAL_SELECTION, "SetSignalSelection", nullptr},
    {RD_SIGNAL_WIDTH_MIN, "SetSignalWidthMin", nullptr},
    {RD_SIGNAL_WIDTH_MAX, "SetSignalWidthMax", nullptr},
    {RD_SIGNAL_STRENGTH_MIN, "SetSignalStrengthMin", nullptr},
};
constexpr SensorValue FLOAT_WRITES[] = {
    {RD_TRIGGER_DELAY, "SetTriggerDelay", nullptr},
    {RD_TIMER_DURATION, "SetSyncOut", nullptr},
    {RD_TIMER_DELAY, "SetSyncOutDelay", nullptr},
};

template <size_t N>
const SensorValue* Find(const SensorValue (&table)[N], uint32_t id)
{
    for (const SensorValue& row : table)
        if (row.id == id) return &row;
    return nullptr;
}

struct ReadFailure {
    int32_t code;
    const char* suffix;
    GC_ERROR error;
};
constexpr ReadFailure READ_FAILURES[] = {
    {-1, "-1:SCANVO_READDATASMALLBUFFER.", GC_ERR_ABORT},
    {-2, "-2:SCANVO_READDATANOTSUPPORTEDMODE.", GC_ERR_NO_DATA},
    {-3, "-3:SCANVO_READDATAFEATURENOTDEFINED.", GC_ERR_ABORT},
    {-4, "-4:SCANVO_READDATANOSCAN.", GC_ERR_NO_DATA},
    {-5, "-5:SCANVO_READDATAFAILED.", GC_ERR_NO_DATA},
    {SensorInterface::READBACK_TIMEOUT, "-6: GENTL_READDATA_READBACKTIMEOUT.", GC_ERR_ABORT},
    {SensorInterface::VALUE_OUT_OF_RANGE, "-7: GENTL_READDATA_OUTOFRANGE.", GC_ERR_INVALID_VALUE},
};

uint32_t Flag(bool on)
{
    return on ? 1 : 0;
}

uint32_t Clamped32(uint64_t value)
{
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// Which formats each component can deliver.
bool IsFormatOf(uint32_t region, uint32_t component, uint32_t format)
{
    if (region == 0) return format == PFNC_MONO8;
    if (component == 0) return format == PFNC_MONO10;
    return format == PFNC_COORD3D_ABC32F || format == PFNC_COORD3D_ABC16 || format == PFNC_MONO16;
}

GC_ERROR UnknownRegister(uint32_t id, const char* what)
{
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_DEBUG) << "unknown id:" << id;
    TL_ASSERT_MSG(false, "Unknown custom register");
    return ReportError(
        GC_ERR_ERROR,
        std::string("Internal error: cannot identify the remote device custom ") + what);
}

GC_ERROR Refuse(GC_ERROR code, const std::string& feature, uint32_t value, const char* why)
{
    return ReportError(code, feature + " " + std::to_string(value) + " " + why);
}

}  // namespace

GenTLRemoteDeviceTesk::GenTLRemoteDeviceTesk(const SharedPtr<DeviceTag>& dev_tag,
                                             const SharedPtr<SensorInterface>& sensor_interface,
                                             const SharedPtr<FeatureCache>& cache,
                                             LinkLostCheck link_lost)
    : GenTLVirtualRemoteDevice(dev_tag),
      sensorInterface_(sensor_interface),
      cache_(cache),
      link_lost(std::move(link_lost))
{
    TL_ASSERT(sensorInterface_ && cache_ && this->link_lost);
    if (sensorInterface_ && dev_tag)
        sensorInterface_->SetDeviceLabel(dev_tag->GetModelName() + "_" +
                                         dev_tag->GetSerialNumber());
}

GenTLRemoteDeviceTesk::~GenTLRemoteDeviceTesk() = default;

GC_ERROR GenTLRemoteDeviceTesk::DoReadPort(uint64_t address, void* buffer, size_t* size)
{
    return OnReadyLink(address, [&] {
        return GenTLVirtualRemoteDevice::DoReadPort(address, buffer, size);
    });
}

GC_ERROR GenTLRemoteDeviceTesk::DoWritePort(uint64_t address, const void* data, size_t* size)
{
    return OnReadyLink(address, [&] {
        return GenTLVirtualRemoteDevice::DoWritePort(address, data, size);
    });
}

// Looked at after the access too: a reply may have come from the session
// the library set up while the request waited.
template <class Access>
GC_ERROR GenTLRemoteDeviceTesk::OnReadyLink(uint64_t address, Access&& access)
{
    // Above the custom window the map holds only the description document.
    if (address >= SPECIAL_REGADDR_BASE) return access();
    // A closed remote device no longer knows its local device is there.
    if (!IsOpen())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "The remote device of " + sensorInterface_->GetDeviceLabel() +
                               " is closed.");
    const auto refuse = [&] {
        return ReportError(GC_ERR_ABORT, "The connection to " + sensorInterface_->GetDeviceLabel() +
                                             " was lost; its registers are no longer read or "
                                             "written.");
    };
    if (link_lost()) return refuse();
    reset_written = false;
    const GC_ERROR result = access();
    const bool lost = link_lost();
    if (std::exchange(reset_written, false)) return result;
    return lost ? refuse() : result;
}

void GenTLRemoteDeviceTesk::DefineCustomRegisters()
{
    AddRegisters(REMOTE_DEVICE_REGISTERS);
}

GC_ERROR GenTLRemoteDeviceTesk::ReportReadError(int32_t code, const std::string& word)
{
    if (code == 0) return GC_ERR_SUCCESS;
    std::string suffix = std::to_string(code);
    GC_ERROR error = GC_ERR_ABORT;
    for (const ReadFailure& failure : READ_FAILURES) {
        if (failure.code == code) {
            suffix = failure.suffix;
            error = failure.error;
        }
    }
    return ReportError(error, "Read " + word + " from " + sensorInterface_->GetDeviceLabel() +
                                  " failed with code " + suffix);
}

FeatureCache::Component* GenTLRemoteDeviceTesk::SelectedComponent(uint32_t& region,
                                                                  uint32_t& component)
{
    region = cache_->region_selector.load() == 1 ? 1 : 0;
    component = region == 1 ? cache_->component_selector.load() : 0;
    auto& components = cache_->region[region].components;
    return component < components.size() ? &components[component] : nullptr;
}

GC_ERROR GenTLRemoteDeviceTesk::ReadUInt32CustomRegister(uint32_t id, uint32_t& value)
{
    SensorInterface& sensor = *sensorInterface_;
    FeatureCache& cache = *cache_;
    if (const SensorValue* row = Find(UINT32_READS, id)) {
        const int32_t code = sensor.ReadParameter(row->key, &value);
        return ReportReadError(code, row->word);
    }
    const uint32_t line = cache.line_selector.load();
    const auto cached = [&](auto field) {
        ScopedLock hold(cache.lock);
        return field();
    };
    // One register per pin for each kind of availability.
    const auto pin_of = [id](uint32_t first, uint32_t count) {
        return id >= first && id < first + count ? id - first + 1 : 0;
    };
    if (const uint32_t pin = pin_of(RD_LINE1_TRIGGER_SOURCE_AVAIL, LINE_COUNT)) {
        value = Flag(sensor.IsTriggerSourceAvailable(pin));
        return GC_ERR_SUCCESS;
    }
    if (const uint32_t pin = pin_of(RD_LINE1_RESET_SOURCE_AVAIL, LINE_COUNT)) {
        value = Flag(sensor.IsResetSourceAvailable(pin));
        return GC_ERR_SUCCESS;
    }
    if (const uint32_t pin = pin_of(RD_LINE1_ENCODER_SOURCE_AVAIL, 2)) {
        value = Flag(sensor.IsEncoderSourceAvailable(pin));
        return GC_ERR_SUCCESS;
    }

    int32_t code = 0;
    const char* word = "";
    switch (id) {
        case RD_WIDTH:
            code = sensor.GetROI1WidthX();
            value = cached([&] { return cache.region[cache.region_selector.load() == 1].width; });
            word = "Width";
            break;
        case RD_HEIGHT:
            code = sensor.GetHeight();
            value = cached([&] { return cache.region[cache.region_selector.load() == 1].height; });
            word = "Height";
            break;
        case RD_MAX_FPS:
            code = sensor.GetMaxFps();
            value = cached([&] { return cache.max_fps; });
            word = "MaxFps";
            break;
        case RD_PAYLOAD_SIZE:
            value = Clamped32(cache.GetPayloadSize());
            break;
        case RD_REGION_MODE:
            value =
                cached([&] { return cache.region[cache.region_selector.load() == 1].region_mode; });
            break;
        case RD_ACQUISITION_MODE:
        case RD_CHUNK_SCAN3D_OUTPUT_MODE:
            value = 1;
            break;
        case RD_CHUNK_MODE_ACTIVE:
            value = Flag(cache.chunks_active.load());
            break;
        case RD_COMPONENT_ENABLE:
            value = Flag(cache.GetComponentEnable() != 0);
            break;
        case RD_DECIMATION_HORIZONTAL:
            code = sensor.GetROI1StepX();
            value = cached([&] { return cache.decimation_horizontal; });
            word = "DecimationHorizontal";
            break;
        case RD_DECIMATION_HORIZONTAL_MAX:
            value = sensor.IsQrtaSeries() ? 1280 : 2;
            break;
        case RD_DECIMATION_VERTICAL:
            code = sensor.GetROI1StepZ();
            value = cached([&] { return cache.decimation_vertical; });
            word = "DecimationVertical";
            break;
        case RD_PIXEL_FORMAT:
            value = cache.GetPixelFormat();
            break;
        case RD_COMPONENT_SELECTOR:
            value = cache.GetComponentSelector();
            break;
        case RD_CHUNK_COMPONENT_SELECTOR:
            value = cache.chunk_component_selector.load();
            break;
        case RD_GENDC_STREAMING_MODE:
            value = Flag(cache.gendc_mode.load());
            break;
        case RD_GENDC_FLOW_MAPPING_TABLE_LEN:
        case RD_GENDC_DESCRIPTOR_LEN: {
            uint64_t size = 0;
            GetVariableCustomRegisterSize(
                id - RD_GENDC_FLOW_MAPPING_TABLE_LEN + RD_GENDC_FLOW_MAPPING_TABLE, size);
            value = Clamped32(size);
            break;
        }
        case RD_TRIGGER_SOFTWARE:
        case RD_TRIGGER_ACTIVATION:
            value = 0;
            break;
        case RD_CHUNK_PICTURE_COUNTER_ENABLED:
            value = cached([&] { return Flag(cache.chunk_picture_counter_enabled.load()); });
            break;
        case RD_CHUNK_ENCODER_ENABLED:
            value = cached([&] { return Flag(cache.chunk_encoder_enabled.load()); });
            break;
        case RD_CHUNK_USER_IO_ENABLED:
            value = cached([&] { return Flag(cache.chunk_user_io_enabled.load()); });
            break;
        case RD_TRIGGER_SELECTOR:
            value = cache.trigger_selector.load();
            break;
        case RD_TRIGGER_MODE:
            value = Flag(sensor.GetSelectedTriggerMode());
            break;
        case RD_TRIGGER_SOURCE:
            value = sensor.GetSelectedTriggerSource();
            break;
        case RD_REGION_SELECTOR:
            value = cache.region_selector.load();
            break;
        case RD_SENSOR_WIDTH:
            code = sensor.GetPixelXMax();
            value = Clamped32(cached([&] { return cache.sensor_width; }));
            word = "SensorWidth";
            break;
        case RD_SENSOR_HEIGHT:
            code = sensor.GetPixelZMax();
            value = Clamped32(cached([&] { return cache.sensor_height; }));
            word = "SensorHeight";
            break;
        case RD_WIDTH_MAX:
            value = Clamped32(cache.ComputeWidthMax());
            break;
        case RD_ROI1_HEIGHT_MAX:
            value = Clamped32(cache.ComputeHeightMax());
            break;
        case RD_OFFSET_X:
            code = sensor.GetROI1OffsetX();
            value = cached([&] { return cache.region[0].offset_x; });
            word = "OffsetX";
            break;
        case RD_OFFSET_X_MAX:
            value = Clamped32(cache.ComputeOffsetXMax());
            break;
        case RD_OFFSET_Y_MAX:
            value = Clamped32(cache.ComputeOffsetYMax());
            break;
        case RD_OFFSET_Y:
            code = sensor.GetROI1OffsetZ();
            value = cached([&] { return cache.region[0].offset_y; });
            word = "OffsetY";
            break;
        case RD_COORDINATE_SELECTOR:
            value = cache.coordinate_selector.load();
            break;
        case RD_COORDINATE_SOURCE:
            value = cache.GetCoordinateSource();
            break;
        case RD_TRIGGER_MODE_LOCK:
            value = Flag(cache.IsTriggerLocked());
            break;
        case RD_TRIGGER_DIVIDER: {
            uint32_t step = 0;
            code = sensor.ReadParameter("GetTriggerEncoderStep", &step);
            value = step + 1;
            word = "TriggerDivider";
            break;
        }
        case RD_LINE_SELECTOR:
            value = line;
            break;
        case RD_LINE_MODE: {
            SensorInterface::ReadBatch batch(sensor);
            code = sensor.ReadLineFunctions();
            value = cache.GetLine(line).is_output;
            word = "LineMode";
            break;
        }
        case RD_LINE_INVERTER:
            code = sensor.GetLineInverter();
            value = cache.GetLine(line).line_inverter;
            word = "LineInverter";
            break;
        case RD_LINE_STATUS:
            code = sensor.GetIOState();
            value = cached([&] { return line < LINE_COUNT ? cache.line_status[line] : 0u; });
            word = "LineStatus";
            break;
        case RD_LINE_SOURCE: {
            SensorInterface::ReadBatch batch(sensor);
            code = sensor.ReadLineFunctions();
            value = cache.GetLine(line).line_source;
            word = "LineSource";
            break;
        }
        // The two registers cross over: the sensor's items are named the other
        // way round from the features.
        case RD_USER_OUTPUT_VALUE:
            code = sensor.GetOutputFunction();
            value = cache.GetLine(line).output_function;
            word = "UserOutputValue";
            break;
        case RD_OUTPUT_FUNCTION:
            code = sensor.GetUserOutputValue();
            value = cache.GetLine(line).user_output_value;
            word = "OutputFunction";
            break;
        case RD_INPUT_LOAD:
            code = sensor.GetInputLoad();
            value = cache.GetLine(line).input_load;
            word = "InputLoad";
            break;
        case RD_ENCODER_SELECTOR:
            value = cache.encoder_selector.load();
            break;
        case RD_ENCODER_SOURCE_A:
            value = Flag(sensor.IsLine1Encoder());
            break;
        case RD_ENCODER_SOURCE_B:
            value = Flag(sensor.IsLine2Encoder());
            break;
        case RD_ENCODER_RESET_SOURCE:
            value = sensor.GetEncoderResetSource();
            break;
        case RD_ENCODER_RESET_ACTIVATION:
            value = static_cast<uint32_t>(sensor.GetResetSignalEdge());
            break;
        case RD_SIGNAL_ENABLE:
            code = sensor.GetSignalEnable();
            value = cache.signal_enable.load();
            word = "SignalEnable";
            break;
        case RD_LINE_OUTPUT_AVAIL:
            value = Flag(sensor.IsLineOutputAvailable());
            break;
        case RD_COORDINATE_ADJUSTABLE:
            value = Flag(cache.IsCoordinateAdjustable());
            break;
        default:
            return UnknownRegister(id, "uint32 register to be read");
    }
    return ReportReadError(code, word);
}

GC_ERROR GenTLRemoteDeviceTesk::ReadInt32CustomRegister(uint32_t id, int32_t& value)
{
    if (id != RD_ENCODER_VALUE) return UnknownRegister(id, "int32 register to be read");
    value = static_cast<int32_t>(cache_->GetScanStatus().encoder);
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRemoteDeviceTesk::ReadFloat32CustomRegister(uint32_t id, float& value)
{
    SensorInterface& sensor = *sensorInterface_;
    if (const SensorValue* row = Find(FLOAT_READS, id))
        return ReportReadError(sensor.ReadParameter(row->key, &value), row->word);
    const FeatureCache::Coordinate coordinate = cache_->GetSelectedCoordinate();
    switch (id) {
        case RD_ACQUISITION_LINE_RATE: {
            if (!sensor.IsScanMode()) {
                value = 1.0f;
                return GC_ERR_SUCCESS;
            }
            const int32_t code = sensor.GetAcquisitionLineTime();
            float line_time_us = 0;
            {
                ScopedLock hold(cache_->lock);
                line_time_us = cache_->acquisition_line_time;
            }
            // No line time known: no rate rather than a division by zero.
            value = line_time_us > 0 ? std::trunc(1000000.0f / line_time_us) : 0.0f;
            return ReportReadError(code, "AcquisitionLineRate");
        }
        case RD_EXPOSURE_TIME: {
            int32_t exposure = 0;
            const int32_t code = sensor.ReadParameter("GetExposureTime", &exposure);
            value = static_cast<float>(exposure);
            return ReportReadError(code, "ExposureTime");
        }
        case RD_COORDINATE_SCALE:
            value = coordinate.scale;
            break;
        case RD_COORDINATE_OFFSET:
            value = coordinate.offset;
            break;
        case RD_COORDINATE_SCALE_MIN:
            value = coordinate.scale_min;
            break;
        case RD_COORDINATE_SCALE_MAX:
            value = coordinate.scale_max;
            break;
        case RD_COORDINATE_OFFSET_MIN:
            value = coordinate.offset_min;
            break;
        case RD_COORDINATE_OFFSET_MAX:
            value = coordinate.offset_max;
            break;
        case RD_AXIS_MIN:
            value = coordinate.axis_min;
            break;
        case RD_AXIS_MAX:
            value = coordinate.axis_max;
            break;
        case RD_AXIS_MIN_START:
        case RD_AXIS_MAX_START: {
            ScopedLock hold(cache_->lock);
            value = (id == RD_AXIS_MIN_START ? -0.5f : 0.5f) * cache_->field_width_start;
            break;
        }
        default:
            return UnknownRegister(id, "float32 register to be read");
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRemoteDeviceTesk::ReadStringCustomRegister(uint32_t id, std::string& value)
{
    const SensorValue* row = Find(STRING_READS, id);
    if (!row) return UnknownRegister(id, "string register to be read");
    const int32_t code = sensorInterface_->ReadStringParameter(row->key, &value);
    if (id == RD_DEVICE_USER_ID && code == FEATURE_NOT_DEFINED) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_DEBUG) << "DeviceUserID is not available";
        return GC_ERR_SUCCESS;
    }
    return ReportReadError(code, row->word);
}

GC_ERROR GenTLRemoteDeviceTesk::ReadRawCustomRegister(uint32_t id, std::vector<uint8_t>& value)
{
    if (id != RD_GENDC_FLOW_MAPPING_TABLE && id != RD_GENDC_DESCRIPTOR)
        return UnknownRegister(id, "raw register to be read");
    TL_ASSERT_MSG(cache_->gendc_mode.load(), "cache_->IsGendcEnabled()");
    value = id == RD_GENDC_FLOW_MAPPING_TABLE ? cache_->GetFlowMappingTable()
                                              : cache_->GetPrefetchDescriptor();
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRemoteDeviceTesk::GetVariableCustomRegisterSize(uint32_t id, uint64_t& size)
{
    std::vector<uint8_t> bytes;
    const GC_ERROR result = ReadRawCustomRegister(id, bytes);
    size = bytes.size();
    return result;
}

GC_ERROR GenTLRemoteDeviceTesk::WriteFloat32CustomRegister(uint32_t id, float value)
{
    SensorInterface& sensor = *sensorInterface_;
    if (const SensorValue* row = Find(FLOAT_WRITES, id)) {
        sensor.WriteParameter(row->key, SaturatingCast<int32_t>(value));
        return GC_ERR_SUCCESS;
    }
    switch (id) {
        case RD_ACQUISITION_LINE_RATE:
            return sensor.SetAcquisitionLineTime(std::trunc(value));
        case RD_EXPOSURE_TIME:
            if (!sensor.WriteParameter("SetExposureTime", SaturatingCast<int32_t>(value)))
                return ReportError(GC_ERR_ERROR, "Sending Command to Sensor failed.");
            sensor.WriteCommand("SetCameraRegistersUpdateForce");
            return GC_ERR_SUCCESS;
        // A value outside the bounds is ignored.
        case RD_COORDINATE_SCALE:
            cache_->SetCoordinateScale(value);
            return GC_ERR_SUCCESS;
        case RD_COORDINATE_OFFSET:
            cache_->SetCoordinateOffset(value);
            return GC_ERR_SUCCESS;
        default:
            return UnknownRegister(id, "float32 register to be written");
    }
}

GC_ERROR GenTLRemoteDeviceTesk::WriteInt32CustomRegister(uint32_t id, int32_t)
{
    return UnknownRegister(id, "int32 register to be written");
}

GC_ERROR GenTLRemoteDeviceTesk::WriteStringCustomRegister(uint32_t id, const std::string& value)
{
    // A consumer writes the whole register, the text padded with NULs.
    const std::string text = value.substr(0, value.find('\0'));
    if (id == RD_DEVICE_USER_ID)
        sensorInterface_->WriteCommand("SetUserString=" + text);
    else if (id == RD_ASCII_COMMAND)
        sensorInterface_->WriteCommand(text);
    else
        return UnknownRegister(id, "string register to be written");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRemoteDeviceTesk::WriteComponentField(uint32_t FeatureCache::Component::*field,
                                                    uint32_t value)
{
    ScopedLock hold(cache_->lock);
    uint32_t region = 0, component = 0;
    FeatureCache::Component* selected = SelectedComponent(region, component);
    if (!selected) return GC_ERR_SUCCESS;  // a selector past the components changes nothing
    if (field == &FeatureCache::Component::pixel_format && !IsFormatOf(region, component, value))
        return Refuse(GC_ERR_INVALID_PARAMETER, "PixelFormat", value,
                      "is not a format of the selected component.");
    selected->*field = value;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRemoteDeviceTesk::WriteUInt32CustomRegister(uint32_t id, uint32_t value)
{
    SensorInterface& sensor = *sensorInterface_;
    FeatureCache& cache = *cache_;
    if (const SensorValue* row = Find(UINT32_WRITES, id)) {
        sensor.WriteParameter(row->key, value);
        return GC_ERR_SUCCESS;
    }
    const auto store = [&](auto& field, auto stored) {
        ScopedLock hold(cache.lock);
        field = stored;
        return GC_ERR_SUCCESS;
    };
    switch (id) {
        case RD_WIDTH:
            return sensor.SetROI1WidthX(value);
        case RD_HEIGHT:
            return sensor.SetAmountProfilesY(value);
        case RD_REGION_MODE:
            if (!sensor.SetCameraMode(value != 0)) {
                TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR) << "change RegionMode failed.";
                return ReportError(GC_ERR_ERROR, "change RegionMode failed.");
            }
            break;
        // A consumer's single-frame acquisition writes SingleFrame first.
        case RD_ACQUISITION_MODE:
        case RD_FEATURE_PERSISTENCE_START:
        case RD_FEATURE_PERSISTENCE_END:
        case RD_REGISTERS_STREAMING_START:
        case RD_REGISTERS_STREAMING_END:
        case RD_TRIGGER_ACTIVATION:
            break;
        case RD_ACQUISITION_START:
            return sensor.SetAcquisitionStart();
        case RD_ACQUISITION_STOP:
            sensor.SetAcquisitionStop();
            break;
        case RD_CHUNK_MODE_ACTIVE:
            return store(cache.chunks_active, value != 0);
        case RD_COMPONENT_ENABLE:
            return WriteComponentField(&FeatureCache::Component::component_enable,
                                       Flag(value != 0));
        case RD_DECIMATION_HORIZONTAL:
            return sensor.SetROI1StepX(value);
        case RD_DECIMATION_VERTICAL:
            return sensor.SetROI1StepZ(value);
        case RD_PIXEL_FORMAT:
            return WriteComponentField(&FeatureCache::Component::pixel_format, value);
        case RD_COMPONENT_SELECTOR:
            cache.SetComponentSelector(value);
            break;
        case RD_CHUNK_COMPONENT_SELECTOR:
            cache.chunk_component_selector = value;
            break;
        case RD_GENDC_STREAMING_MODE:
            return store(cache.gendc_mode, value != 0);
        case RD_TRIGGER_SOFTWARE:
            sensor.SetTriggerSoftware();
            break;
        case RD_CHUNK_PICTURE_COUNTER_ENABLED:
            return store(cache.chunk_picture_counter_enabled, value != 0);
        case RD_CHUNK_ENCODER_ENABLED:
            return store(cache.chunk_encoder_enabled, value != 0);
        case RD_CHUNK_USER_IO_ENABLED:
            return store(cache.chunk_user_io_enabled, value != 0);
        case RD_TRIGGER_SELECTOR:
            cache.trigger_selector = value;
            break;
        case RD_TRIGGER_MODE:
            sensor.SetTriggerMode(value != 0);
            break;
        case RD_TRIGGER_SOURCE:
            sensor.SetSelectedTriggerSource(value);
            break;
        case RD_REGION_SELECTOR:
            sensor.SetRegionSelector(value != 0);
            break;
        case RD_OFFSET_X:
            return sensor.SetROI1OffsetX(value);
        case RD_OFFSET_Y:
            return sensor.SetROI1OffsetZ(value);
        case RD_COORDINATE_SELECTOR:
            cache.coordinate_selector = value;
            break;
        case RD_COORDINATE_SOURCE:
            cache.SetCoordinateSource(value);
            break;
        case RD_TRIGGER_DIVIDER:
            if (value == 0)
                return Refuse(GC_ERR_INVALID_PARAMETER, "TriggerDivider", value,
                              "cannot be set: the divider is at least 1.");
            sensor.WriteParameter("SetTriggerEncoderStep", value - 1);
            break;
        case RD_LINE_SELECTOR:
            cache.line_selector = value;
            break;
        case RD_LINE_MODE:
            sensor.SetLineMode(value);
            break;
        case RD_LINE_INVERTER:
            sensor.SetLineInverter(value != 0);
            break;
        case RD_LINE_SOURCE:
            sensor.SetLineSource(value);
            break;
        // Crossed over, as in the reads.
        case RD_USER_OUTPUT_VALUE:
            sensor.SetOutputFunction(value);
            break;
        case RD_OUTPUT_FUNCTION:
            sensor.SetUserOutputValue(value);
            break;
        case RD_INPUT_LOAD:
            sensor.SetInputLoad(value != 0);
            break;
        case RD_ENCODER_SELECTOR:
            cache.encoder_selector = value;
            break;
        case RD_ENCODER_SOURCE_A:
            sensor.SetEncoderSourceA(value != 0);
            break;
        case RD_ENCODER_SOURCE_B:
            sensor.SetEncoderSourceB(value != 0);
            break;
        case RD_ENCODER_RESET_SOURCE:
            return sensor.SetEncoderResetSource(value);
        case RD_ENCODER_RESET_ACTIVATION:
            sensor.SetResetSignalEdge(static_cast<int32_t>(value));
            break;
        case RD_ENCODER_RESET:
            sensor.WriteCommand("SetResetEncoder");
            break;
        case RD_SIGNAL_ENABLE:
            sensor.SetSignalEnable(static_cast<int32_t>(value));
            break;
        case RD_DEVICE_RESET:
            reset_written = true;
            sensor.SetResetSettings();
            break;
        default:
            return UnknownRegister(id, "uint32 register to be written");
    }
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore::ZoTL
