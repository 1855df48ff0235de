// GenTLRemoteDeviceTesk.h: the remote device of one open Tesk3D sensor: the
// registers its description document addresses, each read or write turned
// into feature-cache answers and sensor commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLRegMapPort.h"
#include "gentl_core/GenTLRemoteDevice.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_producers/GenTesk3d/FeatureCache.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace GenTLCore::ZoTL {

// The remote device's custom registers, ids 15001 to 15105.
enum RemoteDeviceRegister : uint32_t {
    RD_WIDTH = 15001,
    RD_HEIGHT,
    RD_ACQUISITION_LINE_RATE,
    RD_MAX_FPS,
    RD_PAYLOAD_SIZE,
    RD_REGION_MODE,
    RD_ACQUISITION_MODE,
    RD_EXPOSURE_TIME,
    RD_ACQUISITION_START,
    RD_ACQUISITION_STOP,
    RD_CHUNK_MODE_ACTIVE,
    RD_COMPONENT_ENABLE,
    RD_DECIMATION_HORIZONTAL,
    RD_DECIMATION_HORIZONTAL_MAX,
    RD_DECIMATION_VERTICAL,
    RD_PIXEL_FORMAT,
    RD_COMPONENT_SELECTOR,
    RD_CHUNK_COMPONENT_SELECTOR,
    RD_CHUNK_SCAN3D_OUTPUT_MODE,
    RD_FEATURE_PERSISTENCE_START,
    RD_FEATURE_PERSISTENCE_END,
    RD_REGISTERS_STREAMING_START,
    RD_REGISTERS_STREAMING_END,
    RD_GENDC_STREAMING_MODE,
    RD_GENDC_FLOW_MAPPING_TABLE_LEN,
    RD_GENDC_DESCRIPTOR_LEN,
    RD_TRIGGER_SOFTWARE,
    RD_CHUNK_PICTURE_COUNTER_ENABLED,
    RD_CHUNK_ENCODER_ENABLED,
    RD_CHUNK_USER_IO_ENABLED,
    RD_TRIGGER_SELECTOR,
    RD_TRIGGER_MODE,
    RD_TRIGGER_SOURCE,
    RD_REGION_SELECTOR,
    RD_SENSOR_WIDTH,
    RD_SENSOR_HEIGHT,
    RD_WIDTH_MAX,
    RD_ROI1_HEIGHT_MAX,
    RD_OFFSET_X,
    RD_OFFSET_X_MAX,
    RD_OFFSET_Y_MAX,
    RD_OFFSET_Y,
    RD_COORDINATE_SELECTOR,
    RD_COORDINATE_SCALE,
    RD_COORDINATE_OFFSET,
    RD_COORDINATE_SCALE_MIN,
    RD_COORDINATE_SCALE_MAX,
    RD_COORDINATE_OFFSET_MIN,
    RD_COORDINATE_OFFSET_MAX,
    RD_COORDINATE_SOURCE,
    RD_TRIGGER_MODE_LOCK,
    RD_TRIGGER_ACTIVATION,
    RD_TRIGGER_DELAY,
    RD_TRIGGER_DIVIDER,
    RD_LINE_SELECTOR,
    RD_LINE_MODE,
    RD_LINE_INVERTER,
    RD_LINE_STATUS,
    RD_LINE_STATUS_ALL,
    RD_LINE_SOURCE,
    RD_USER_OUTPUT_VALUE,
    RD_OUTPUT_FUNCTION,
    RD_INPUT_LOAD,
    RD_TIMER_DURATION,
    RD_TIMER_DELAY,
    RD_ENCODER_SELECTOR,
    RD_ENCODER_SOURCE_A,
    RD_ENCODER_SOURCE_B,
    RD_ENCODER_OUTPUT_MODE,
    RD_ENCODER_RESET_SOURCE,
    RD_ENCODER_RESET_ACTIVATION,
    RD_ENCODER_RESET,
    RD_ENCODER_VALUE,
    RD_SIGNAL_ENABLE,
    RD_SIGNAL_SELECTION,
    RD_SIGNAL_WIDTH_MIN,
    RD_SIGNAL_WIDTH_MAX,
    RD_SIGNAL_STRENGTH_MIN,
    RD_DEVICE_USER_ID,
    RD_DEVICE_VENDOR_NAME,
    RD_DEVICE_MODEL_NAME,
    RD_DEVICE_VERSION,
    RD_DEVICE_FIRMWARE_VERSION,
    RD_DEVICE_SERIAL_NUMBER,
    RD_DEVICE_TEMPERATURE,
    RD_DEVICE_RESET,
    RD_ASCII_COMMAND,
    RD_AXIS_MIN,
    RD_AXIS_MAX,
    RD_AXIS_MIN_START,
    RD_AXIS_MAX_START,
    RD_LINE1_TRIGGER_SOURCE_AVAIL,
    RD_LINE2_TRIGGER_SOURCE_AVAIL,
    RD_LINE3_TRIGGER_SOURCE_AVAIL,
    RD_LINE4_TRIGGER_SOURCE_AVAIL,
    RD_LINE1_RESET_SOURCE_AVAIL,
    RD_LINE2_RESET_SOURCE_AVAIL,
    RD_LINE3_RESET_SOURCE_AVAIL,
    RD_LINE4_RESET_SOURCE_AVAIL,
    RD_LINE1_ENCODER_SOURCE_AVAIL,
    RD_LINE2_ENCODER_SOURCE_AVAIL,
    RD_LINE_OUTPUT_AVAIL,
    RD_COORDINATE_ADJUSTABLE,
    RD_GENDC_FLOW_MAPPING_TABLE,
    RD_GENDC_DESCRIPTOR,
};

static_assert(RD_GENDC_DESCRIPTOR == 15105);

constexpr RegisterDefinition RdU32(uint32_t id, uint64_t address, uint32_t access)
{
    return {id, REG_TYPE_UINT32, address, 4, access, false};
}
constexpr RegisterDefinition RdI32(uint32_t id, uint64_t address, uint32_t access)
{
    return {id, REG_TYPE_INT32, address, 4, access, false};
}
constexpr RegisterDefinition RdF32(uint32_t id, uint64_t address, uint32_t access)
{
    return {id, REG_TYPE_FLOAT32, address, 4, access, false};
}
constexpr RegisterDefinition RdStr(uint32_t id, uint64_t address, uint32_t access)
{
    return {id, REG_TYPE_STRING, address, 128, access, false};
}

// In id order; the addresses are the description document's.
inline constexpr RegisterDefinition REMOTE_DEVICE_REGISTERS[] = {
    RdU32(15001, 0x50000000, REG_ACCESS_RW),
    RdU32(15002, 0x50000004, REG_ACCESS_RW),
    RdF32(15003, 0x50000008, REG_ACCESS_RW),
    RdU32(15004, 0x50002008, REG_ACCESS_RO),
    RdU32(15005, 0x5000000C, REG_ACCESS_RO),
    RdU32(15006, 0x50000F10, REG_ACCESS_RW),
    RdU32(15007, 0x50000F20, REG_ACCESS_RW),
    RdF32(15008, 0x50000F24, REG_ACCESS_RW),
    RdU32(15009, 0x50000010, REG_ACCESS_WO),
    RdU32(15010, 0x50000014, REG_ACCESS_WO),
    RdU32(15011, 0x50000018, REG_ACCESS_RW),
    RdU32(15012, 0x50000020, REG_ACCESS_RW),
    RdU32(15013, 0x500001F0, REG_ACCESS_RW),
    RdU32(15014, 0x5000F1F0, REG_ACCESS_RW),
    RdU32(15015, 0x500001F4, REG_ACCESS_RW),
    RdU32(15016, 0x50000024, REG_ACCESS_RW),
    RdU32(15017, 0x50000028, REG_ACCESS_RW),
    RdU32(15018, 0x50021700, REG_ACCESS_RW),
    RdU32(15019, 0x50021704, REG_ACCESS_RW),
    RdU32(15020, 0x50000030, REG_ACCESS_WO),
    RdU32(15021, 0x50000034, REG_ACCESS_WO),
    RdU32(15022, 0x50000038, REG_ACCESS_WO),
    RdU32(15023, 0x5000003C, REG_ACCESS_WO),
    RdU32(15024, 0x50000044, REG_ACCESS_RW),
    RdU32(15025, 0x50000048, REG_ACCESS_RO),
    RdU32(15026, 0x5000004C, REG_ACCESS_RO),
    RdU32(15027, 0x50000F28, REG_ACCESS_RW),
    RdU32(15028, 0x50000F32, REG_ACCESS_RW),
    RdU32(15029, 0x50000F36, REG_ACCESS_RW),
    RdU32(15030, 0x50000F3A, REG_ACCESS_RW),
    RdU32(15031, 0x50000F46, REG_ACCESS_RW),
    RdU32(15032, 0x50000F3E, REG_ACCESS_RW),
    RdU32(15033, 0x50000F42, REG_ACCESS_RW),
    RdU32(15034, 0x50000F4A, REG_ACCESS_RW),
    RdU32(15035, 0x50001FFE, REG_ACCESS_RO),
    RdU32(15036, 0x50002FFE, REG_ACCESS_RO),
    RdU32(15037, 0x50000F4E, REG_ACCESS_RO),
    RdU32(15038, 0x50000F52, REG_ACCESS_RO),
    RdU32(15039, 0x50000F56, REG_ACCESS_RW),
    RdU32(15040, 0x50001F56, REG_ACCESS_RO),
    RdU32(15041, 0x50001F5A, REG_ACCESS_RO),
    RdU32(15042, 0x50000F5A, REG_ACCESS_RW),
    RdU32(15043, 0x50000F5E, REG_ACCESS_RW),
    RdF32(15044, 0x50000F62, REG_ACCESS_RW),
    RdF32(15045, 0x50000F66, REG_ACCESS_RW),
    RdF32(15046, 0x500016FC, REG_ACCESS_RO),
    RdF32(15047, 0x50001780, REG_ACCESS_RO),
    RdF32(15048, 0x50001784, REG_ACCESS_RO),
    RdF32(15049, 0x50001788, REG_ACCESS_RO),
    RdU32(15050, 0x50000F6A, REG_ACCESS_RW),
    RdU32(15051, 0x500018E4, REG_ACCESS_RO),
    RdU32(15052, 0x50000F6E, REG_ACCESS_RO),
    RdF32(15053, 0x50000F72, REG_ACCESS_RW),
    RdU32(15054, 0x50000F76, REG_ACCESS_RW),
    RdU32(15055, 0x50000F7A, REG_ACCESS_RW),
    RdU32(15056, 0x50000F7E, REG_ACCESS_RW),
    RdU32(15057, 0x50000F82, REG_ACCESS_RW),
    RdU32(15058, 0x50000F86, REG_ACCESS_RO),
    RdU32(15059, 0x50000F8A, REG_ACCESS_RO),
    RdU32(15060, 0x50000F8E, REG_ACCESS_RW),
    RdU32(15061, 0x50000F92, REG_ACCESS_RW),
    RdU32(15062, 0x50000F96, REG_ACCESS_RW),
    RdU32(15063, 0x50000F9A, REG_ACCESS_RW),
    RdF32(15064, 0x50000F9E, REG_ACCESS_RW),
    RdF32(15065, 0x50000FA2, REG_ACCESS_RW),
    RdU32(15066, 0x50000FA6, REG_ACCESS_RW),
    RdU32(15067, 0x50000FAA, REG_ACCESS_RW),
    RdU32(15068, 0x50000FAE, REG_ACCESS_RW),
    RdU32(15069, 0x50000FB2, REG_ACCESS_RW),
    RdU32(15070, 0x50000FB6, REG_ACCESS_RW),
    RdU32(15071, 0x50000FBA, REG_ACCESS_RW),
    RdU32(15072, 0x50000FBE, REG_ACCESS_WO),
    RdI32(15073, 0x50000FC2, REG_ACCESS_RO),
    RdU32(15074, 0x50000FC6, REG_ACCESS_RW),
    RdU32(15075, 0x50000FCA, REG_ACCESS_RW),
    RdU32(15076, 0x50000FCE, REG_ACCESS_RW),
    RdU32(15077, 0x50000FD2, REG_ACCESS_RW),
    RdU32(15078, 0x50000FD6, REG_ACCESS_RW),
    RdStr(15079, 0x50001700, REG_ACCESS_RW),
    RdStr(15080, 0x50000FDA, REG_ACCESS_RO),
    RdStr(15081, 0x50001102, REG_ACCESS_RO),
    RdStr(15082, 0x5000122A, REG_ACCESS_RO),
    RdStr(15083, 0x50001352, REG_ACCESS_RO),
    RdStr(15084, 0x5000147A, REG_ACCESS_RO),
    RdF32(15085, 0x500015A2, REG_ACCESS_RO),
    RdU32(15086, 0x500015A6, REG_ACCESS_WO),
    RdStr(15087, 0x500015AA, REG_ACCESS_WO),
    RdF32(15088, 0x500016D2, REG_ACCESS_RO),
    RdF32(15089, 0x500016D6, REG_ACCESS_RO),
    RdF32(15090, 0x500016DA, REG_ACCESS_RO),
    RdF32(15091, 0x500016DE, REG_ACCESS_RO),
    RdU32(15092, 0x500016E2, REG_ACCESS_RO),
    RdU32(15093, 0x500016E6, REG_ACCESS_RO),
    RdU32(15094, 0x500016EA, REG_ACCESS_RO),
    RdU32(15095, 0x500016EE, REG_ACCESS_RO),
    RdU32(15096, 0x500017DA, REG_ACCESS_RO),
    RdU32(15097, 0x500017DE, REG_ACCESS_RO),
    RdU32(15098, 0x500017E2, REG_ACCESS_RO),
    RdU32(15099, 0x500017E6, REG_ACCESS_RO),
    RdU32(15100, 0x500018DA, REG_ACCESS_RO),
    RdU32(15101, 0x500018DE, REG_ACCESS_RO),
    RdU32(15102, 0x500016F4, REG_ACCESS_RO),
    RdU32(15103, 0x500016F8, REG_ACCESS_RO),
    {15104, REG_TYPE_RAW, 0x50005000, 256, REG_ACCESS_RO, true},
    {15105, REG_TYPE_RAW, 0x50006000, 4096, REG_ACCESS_RO, true},
};
inline constexpr size_t REMOTE_DEVICE_REGISTER_COUNT =
    sizeof(REMOTE_DEVICE_REGISTERS) / sizeof(REMOTE_DEVICE_REGISTERS[0]);

// Asked before and after every access of the sensor's registers: true once
// the link is no longer the one the open saw ready; the first to see that
// reports the loss. Asked only while the remote device is open.
using LinkLostCheck = std::function<bool()>;

// Created by GenTLLocalDeviceTesk::CreateRemoteDevice while the device opens,
// after the sensor is ready and the SensorInterface and FeatureCache exist.
// It shares both with the local device and the data stream (SharedPtr); the
// local device keeps owning the connection: it alone disconnects, except for
// a DeviceReset write, which goes through SensorInterface::SetResetSettings
// and so through the link the local device handed the SensorInterface.
// The constructor stores the device label (model "_" serial of the tag) in
// the SensorInterface and sends nothing.
//
// An access of the sensor's registers that finds the link lost, before or
// after it ran, fails: its answer may come from the sensor's next session,
// which knows nothing of this one's settings. The description document
// stays readable.
//
// Threads: the accessors run in consumer threads under this port's
// handle_lock (taken by the register map). Lock order: handle_lock, then
// SensorInterface::lock_, then FeatureCache::lock; handle_lock, then what
// `link_lost` takes (the connection's call lock, the local device's monitor
// lock and its module event's lock), never with SensorInterface::lock_ held.
// Never takes the local device's lock, so the local device may hold it while
// creating, closing or releasing this object.
class GenTLRemoteDeviceTesk : public GenTLVirtualRemoteDevice {
public:
    GenTLRemoteDeviceTesk(const SharedPtr<DeviceTag>& dev_tag,
                          const SharedPtr<SensorInterface>& sensor_interface,
                          const SharedPtr<FeatureCache>& cache, LinkLostCheck link_lost);
    ~GenTLRemoteDeviceTesk() override;

    GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) override;
    GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) override;

    // A failed sensor read (`code` a library code or READBACK_TIMEOUT) as a
    // GenTL error with its message; 0 stays success.
    GC_ERROR ReportReadError(int32_t code, const std::string& word);

protected:
    void DefineCustomRegisters() override;
    GC_ERROR ReadRawCustomRegister(uint32_t id, std::vector<uint8_t>& value) override;
    GC_ERROR ReadFloat32CustomRegister(uint32_t id, float& value) override;
    GC_ERROR ReadInt32CustomRegister(uint32_t id, int32_t& value) override;
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadStringCustomRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteFloat32CustomRegister(uint32_t id, float value) override;
    GC_ERROR WriteInt32CustomRegister(uint32_t id, int32_t value) override;
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override;
    GC_ERROR WriteStringCustomRegister(uint32_t id, const std::string& value) override;
    GC_ERROR GetVariableCustomRegisterSize(uint32_t id, uint64_t& size) override;

private:
    // Under the cache's lock: the component the region and component
    // selectors name, null past the components; `region` and `component`
    // get the indices.
    FeatureCache::Component* SelectedComponent(uint32_t& region, uint32_t& component);
    GC_ERROR WriteComponentField(uint32_t FeatureCache::Component::*field, uint32_t value);
    // `access` starting at `address`, failed when it reaches the sensor's
    // registers on a link that is lost before or after it.
    template <class Access>
    GC_ERROR OnReadyLink(uint64_t address, Access&& access);

    // Fixed at construction.
    const SharedPtr<SensorInterface> sensorInterface_;
    const SharedPtr<FeatureCache> cache_;
    const LinkLostCheck link_lost;

    // Guarded by handle_lock: a DeviceReset write ends the link on purpose.
    bool reset_written = false;
};

// The remote device's event source; the local device makes it with 128 bytes
// of event data.
class GenTLRemoteDeviceEventTesk : public GenTLVirtualRemoteDeviceEvent {
public:
    explicit GenTLRemoteDeviceEventTesk(size_t max_event_size)
        : GenTLVirtualRemoteDeviceEvent(max_event_size)
    {
    }
};

}  // namespace GenTLCore::ZoTL
