// How the service front refuses what a consumer gets wrong, call by call:
// handles never handed out, handles of another kind, calls before GCInitLib
// and after GCCloseLib, and missing pointers. The handle is always checked
// first, so every call below passes null pointers and zeros otherwise.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FixtureSession.h"

using FrontTest::FixtureSession;
using TestSupport::GenTLFunctions;

namespace {

// What a call's handle stands for.
enum class Kind { System, Interface, Device, Stream, Port, EventSource, Event };
// How the call finds its handle: a typed lookup, a close, or a parent query
// (which takes any pooled handle).
enum class Finder { Lookup, Close, Parent };

struct HandleCall {
    const char* name;
    Kind kind;
    Finder finder;
    std::function<GC_ERROR(const GenTLFunctions&, void* handle)> call;
};

void* parent_out = nullptr;  // parent queries need a place to write

// clang-format off
const std::vector<HandleCall> HANDLE_CALLS = {
    {"GCReadPort", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCReadPort(h, 0, nullptr, nullptr); }},
    {"GCWritePort", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCWritePort(h, 0, nullptr, nullptr); }},
    {"GCGetPortURL", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCGetPortURL(h, nullptr, nullptr); }},
    {"GCGetPortInfo", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCGetPortInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"GCRegisterEvent", Kind::EventSource, Finder::Lookup, [](auto& g, void* h) { return g.GCRegisterEvent(h, EVENT_ERROR, nullptr); }},
    {"GCUnregisterEvent", Kind::EventSource, Finder::Lookup, [](auto& g, void* h) { return g.GCUnregisterEvent(h, EVENT_ERROR); }},
    {"EventGetData", Kind::Event, Finder::Lookup, [](auto& g, void* h) { return g.EventGetData(h, nullptr, nullptr, 0); }},
    {"EventGetDataInfo", Kind::Event, Finder::Lookup, [](auto& g, void* h) { return g.EventGetDataInfo(h, nullptr, 0, 0, nullptr, nullptr, nullptr); }},
    {"EventGetInfo", Kind::Event, Finder::Lookup, [](auto& g, void* h) { return g.EventGetInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"EventFlush", Kind::Event, Finder::Lookup, [](auto& g, void* h) { return g.EventFlush(h); }},
    {"EventKill", Kind::Event, Finder::Lookup, [](auto& g, void* h) { return g.EventKill(h); }},
    {"TLClose", Kind::System, Finder::Close, [](auto& g, void* h) { return g.TLClose(h); }},
    {"TLGetInfo", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLGetInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"TLGetNumInterfaces", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLGetNumInterfaces(h, nullptr); }},
    {"TLGetInterfaceID", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLGetInterfaceID(h, 0, nullptr, nullptr); }},
    {"TLGetInterfaceInfo", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLGetInterfaceInfo(h, nullptr, 0, nullptr, nullptr, nullptr); }},
    {"TLOpenInterface", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLOpenInterface(h, nullptr, nullptr); }},
    {"TLUpdateInterfaceList", Kind::System, Finder::Lookup, [](auto& g, void* h) { return g.TLUpdateInterfaceList(h, nullptr, 0); }},
    {"IFClose", Kind::Interface, Finder::Close, [](auto& g, void* h) { return g.IFClose(h); }},
    {"IFGetInfo", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFGetInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"IFGetNumDevices", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFGetNumDevices(h, nullptr); }},
    {"IFGetDeviceID", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFGetDeviceID(h, 0, nullptr, nullptr); }},
    {"IFUpdateDeviceList", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFUpdateDeviceList(h, nullptr, 0); }},
    {"IFGetDeviceInfo", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFGetDeviceInfo(h, nullptr, 0, nullptr, nullptr, nullptr); }},
    {"IFOpenDevice", Kind::Interface, Finder::Lookup, [](auto& g, void* h) { return g.IFOpenDevice(h, nullptr, DEVICE_ACCESS_EXCLUSIVE, nullptr); }},
    {"DevGetPort", Kind::Device, Finder::Lookup, [](auto& g, void* h) { return g.DevGetPort(h, nullptr); }},
    {"DevGetNumDataStreams", Kind::Device, Finder::Lookup, [](auto& g, void* h) { return g.DevGetNumDataStreams(h, nullptr); }},
    {"DevGetDataStreamID", Kind::Device, Finder::Lookup, [](auto& g, void* h) { return g.DevGetDataStreamID(h, 0, nullptr, nullptr); }},
    {"DevOpenDataStream", Kind::Device, Finder::Lookup, [](auto& g, void* h) { return g.DevOpenDataStream(h, nullptr, nullptr); }},
    {"DevGetInfo", Kind::Device, Finder::Lookup, [](auto& g, void* h) { return g.DevGetInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"DevClose", Kind::Device, Finder::Close, [](auto& g, void* h) { return g.DevClose(h); }},
    {"DSAnnounceBuffer", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSAnnounceBuffer(h, nullptr, 0, nullptr, nullptr); }},
    {"DSAllocAndAnnounceBuffer", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSAllocAndAnnounceBuffer(h, 0, nullptr, nullptr); }},
    {"DSFlushQueue", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSFlushQueue(h, ACQ_QUEUE_ALL_DISCARD); }},
    {"DSStartAcquisition", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSStartAcquisition(h, 0, 0); }},
    {"DSStopAcquisition", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSStopAcquisition(h, 0); }},
    {"DSGetInfo", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetInfo(h, 0, nullptr, nullptr, nullptr); }},
    {"DSGetBufferID", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferID(h, 0, nullptr); }},
    {"DSClose", Kind::Stream, Finder::Close, [](auto& g, void* h) { return g.DSClose(h); }},
    {"DSRevokeBuffer", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSRevokeBuffer(h, nullptr, nullptr, nullptr); }},
    {"DSQueueBuffer", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSQueueBuffer(h, nullptr); }},
    {"DSGetBufferInfo", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferInfo(h, nullptr, 0, nullptr, nullptr, nullptr); }},
    {"GCGetNumPortURLs", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCGetNumPortURLs(h, nullptr); }},
    {"GCGetPortURLInfo", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCGetPortURLInfo(h, 0, 0, nullptr, nullptr, nullptr); }},
    {"GCReadPortStacked", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCReadPortStacked(h, nullptr, nullptr); }},
    {"GCWritePortStacked", Kind::Port, Finder::Lookup, [](auto& g, void* h) { return g.GCWritePortStacked(h, nullptr, nullptr); }},
    {"DSGetBufferChunkData", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferChunkData(h, nullptr, nullptr, nullptr); }},
    {"IFGetParentTL", Kind::Interface, Finder::Parent, [](auto& g, void* h) { return g.IFGetParentTL(h, &parent_out); }},
    {"DevGetParentIF", Kind::Device, Finder::Parent, [](auto& g, void* h) { return g.DevGetParentIF(h, &parent_out); }},
    {"DSGetParentDev", Kind::Stream, Finder::Parent, [](auto& g, void* h) { return g.DSGetParentDev(h, &parent_out); }},
    {"DSGetNumBufferParts", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetNumBufferParts(h, nullptr, nullptr); }},
    {"DSGetBufferPartInfo", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferPartInfo(h, nullptr, 0, 0, nullptr, nullptr, nullptr); }},
    {"DSAnnounceCompositeBuffer", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSAnnounceCompositeBuffer(h, 0, nullptr, nullptr, nullptr, nullptr); }},
    {"DSGetBufferInfoStacked", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferInfoStacked(h, nullptr, nullptr, 0); }},
    {"DSGetBufferPartInfoStacked", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferPartInfoStacked(h, nullptr, nullptr, 0); }},
    {"DSGetNumFlows", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetNumFlows(h, nullptr); }},
    {"DSGetFlowInfo", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetFlowInfo(h, 0, 0, nullptr, nullptr, nullptr); }},
    {"DSGetNumBufferSegments", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetNumBufferSegments(h, nullptr, nullptr); }},
    {"DSGetBufferSegmentInfo", Kind::Stream, Finder::Lookup, [](auto& g, void* h) { return g.DSGetBufferSegmentInfo(h, nullptr, 0, 0, nullptr, nullptr, nullptr); }},
};
// clang-format on

struct FinderTexts {
    const char* not_found;
    const char* wrong_kind;  // null: any kind is taken
};

FinderTexts TextsOf(Finder finder)
{
    if (finder == Finder::Close)
        return {"Close/Unregister: requested handle not found in the pool",
                "Close/Unregister: requested handle is of unexpected type"};
    if (finder == Finder::Parent) return {"GetParent: requested handle not found in the pool", nullptr};
    return {"Requested handle not found in the pool", "Requested handle is of unexpected type"};
}

// One object of every kind, opened on demand.
class FrontHandleCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.IsLoaded()) << session.LoadError(); }

    void OpenEveryKind()
    {
        ASSERT_TRUE(session.OpenToInterface());
        device = session.OpenDevice(0);
        stream = session.OpenStream(device);
        ASSERT_EQ(GC_ERR_SUCCESS, session->DevGetPort(device, &port));
        ASSERT_EQ(GC_ERR_SUCCESS, session->GCRegisterEvent(session.system, EVENT_ERROR, &event));
    }
    // Per kind: its handle, and a pooled handle not of it (every module is a
    // port and an event source; an event is neither).
    void* HandleOf(Kind kind) const
    {
        void* const of[] = {session.system, session.iface, device, stream, port, session.system, event};
        return of[static_cast<int>(kind)];
    }
    void* OtherKindThan(Kind kind) const
    {
        void* const other[] = {session.iface, session.system, stream, device, event, event, session.system};
        return other[static_cast<int>(kind)];
    }
    void ExpectRefused(GC_ERROR result, const char* text)
    {
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, result);
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, session.LastError().code);
        EXPECT_EQ(text, session.LastError().text);
    }

    FixtureSession session;
    DEV_HANDLE device = nullptr;
    DS_HANDLE stream = nullptr;
    PORT_HANDLE port = nullptr;
    EVENT_HANDLE event = nullptr;
    int never_handed_out = 0;
    uint8_t bytes[4] = {};
};

// GCGetLastError itself refuses to answer while the library is closed.
TEST_F(FrontHandleCheckTest, EveryCallRefusesUnknownForeignAndLeftOverHandles)
{
    const GenTLFunctions& gentl = session.Functions();
    for (const HandleCall& row : HANDLE_CALLS) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, row.call(gentl, &never_handed_out));
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, session.LastError().result);
    }
    size_t size = sizeof bytes;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gentl.GCGetInfo(TL_INFO_ID, &type, bytes, &size));
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gentl.TLOpen(&device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gentl.GCCloseLib());
    OpenEveryKind();
    for (const HandleCall& row : HANDLE_CALLS) {
        SCOPED_TRACE(row.name);
        const FinderTexts texts = TextsOf(row.finder);
        ExpectRefused(row.call(gentl, &never_handed_out), texts.not_found);
        if (texts.wrong_kind != nullptr)
            ExpectRefused(row.call(gentl, OtherKindThan(row.kind)), texts.wrong_kind);
    }
    ASSERT_EQ(GC_ERR_SUCCESS, session->GCCloseLib());
    for (const HandleCall& row : HANDLE_CALLS) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, row.call(gentl, HandleOf(row.kind)));
    }
}

// Pointers the front and the modules check, with valid handles.
TEST_F(FrontHandleCheckTest, MissingPointersAreInvalidParameters)
{
    OpenEveryKind();
    const GenTLFunctions& g = session.Functions();
    size_t zero = 0;
    size_t four = sizeof bytes;
    void* parent = nullptr;
    const char* const OPEN = "Open/Register: invalid output handle pointer.";
    const struct {
        const char* name;
        std::function<GC_ERROR()> call;
        const char* text;
    } rows[] = {
        // clang-format off
        {"ReadPort zero size", [&] { return g.GCReadPort(port, 0, bytes, &zero); }, "ReadPort: invalid buffer/size pointer"},
        {"ReadPort null buffer", [&] { return g.GCReadPort(port, 0, nullptr, &four); }, "ReadPort: invalid buffer/size pointer"},
        {"WritePort null size", [&] { return g.GCWritePort(port, 0, bytes, nullptr); }, "WritePort: invalid buffer/size pointer"},
        {"TLGetNumInterfaces", [&] { return g.TLGetNumInterfaces(session.system, nullptr); }, "GetNumInterfaces: invalid num_interfaces pointer"},
        {"IFGetNumDevices", [&] { return g.IFGetNumDevices(session.iface, nullptr); }, "GetNumDevices: invalid num_devices pointer"},
        {"DevGetNumDataStreams", [&] { return g.DevGetNumDataStreams(device, nullptr); }, "GetNumDataStreams: invalid num_datastreams pointer"},
        {"DSGetParentDev", [&] { return g.DSGetParentDev(stream, nullptr); }, "GetParent: invalid parent handle pointer"},
        {"TLOpen", [&] { return g.TLOpen(nullptr); }, OPEN},
        {"TLOpenInterface", [&] { return g.TLOpenInterface(session.system, FrontTest::INTERFACE_ID, nullptr); }, OPEN},
        {"IFOpenDevice", [&] { return g.IFOpenDevice(session.iface, FrontTest::DeviceID(1).c_str(), DEVICE_ACCESS_EXCLUSIVE, nullptr); }, OPEN},
        {"DevGetPort", [&] { return g.DevGetPort(device, nullptr); }, OPEN},
        {"DevOpenDataStream", [&] { return g.DevOpenDataStream(device, "Fixture_STM0_Fixture_DEV_FakeDevice0", nullptr); }, OPEN},
        {"DSAllocAndAnnounceBuffer", [&] { return g.DSAllocAndAnnounceBuffer(stream, 64, nullptr, nullptr); }, OPEN},
        {"GCRegisterEvent", [&] { return g.GCRegisterEvent(stream, EVENT_NEW_BUFFER, nullptr); }, OPEN},
        {"DSAnnounceBuffer", [&] { return g.DSAnnounceBuffer(stream, bytes, sizeof bytes, nullptr, nullptr); }, OPEN},
        {"DSAnnounceBuffer null buffer", [&] { return g.DSAnnounceBuffer(stream, nullptr, 8, nullptr, &parent); }, "AnnounceBuffer: invalid buffer pointer"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, row.call());
        EXPECT_EQ(row.text, session.LastError().text);
    }
    // Nothing was announced: the memory is free for a real announcement.
    BUFFER_HANDLE buffer = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, g.DSAnnounceBuffer(stream, bytes, sizeof bytes, nullptr, &buffer));
    // A failed read reports no bytes; a stacked access on a bad handle did no entry.
    four = sizeof bytes;
    EXPECT_NE(GC_ERR_SUCCESS, g.GCReadPort(port, 0x7FFFFFF0, bytes, &four));
    EXPECT_EQ(0u, four);
    PORT_REGISTER_STACK_ENTRY entry{0, bytes, sizeof bytes};
    size_t count = 1;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, g.GCReadPortStacked(&never_handed_out, &entry, &count));
    EXPECT_EQ(0u, count);
    count = 1;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, g.GCWritePortStacked(event, &entry, &count));
    EXPECT_EQ(0u, count);
}

// A buffer is addressed together with its stream: the stream is looked up
// first, then the buffer among the stream's own.
TEST_F(FrontHandleCheckTest, BufferCallsRefuseAStrangeStreamOrBuffer)
{
    OpenEveryKind();
#define NOT_ANNOUNCED(op) op ": the required buffer was not announced in the data stream."
    const struct {
        const char* name;
        std::function<GC_ERROR(const GenTLFunctions&, DS_HANDLE, BUFFER_HANDLE)> call;
        const char* text;
    } rows[] = {
        // clang-format off
        {"DSGetBufferChunkData", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferChunkData(s, b, nullptr, nullptr); }, NOT_ANNOUNCED("GetBufferChunkData")},
        {"DSGetNumBufferParts", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetNumBufferParts(s, b, nullptr); }, NOT_ANNOUNCED("GetNumBufferParts")},
        {"DSGetBufferInfoStacked", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferInfoStacked(s, b, nullptr, 0); }, NOT_ANNOUNCED("GetBufferInfoStacked")},
        {"DSGetBufferPartInfoStacked", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferPartInfoStacked(s, b, nullptr, 0); }, NOT_ANNOUNCED("GetBufferPartInfoStacked")},
        {"DSGetNumBufferSegments", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetNumBufferSegments(s, b, nullptr); }, NOT_ANNOUNCED("GetNumBufferSegments")},
        {"DSGetBufferSegmentInfo", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferSegmentInfo(s, b, 0, 0, nullptr, nullptr, nullptr); }, NOT_ANNOUNCED("GetBufferSegmentInfo")},
        {"DSQueueBuffer", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSQueueBuffer(s, b); }, NOT_ANNOUNCED("QueueBuffer")},
        {"DSGetBufferInfo", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferInfo(s, b, 0, nullptr, nullptr, nullptr); }, NOT_ANNOUNCED("GetBufferInfo")},
        {"DSGetBufferPartInfo", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferPartInfo(s, b, 0, 0, nullptr, nullptr, nullptr); }, NOT_ANNOUNCED("GetBufferPartInfo")},
        {"DSRevokeBuffer", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSRevokeBuffer(s, b, nullptr, nullptr); }, "Requested handle not found in the pool"},
        // clang-format on
    };
#undef NOT_ANNOUNCED
    DS_HANDLE other_stream = session.OpenStream(session.OpenDevice(1));
    BUFFER_HANDLE others_buffer = session.AllocBuffer(other_stream);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ExpectRefused(row.call(session.Functions(), stream, &never_handed_out), row.text);
        ExpectRefused(row.call(session.Functions(), &never_handed_out, others_buffer),
                      "Requested handle not found in the pool");
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, row.call(session.Functions(), stream, others_buffer));
    }
}

}  // namespace
