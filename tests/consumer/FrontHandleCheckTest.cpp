// How the service front refuses what a consumer gets wrong, call by call:
// handles never handed out, handles of another kind, calls before GCInitLib
// and after GCCloseLib, and missing pointers. The handle is checked first, so
// every call below passes null pointers and zeros otherwise.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FixtureSession.h"

using FrontTest::FixtureSession;
using TestSupport::GenTLFunctions;

namespace {

// Calls a function with one or two handles first, null or zero for the rest.
template <class F>
struct Caller {
    static constexpr int HANDLES = 0;
    static GC_ERROR Call(F, void*, void*) { return GC_ERR_ERROR; }
};
template <class... Rest>
struct Caller<GC_ERROR (*)(void*, Rest...)> {
    static constexpr int HANDLES = 1;
    static GC_ERROR Call(GC_ERROR (*f)(void*, Rest...), void* h, void*) { return f(h, Rest{}...); }
};
template <class... Rest>
struct Caller<GC_ERROR (*)(void*, void*, Rest...)> {
    static constexpr int HANDLES = 2;
    static GC_ERROR Call(GC_ERROR (*f)(void*, void*, Rest...), void* h, void* b)
    {
        return f(h, b, Rest{}...);
    }
};

// A parent query checks its output pointer first.
template <>
struct Caller<GC_ERROR (*)(void*, void**)> {
    static constexpr int HANDLES = 1;
    static GC_ERROR Call(GC_ERROR (*f)(void*, void**), void* h, void*)
    {
        void* out = nullptr;
        return f(h, &out);
    }
};

// What a call's handle stands for, and how the call finds it.
enum Kind { SYSTEM, INTERFACE, DEVICE, STREAM, PORT, EVENT_SOURCE, EVENT };
enum class Finder { LOOKUP, CLOSE, PARENT };

struct HandleCall {
    std::string name;
    int handles;  // 2 for a stream call: the stream and one of its buffers
    GC_ERROR (*call)(const GenTLFunctions&, void* handle, void* buffer);

    Kind Of() const
    {
        if (name.starts_with("GCRegister") || name.starts_with("GCUnregister")) return EVENT_SOURCE;
        const std::pair<const char*, Kind> prefixes[] = {
            {"GC", PORT}, {"Event", EVENT}, {"TL", SYSTEM}, {"IF", INTERFACE}, {"Dev", DEVICE}};
        for (const auto& [prefix, kind] : prefixes)
            if (name.starts_with(prefix)) return kind;
        return STREAM;
    }
    Finder By() const
    {
        if (name.ends_with("Close")) return Finder::CLOSE;
        return name.find("GetParent") == std::string::npos ? Finder::LOOKUP : Finder::PARENT;
    }
};

// Every export that takes a handle first.
std::vector<HandleCall> HandleCalls()
{
    std::vector<HandleCall> calls;
#define FRONT_HANDLE_CALL(name, params, args)                                             \
    calls.push_back(                                                                      \
        {#name, Caller<P##name>::HANDLES, [](const GenTLFunctions& g, void* h, void* b) { \
             return Caller<P##name>::Call(g.name, h, b);                                  \
         }});
    GENTL_FUNCTION_LIST(FRONT_HANDLE_CALL)
#undef FRONT_HANDLE_CALL
    std::erase_if(calls, [](const HandleCall& c) { return c.handles == 0; });
    return calls;
}

struct FinderTexts {
    const char* not_found;
    const char* wrong_kind;  // null: any kind is taken
};
const FinderTexts TEXTS[] = {
    {"Requested handle not found in the pool", "Requested handle is of unexpected type"},
    {"Close/Unregister: requested handle not found in the pool",
     "Close/Unregister: requested handle is of unexpected type"},
    {"GetParent: requested handle not found in the pool", nullptr}};

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
        void* const of[] = {session.system, session.iface,  device, stream,
                            port,           session.system, event};
        return of[kind];
    }
    void* OtherKindThan(Kind kind) const
    {
        void* const other[] = {session.iface, session.system, stream,        device,
                               event,         event,          session.system};
        return other[kind];
    }
    void ExpectRefused(GC_ERROR result, const std::string& text)
    {
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, result);
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, session.LastError().code);
        EXPECT_EQ(text, session.LastError().text);
    }

    FixtureSession session;
    const GenTLFunctions& g = session.Functions();
    DEV_HANDLE device = nullptr;
    DS_HANDLE stream = nullptr;
    PORT_HANDLE port = nullptr;
    EVENT_HANDLE event = nullptr;
    int never_handed_out = 0;
    uint8_t bytes[4] = {};
};

// GCGetLastError itself refuses to answer while the library is closed. A
// buffer is addressed with its stream: the stream is looked up first, then
// the buffer among the stream's own.
TEST_F(FrontHandleCheckTest, EveryCallRefusesUnknownForeignAndLeftOverHandles)
{
    const std::vector<HandleCall> calls = HandleCalls();
    ASSERT_EQ(59u, calls.size());
    for (const HandleCall& row : calls) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, row.call(g, &never_handed_out, nullptr));
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, session.LastError().result);
    }
    size_t size = sizeof bytes;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, g.GCGetInfo(TL_INFO_ID, &type, bytes, &size));
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, g.TLOpen(&device));
    EXPECT_EQ(nullptr, device);
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, g.GCCloseLib());
    OpenEveryKind();
    BUFFER_HANDLE others_buffer = session.AllocBuffer(session.OpenStream(session.OpenDevice(1)));
    for (const HandleCall& row : calls) {
        SCOPED_TRACE(row.name);
        const FinderTexts texts = TEXTS[static_cast<int>(row.By())];
        ExpectRefused(row.call(g, &never_handed_out, nullptr), texts.not_found);
        if (texts.wrong_kind != nullptr)
            ExpectRefused(row.call(g, OtherKindThan(row.Of()), nullptr), texts.wrong_kind);
        if (row.handles < 2 || row.Of() != STREAM || row.name == "DSAnnounceBuffer") continue;
        ExpectRefused(row.call(g, stream, &never_handed_out),
                      row.name == "DSRevokeBuffer"
                          ? std::string(texts.not_found)
                          : row.name.substr(2) +
                                ": the required buffer was not announced in the data stream.");
        ExpectRefused(row.call(g, &never_handed_out, others_buffer), texts.not_found);
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, row.call(g, stream, others_buffer));
    }
    ASSERT_EQ(GC_ERR_SUCCESS, g.GCCloseLib());
    for (const HandleCall& row : calls) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, row.call(g, HandleOf(row.Of()), nullptr));
    }
}

// Pointers the front and the modules check, with valid handles.
TEST_F(FrontHandleCheckTest, MissingPointersAreInvalidParameters)
{
    OpenEveryKind();
    size_t zero = 0, four = sizeof bytes, count = 0;
    PORT_REGISTER_STACK_ENTRY null_entry{0, nullptr, 4};  // never dereferenced
    void* out = nullptr;
    const std::string open = "Open/Register: invalid output handle pointer.";
    const struct {
        std::function<GC_ERROR()> call;
        std::string text;
    } rows[] = {
        // clang-format off
        {[&] { return g.GCReadPort(port, 0, bytes, &zero); }, "ReadPort: invalid buffer/size pointer"},
        {[&] { return g.GCReadPort(port, 0, nullptr, &four); }, "ReadPort: invalid buffer/size pointer"},
        {[&] { return g.GCWritePort(port, 0, bytes, nullptr); }, "WritePort: invalid buffer/size pointer"},
        {[&] { return g.GCReadPortStacked(port, nullptr, &four); }, "ReadPortStacked: invalid pointer to register entries or their size"},
        {[&] { return g.GCWritePortStacked(port, &null_entry, &(count = 1)); }, "WritePortStacked: invalid buffer pointer in register entry"},
        {[&] { return g.TLGetNumInterfaces(session.system, nullptr); }, "GetNumInterfaces: invalid num_interfaces pointer"},
        {[&] { return g.IFGetNumDevices(session.iface, nullptr); }, "GetNumDevices: invalid num_devices pointer"},
        {[&] { return g.DevGetNumDataStreams(device, nullptr); }, "GetNumDataStreams: invalid num_datastreams pointer"},
        {[&] { return g.DSGetParentDev(stream, nullptr); }, "GetParent: invalid parent handle pointer"},
        {[&] { return g.TLOpen(nullptr); }, open},
        {[&] { return g.TLOpenInterface(session.system, FrontTest::INTERFACE_ID, nullptr); }, open},
        {[&] { return g.IFOpenDevice(session.iface, FrontTest::DeviceID(1).c_str(), DEVICE_ACCESS_EXCLUSIVE, nullptr); }, open},
        {[&] { return g.DevGetPort(device, nullptr); }, open},
        {[&] { return g.DevOpenDataStream(device, "Fixture_STM0_Fixture_DEV_FakeDevice0", nullptr); }, open},
        {[&] { return g.DSAllocAndAnnounceBuffer(stream, 64, nullptr, nullptr); }, open},
        {[&] { return g.GCRegisterEvent(stream, EVENT_NEW_BUFFER, nullptr); }, open},
        {[&] { return g.DSAnnounceBuffer(stream, bytes, sizeof bytes, nullptr, nullptr); }, open},
        {[&] { return g.DSAnnounceBuffer(stream, nullptr, 8, nullptr, &out); }, "AnnounceBuffer: invalid buffer pointer"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, row.call());
        EXPECT_EQ(row.text, session.LastError().text);
    }
    EXPECT_EQ(0u, count);
    // Nothing was announced: the memory is free for a real announcement.
    EXPECT_EQ(GC_ERR_SUCCESS, g.DSAnnounceBuffer(stream, bytes, sizeof bytes, nullptr, &out));
    // A failed read reports no bytes; a stacked access on a bad handle did no entry.
    EXPECT_NE(GC_ERR_SUCCESS, g.GCReadPort(port, 0x7FFFFFF0, bytes, &four));
    EXPECT_EQ(0u, four);
    PORT_REGISTER_STACK_ENTRY entry{0, bytes, sizeof bytes};
    for (void* handle : {static_cast<void*>(&never_handed_out), event}) {
        size_t count = 1;
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, g.GCReadPortStacked(handle, &entry, &count));
        EXPECT_EQ(0u, count);
        count = 1;
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, g.GCWritePortStacked(handle, &entry, &count));
        EXPECT_EQ(0u, count);
    }
}

}  // namespace
