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

std::ostream& operator<<(std::ostream& out, const HandleCall& call)
{
    return out << call.name;
}

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
    const char* wrong_kind;
};

FinderTexts TextsOf(Finder finder)
{
    switch (finder) {
        case Finder::Close:
            return {"Close/Unregister: requested handle not found in the pool",
                    "Close/Unregister: requested handle is of unexpected type"};
        case Finder::Parent:
            return {"GetParent: requested handle not found in the pool", nullptr};
        case Finder::Lookup:
            break;
    }
    return {"Requested handle not found in the pool", "Requested handle is of unexpected type"};
}

// One object of every kind, opened on demand.
class FrontFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.IsLoaded()) << session.LoadError(); }

    // Opens one object of every kind.
    void OpenEveryKind()
    {
        ASSERT_TRUE(session.OpenToInterface());
        device = session.OpenDevice(0);
        stream = session.OpenStream(device);
        ASSERT_EQ(GC_ERR_SUCCESS, session->DevGetPort(device, &port));
        ASSERT_EQ(GC_ERR_SUCCESS, session->GCRegisterEvent(session.system, EVENT_ERROR, &event));
    }
    void* HandleOf(Kind kind) const
    {
        switch (kind) {
            case Kind::System:
                return session.system;
            case Kind::Interface:
                return session.iface;
            case Kind::Device:
                return device;
            case Kind::Stream:
                return stream;
            case Kind::Port:
                return port;
            case Kind::EventSource:
                return session.system;
            case Kind::Event:
                return event;
        }
        return nullptr;
    }
    // A pooled handle that is not of `kind`.
    void* OtherKindThan(Kind kind) const
    {
        switch (kind) {
            case Kind::System:
                return HandleOf(Kind::Interface);
            case Kind::Device:
                return HandleOf(Kind::Stream);
            case Kind::Stream:
                return HandleOf(Kind::Device);
            case Kind::Interface:
            case Kind::Event:
                return HandleOf(Kind::System);
            // Every module is a port and an event source; an event is neither.
            case Kind::Port:
            case Kind::EventSource:
                return HandleOf(Kind::Event);
        }
        return nullptr;
    }

    FixtureSession session;
    DEV_HANDLE device = nullptr;
    DS_HANDLE stream = nullptr;
    PORT_HANDLE port = nullptr;
    EVENT_HANDLE event = nullptr;
    int never_handed_out = 0;
};

class FrontHandleCheckTest : public FrontFixture, public ::testing::WithParamInterface<HandleCall> {
protected:
    void ExpectRefused(GC_ERROR code, const char* text, void* handle)
    {
        EXPECT_EQ(code, GetParam().call(session.Functions(), handle));
        EXPECT_EQ(code, session.LastError().code);
        EXPECT_EQ(text, session.LastError().text);
    }
    // GCGetLastError itself refuses to answer while the library is closed.
    void ExpectRefusedUninitialized(void* handle)
    {
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, GetParam().call(session.Functions(), handle));
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, session.LastError().result);
    }
};

TEST_P(FrontHandleCheckTest, RefusesAHandleNeverHandedOutBeforeLookingAtItsPointers)
{
    OpenEveryKind();
    ExpectRefused(GC_ERR_INVALID_HANDLE, TextsOf(GetParam().finder).not_found, &never_handed_out);
}

TEST_P(FrontHandleCheckTest, RefusesAHandleOfAnotherKind)
{
    const char* text = TextsOf(GetParam().finder).wrong_kind;
    if (text == nullptr) GTEST_SKIP() << "takes a handle of any kind";
    OpenEveryKind();
    ExpectRefused(GC_ERR_INVALID_HANDLE, text, OtherKindThan(GetParam().kind));
}

TEST_P(FrontHandleCheckTest, RefusesEveryHandleBeforeGCInitLib)
{
    ExpectRefusedUninitialized(&never_handed_out);
}

TEST_P(FrontHandleCheckTest, RefusesHandlesLeftOverFromAClosedLibrary)
{
    OpenEveryKind();
    ASSERT_EQ(GC_ERR_SUCCESS, session->GCCloseLib());
    ExpectRefusedUninitialized(HandleOf(GetParam().kind));
}

INSTANTIATE_TEST_SUITE_P(EveryCallWithAHandle, FrontHandleCheckTest,
                         ::testing::ValuesIn(HANDLE_CALLS),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Pointers the front and the modules check, with valid handles ----

class FrontPointerCheckTest : public FrontFixture {
protected:
    void SetUp() override
    {
        FrontFixture::SetUp();
        OpenEveryKind();
    }
    void ExpectInvalidParameter(GC_ERROR result, const char* text)
    {
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, result);
        EXPECT_EQ(text, session.LastError().text);
    }

    uint8_t bytes[4] = {};
};

TEST_F(FrontPointerCheckTest, PortAccessNeedsBufferSizeAndANonZeroSize)
{
    size_t size = 0;
    ExpectInvalidParameter(session->GCReadPort(port, 0, bytes, &size),
                           "ReadPort: invalid buffer/size pointer");
    size = sizeof bytes;
    ExpectInvalidParameter(session->GCReadPort(port, 0, nullptr, &size),
                           "ReadPort: invalid buffer/size pointer");
    ExpectInvalidParameter(session->GCWritePort(port, 0, bytes, nullptr),
                           "WritePort: invalid buffer/size pointer");
}

TEST_F(FrontPointerCheckTest, AFailedPortReadZeroesTheSize)
{
    size_t size = sizeof bytes;
    EXPECT_NE(GC_ERR_SUCCESS, session->GCReadPort(port, 0x7FFFFFF0, bytes, &size));
    EXPECT_EQ(0u, size);
}

TEST_F(FrontPointerCheckTest, AStackedAccessOnAHandleNotFoundDidNoEntry)
{
    PORT_REGISTER_STACK_ENTRY entry{0, bytes, sizeof bytes};
    size_t count = 1;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, session->GCReadPortStacked(&never_handed_out, &entry, &count));
    EXPECT_EQ(0u, count);
    count = 1;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, session->GCWritePortStacked(event, &entry, &count));
    EXPECT_EQ(0u, count);
}

TEST_F(FrontPointerCheckTest, CountQueriesNeedTheirCountPointer)
{
    ExpectInvalidParameter(session->TLGetNumInterfaces(session.system, nullptr),
                           "GetNumInterfaces: invalid num_interfaces pointer");
    ExpectInvalidParameter(session->IFGetNumDevices(session.iface, nullptr),
                           "GetNumDevices: invalid num_devices pointer");
    ExpectInvalidParameter(session->DevGetNumDataStreams(device, nullptr),
                           "GetNumDataStreams: invalid num_datastreams pointer");
}

TEST_F(FrontPointerCheckTest, EveryOpenNeedsItsOutputHandlePointer)
{
    const char* text = "Open/Register: invalid output handle pointer.";
    ASSERT_EQ(GC_ERR_SUCCESS, session->DevClose(device));
    ASSERT_EQ(GC_ERR_SUCCESS, session->IFClose(session.iface));
    ExpectInvalidParameter(
        session->TLOpenInterface(session.system, FrontTest::INTERFACE_ID, nullptr), text);
    IF_HANDLE iface = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS,
              session->TLOpenInterface(session.system, FrontTest::INTERFACE_ID, &iface));
    ExpectInvalidParameter(session->IFOpenDevice(iface, FrontTest::DeviceID(1).c_str(),
                                                 DEVICE_ACCESS_EXCLUSIVE, nullptr),
                           text);
    DEV_HANDLE device_1 = session.OpenDevice(1);
    ASSERT_NE(nullptr, device_1);
    ExpectInvalidParameter(session->DevGetPort(device_1, nullptr), text);
    char id[256] = {};
    size_t size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, session->DevGetDataStreamID(device_1, 0, id, &size));
    ExpectInvalidParameter(session->DevOpenDataStream(device_1, id, nullptr), text);
    DS_HANDLE stream_1 = session.OpenStream(device_1);
    ASSERT_NE(nullptr, stream_1);
    ExpectInvalidParameter(session->DSAllocAndAnnounceBuffer(stream_1, 64, nullptr, nullptr), text);
    ExpectInvalidParameter(session->GCRegisterEvent(stream_1, EVENT_NEW_BUFFER, nullptr), text);
}

TEST_F(FrontPointerCheckTest, AParentQueryNeedsItsOutputPointer)
{
    ExpectInvalidParameter(session->DSGetParentDev(stream, nullptr),
                           "GetParent: invalid parent handle pointer");
}

// ---- A buffer is addressed together with its stream ----

struct BufferCall {
    const char* name;
    const char* text;  // the stream's or the front's refusal
    std::function<GC_ERROR(const GenTLFunctions&, DS_HANDLE, BUFFER_HANDLE)> call;
};

std::ostream& operator<<(std::ostream& out, const BufferCall& call)
{
    return out << call.name;
}

#define NOT_ANNOUNCED(op) op ": the required buffer was not announced in the data stream."
// clang-format off
const std::vector<BufferCall> BUFFER_CALLS = {
    {"DSGetBufferChunkData", NOT_ANNOUNCED("GetBufferChunkData"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferChunkData(s, b, nullptr, nullptr); }},
    {"DSGetNumBufferParts", NOT_ANNOUNCED("GetNumBufferParts"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetNumBufferParts(s, b, nullptr); }},
    {"DSGetBufferInfoStacked", NOT_ANNOUNCED("GetBufferInfoStacked"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferInfoStacked(s, b, nullptr, 0); }},
    {"DSGetBufferPartInfoStacked", NOT_ANNOUNCED("GetBufferPartInfoStacked"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferPartInfoStacked(s, b, nullptr, 0); }},
    {"DSGetNumBufferSegments", NOT_ANNOUNCED("GetNumBufferSegments"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetNumBufferSegments(s, b, nullptr); }},
    {"DSGetBufferSegmentInfo", NOT_ANNOUNCED("GetBufferSegmentInfo"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferSegmentInfo(s, b, 0, 0, nullptr, nullptr, nullptr); }},
    {"DSQueueBuffer", NOT_ANNOUNCED("QueueBuffer"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSQueueBuffer(s, b); }},
    {"DSGetBufferInfo", NOT_ANNOUNCED("GetBufferInfo"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferInfo(s, b, 0, nullptr, nullptr, nullptr); }},
    {"DSGetBufferPartInfo", NOT_ANNOUNCED("GetBufferPartInfo"), [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSGetBufferPartInfo(s, b, 0, 0, nullptr, nullptr, nullptr); }},
    {"DSRevokeBuffer", "Requested handle not found in the pool", [](auto& g, DS_HANDLE s, BUFFER_HANDLE b) { return g.DSRevokeBuffer(s, b, nullptr, nullptr); }},
};
// clang-format on
#undef NOT_ANNOUNCED

class BufferHandleCheckTest : public FrontFixture,
                              public ::testing::WithParamInterface<BufferCall> {};

TEST_P(BufferHandleCheckTest, RefusesABufferHandleTheStreamNeverAnnounced)
{
    OpenEveryKind();
    const BufferCall& call = GetParam();
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, call.call(session.Functions(), stream, &never_handed_out));
    EXPECT_EQ(call.text, session.LastError().text);
}

TEST_P(BufferHandleCheckTest, LooksUpTheStreamBeforeTheBuffer)
{
    OpenEveryKind();
    const BufferCall& call = GetParam();
    BUFFER_HANDLE buffer = session.AllocBuffer(stream);
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, call.call(session.Functions(), &never_handed_out, buffer));
    EXPECT_EQ("Requested handle not found in the pool", session.LastError().text);
}

INSTANTIATE_TEST_SUITE_P(EveryCallWithABuffer, BufferHandleCheckTest,
                         ::testing::ValuesIn(BUFFER_CALLS),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
