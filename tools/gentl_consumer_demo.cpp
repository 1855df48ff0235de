// gentl_consumer_demo: loads a GenTL producer (.cti) the way a consumer does,
// resolves its 64 GenTL functions, starts the library, prints its TL
// information, opens and closes the system and closes the library. Given a
// sensor address, it also opens that sensor, sets its scan width and range
// format through the remote device's registers, grabs scans into announced
// buffers and prints what arrived.
//
// Usage: gentl_consumer_demo [cti [sensor-ip [scans]]]
#include <dlfcn.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"
#include "gentl_producers/GenTesk3d/SceneConfig.h"

namespace {

struct GenTLFunctions {
#define DEMO_DECLARE_POINTER(name, params, args) P##name name = nullptr;
    GENTL_FUNCTION_LIST(DEMO_DECLARE_POINTER)
#undef DEMO_DECLARE_POINTER
};

struct InfoCommand {
    TL_INFO_CMD command;
    const char* name;
};

const InfoCommand TL_INFO_COMMANDS[] = {
    {TL_INFO_ID, "TL_INFO_ID"},
    {TL_INFO_VENDOR, "TL_INFO_VENDOR"},
    {TL_INFO_MODEL, "TL_INFO_MODEL"},
    {TL_INFO_VERSION, "TL_INFO_VERSION"},
    {TL_INFO_TLTYPE, "TL_INFO_TLTYPE"},
    {TL_INFO_NAME, "TL_INFO_NAME"},
    {TL_INFO_PATHNAME, "TL_INFO_PATHNAME"},
    {TL_INFO_DISPLAYNAME, "TL_INFO_DISPLAYNAME"},
    {TL_INFO_CHAR_ENCODING, "TL_INFO_CHAR_ENCODING"},
    {TL_INFO_GENTL_VER_MAJOR, "TL_INFO_GENTL_VER_MAJOR"},
    {TL_INFO_GENTL_VER_MINOR, "TL_INFO_GENTL_VER_MINOR"},
};

// Resolves every function; answers how many were found.
int Resolve(void* cti, GenTLFunctions& gentl)
{
    int found = 0;
#define DEMO_RESOLVE(name, params, args)                       \
    gentl.name = reinterpret_cast<P##name>(dlsym(cti, #name)); \
    if (gentl.name != nullptr)                                 \
        ++found;                                               \
    else                                                       \
        std::printf("  missing: %s\n", #name);
    GENTL_FUNCTION_LIST(DEMO_RESOLVE)
#undef DEMO_RESOLVE
    return found;
}

// Prints a call's result, with the last error when it failed; true on success.
bool Report(const GenTLFunctions& gentl, const char* call, GC_ERROR result)
{
    if (result == GC_ERR_SUCCESS) {
        std::printf("%s: ok\n", call);
        return true;
    }
    GC_ERROR code = 0;
    char text[512] = "";
    size_t size = sizeof text;
    if (gentl.GCGetLastError(&code, text, &size) != GC_ERR_SUCCESS)
        std::snprintf(text, sizeof text, "(no last error)");
    std::printf("%s: failed with %d: %s\n", call, static_cast<int>(result), text);
    return false;
}

// One info answer as text, after its data type.
std::string FormatInfo(INFO_DATATYPE type, const char* buffer, size_t size)
{
    char text[64];
    if (type == INFO_DATATYPE_STRING) return std::string(buffer, strnlen(buffer, size));
    if (type == INFO_DATATYPE_INT32 && size == sizeof(int32_t)) {
        int32_t value = 0;
        std::memcpy(&value, buffer, sizeof value);
        std::snprintf(text, sizeof text, "%" PRId32 " (int32)", value);
        return text;
    }
    if (type == INFO_DATATYPE_UINT32 && size == sizeof(uint32_t)) {
        uint32_t value = 0;
        std::memcpy(&value, buffer, sizeof value);
        std::snprintf(text, sizeof text, "%" PRIu32 " (uint32)", value);
        return text;
    }
    std::snprintf(text, sizeof text, "(%zu bytes of data type %d)", size, static_cast<int>(type));
    return text;
}

// Prints every TL info command through GCGetInfo, or through TLGetInfo when
// a system handle is given; true when all answered.
bool PrintTLInfo(const GenTLFunctions& gentl, TL_HANDLE system)
{
    bool all = true;
    for (const InfoCommand& info : TL_INFO_COMMANDS) {
        INFO_DATATYPE type = 0;
        char buffer[4096] = "";
        size_t size = sizeof buffer;
        const GC_ERROR result = system != nullptr
                                    ? gentl.TLGetInfo(system, info.command, &type, buffer, &size)
                                    : gentl.GCGetInfo(info.command, &type, buffer, &size);
        if (result == GC_ERR_SUCCESS)
            std::printf("  %-24s %s\n", info.name, FormatInfo(type, buffer, size).c_str());
        else
            all = Report(gentl, info.name, result) && all;
    }
    return all;
}

using namespace GenTLCore::ZoTL;

constexpr uint32_t DEMO_WIDTH = 640;
constexpr uint32_t DEMO_PROFILES = 10;
constexpr size_t DEMO_BUFFERS = 8;
constexpr uint64_t BUFFER_WAIT_MS = 2000;

// A remote device register by ID, written as a 32-bit value.
bool WriteRegister(const GenTLFunctions& gentl, PORT_HANDLE port, uint32_t id, uint32_t value,
                   const char* name)
{
    for (const auto& row : REMOTE_DEVICE_REGISTERS) {
        if (row.id != id) continue;
        size_t size = sizeof value;
        return Report(gentl, name, gentl.GCWritePort(port, row.address, &value, &size));
    }
    return false;
}

uint64_t ReadRegister(const GenTLFunctions& gentl, PORT_HANDLE port, uint32_t id)
{
    for (const auto& row : REMOTE_DEVICE_REGISTERS) {
        if (row.id != id) continue;
        uint64_t value = 0;
        size_t size = row.size;
        gentl.GCReadPort(port, row.address, &value, &size);
        return value;
    }
    return 0;
}

template <class T>
T BufferInfo(const GenTLFunctions& gentl, DS_HANDLE stream, BUFFER_HANDLE buffer,
             BUFFER_INFO_CMD command)
{
    T value{};
    size_t size = sizeof value;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    gentl.DSGetBufferInfo(stream, buffer, command, &type, &value, &size);
    return value;
}

// The first points of a multi-part scan: A, C in millimetres (from the
// ABC32f range part) and the intensity (from the intensity part).
void PrintPoints(const char* which, uint64_t frame, const uint8_t* base)
{
    constexpr uint64_t RANGE_OFFSET = 2ULL * DEMO_WIDTH * DEMO_PROFILES;
    std::printf("  %s scan (frame %" PRIu64 "), first points of its first profile:\n", which,
                frame);
    for (uint32_t column = 0; column < DEMO_WIDTH; column += DEMO_WIDTH / 4) {
        uint16_t intensity = 0;
        float point[3] = {};
        std::memcpy(&intensity, base + 2 * column, sizeof intensity);
        std::memcpy(point, base + RANGE_OFFSET + 12 * column, sizeof point);
        std::printf("    column %3u: x %9.4f mm, z %9.4f mm, intensity %u\n", column,
                    static_cast<double>(point[0]), static_cast<double>(point[2]), intensity);
    }
}

// Opens the sensor at `ip`, grabs `scans` scans and reports them.
bool RunStream(const GenTLFunctions& gentl, TL_HANDLE system, const std::string& ip, uint64_t scans)
{
    IF_HANDLE iface = nullptr;
    char iface_id[256] = "";
    size_t size = sizeof iface_id;
    if (!Report(gentl, "TLUpdateInterfaceList", gentl.TLUpdateInterfaceList(system, nullptr, 0)) ||
        !Report(gentl, "TLGetInterfaceID", gentl.TLGetInterfaceID(system, 0, iface_id, &size)) ||
        !Report(gentl, "TLOpenInterface", gentl.TLOpenInterface(system, iface_id, &iface)))
        return false;
    DEV_HANDLE device = nullptr;
    PORT_HANDLE port = nullptr;
    const std::string address = "#ip#" + ip;
    if (!Report(gentl, ("IFOpenDevice " + address).c_str(),
                gentl.IFOpenDevice(iface, address.c_str(), DEVICE_ACCESS_CONTROL, &device)) ||
        !Report(gentl, "DevGetPort", gentl.DevGetPort(device, &port)))
        return false;
    bool ok =
        WriteRegister(gentl, port, RD_REGION_SELECTOR, 1, "RegionSelector = Scan3dExtraction") &&
        WriteRegister(gentl, port, RD_WIDTH, DEMO_WIDTH, "Width = 640") &&
        WriteRegister(gentl, port, RD_HEIGHT, DEMO_PROFILES, "Height = 10 profiles a scan") &&
        WriteRegister(gentl, port, RD_COMPONENT_SELECTOR, 1, "ComponentSelector = Range") &&
        WriteRegister(gentl, port, RD_PIXEL_FORMAT, PFNC_COORD3D_ABC32F,
                      "PixelFormat = Coord3D_ABC32f") &&
        WriteRegister(gentl, port, RD_GENDC_STREAMING_MODE, 0, "GenDCStreamingMode = Off");
    const uint64_t payload = ReadRegister(gentl, port, RD_PAYLOAD_SIZE);
    std::printf("PayloadSize: %" PRIu64 " bytes\n", payload);

    char stream_id[256] = "";
    size = sizeof stream_id;
    DS_HANDLE stream = nullptr;
    ok = ok &&
         Report(gentl, "DevGetDataStreamID",
                gentl.DevGetDataStreamID(device, 0, stream_id, &size)) &&
         Report(gentl, "DevOpenDataStream", gentl.DevOpenDataStream(device, stream_id, &stream));
    std::vector<std::vector<uint8_t>> memory(DEMO_BUFFERS, std::vector<uint8_t>(payload));
    std::vector<BUFFER_HANDLE> buffers;
    EVENT_HANDLE new_buffer = nullptr;
    for (auto& block : memory) {
        BUFFER_HANDLE buffer = nullptr;
        ok = ok &&
             gentl.DSAnnounceBuffer(stream, block.data(), block.size(), nullptr, &buffer) ==
                 GC_ERR_SUCCESS &&
             gentl.DSQueueBuffer(stream, buffer) == GC_ERR_SUCCESS;
        buffers.push_back(buffer);
    }
    ok = ok && Report(gentl, "Announce and queue 8 buffers", GC_ERR_SUCCESS) &&
         Report(gentl, "GCRegisterEvent NEW_BUFFER",
                gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &new_buffer)) &&
         Report(gentl, "DSStartAcquisition",
                gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE)) &&
         WriteRegister(gentl, port, RD_ACQUISITION_START, 1, "AcquisitionStart");

    uint64_t received = 0, first_frame = 0, last_frame = 0;
    size_t payload_type = 0, filled = 0;
    // Timed from the first scan to the last: the sensor streams from AcquisitionStart on.
    std::chrono::steady_clock::time_point first_at, last_at;
    while (ok && received < scans) {
        void* datum[2] = {};  // the buffer handle, then the user pointer
        size = sizeof datum;
        if (gentl.EventGetData(new_buffer, datum, &size, BUFFER_WAIT_MS) != GC_ERR_SUCCESS) break;
        const uint64_t frame = BufferInfo<uint64_t>(gentl, stream, datum[0], BUFFER_INFO_FRAMEID);
        const auto* base = static_cast<const uint8_t*>(
            BufferInfo<void*>(gentl, stream, datum[0], BUFFER_INFO_BASE));
        last_at = std::chrono::steady_clock::now();
        if (received++ == 0) {
            first_at = last_at;
            first_frame = frame;
            payload_type = BufferInfo<size_t>(gentl, stream, datum[0], BUFFER_INFO_PAYLOADTYPE);
            filled = BufferInfo<size_t>(gentl, stream, datum[0], BUFFER_INFO_SIZE_FILLED);
            PrintPoints("First", frame, base);
        } else if (received == scans) {
            PrintPoints("Last", frame, base);
        }
        last_frame = frame;
        gentl.DSQueueBuffer(stream, datum[0]);
    }
    const double seconds = std::chrono::duration<double>(last_at - first_at).count();
    const double rate = received > 1 ? static_cast<double>(received - 1) / seconds : 0.0;
    const uint64_t dropped = received == 0 ? 0 : last_frame - first_frame + 1 - received;
    std::printf("Scans received: %" PRIu64 ", dropped: %" PRIu64
                ", %.1f scans/s (%.0f profiles/s)\n",
                received, dropped, rate, rate * DEMO_PROFILES);
    std::printf("Payload type %zu (10: multi-part), %zu bytes filled of %" PRIu64 "\n",
                payload_type, filled, payload);

    WriteRegister(gentl, port, RD_ACQUISITION_STOP, 1, "AcquisitionStop");
    if (stream != nullptr) {
        Report(gentl, "DSStopAcquisition", gentl.DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
        gentl.DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD);
        for (BUFFER_HANDLE buffer : buffers)
            if (buffer != nullptr) gentl.DSRevokeBuffer(stream, buffer, nullptr, nullptr);
        Report(gentl, "DSClose", gentl.DSClose(stream));
    }
    ok = Report(gentl, "DevClose", gentl.DevClose(device)) && ok;
    return ok && received == scans;
}

// The consumer's session: start, look, open, close. True when all went well.
bool RunSession(const GenTLFunctions& gentl, const std::string& sensor_ip, uint64_t scans)
{
    if (!Report(gentl, "GCInitLib", gentl.GCInitLib())) return false;
    std::printf("TL information (GCGetInfo):\n");
    bool ok = PrintTLInfo(gentl, nullptr);

    TL_HANDLE system = nullptr;
    if (Report(gentl, "TLOpen", gentl.TLOpen(&system))) {
        std::printf("TL information of the system handle (TLGetInfo):\n");
        ok = PrintTLInfo(gentl, system) && ok;
        if (!sensor_ip.empty()) {
            std::printf("\nGrabbing %" PRIu64 " scans from the sensor at %s:\n", scans,
                        sensor_ip.c_str());
            ok = RunStream(gentl, system, sensor_ip, scans) && ok;
        }
        ok = Report(gentl, "TLClose", gentl.TLClose(system)) && ok;
    } else {
        ok = false;
    }
    return Report(gentl, "GCCloseLib", gentl.GCCloseLib()) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "build/GenTesk3d.cti";
    void* cti = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (cti == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    GenTLFunctions gentl;
    const int found = Resolve(cti, gentl);
    std::printf("Loaded %s: %d of %d GenTL functions found\n", path, found, GENTL_FUNCTION_COUNT);
    const std::string sensor_ip = argc > 2 ? argv[2] : "";
    const uint64_t scans = argc > 3 ? std::stoull(argv[3]) : 300;
    const bool ok = found == GENTL_FUNCTION_COUNT && RunSession(gentl, sensor_ip, scans);
    dlclose(cti);
    return ok ? 0 : 1;
}
