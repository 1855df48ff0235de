// The exact "Called" and "...returned" lines of a representative call of each family.
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "CallLogTestHelpers.h"

namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;
using TestSupport::AddressText;
using TestSupport::CallLogFixture;
using TestSupport::FakeHandle;

constexpr GC_ERROR OK = GC_ERR_SUCCESS;

// "piType=..., pBuffer=..., piSize=..." for the caller's variables.
std::string InfoPointers(const INFO_DATATYPE* type, const void* buffer, const size_t* size)
{
    return "piType=" + AddressText(type) + ", pBuffer=" + AddressText(buffer) +
           ", piSize=" + AddressText(size);
}

void* const H_TL = FakeHandle(0x1D2C49E1000);
void* const H_IFACE = FakeHandle(0x1D2C49E1100);
void* const H_DEVICE = FakeHandle(0x1D2C49E1200);
void* const H_PORT = FakeHandle(0x1D2C49E2A10);
void* const H_STREAM = FakeHandle(0x1D2C4A80F30);
void* const H_BUFFER = FakeHandle(0x1D2C4A81000);
void* const H_EVENT = FakeHandle(0xE0);

// ---- Library, last error and system ----

class CallLogLibraryAndSystemTest : public CallLogFixture {};

TEST_F(CallLogLibraryAndSystemTest, GetInfoPrintsTheCommandNameAndTheTextReceived)
{
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    char buffer[64] = {};
    size_t size = sizeof(buffer);
    EXPECT_CALL(inner, GCGetInfo(TL_INFO_MODEL, &type, buffer, &size))
        .WillOnce([](auto, INFO_DATATYPE* t, void* b, size_t* s) {
            *t = INFO_DATATYPE_STRING;
            std::memcpy(b, "Tesk3D", 7);
            *s = 7;
            return OK;
        });
    EXPECT_EQ(OK, front.GCGetInfo(TL_INFO_MODEL, &type, buffer, &size));
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCGetInfo (iInfoCmd=2 [TL_INFO_MODEL], " +
                                InfoPointers(&type, buffer, &size) + " [64])",
                            "...returned 0 [GC_ERR_SUCCESS], *piType=1 [INFO_DATATYPE_STRING], "
                            "*pBuffer=Tesk3D, *piSize=7"));
}

TEST_F(CallLogLibraryAndSystemTest, FailedCustomInfoCommandPrintsTheOutputsAsLeft)
{
    INFO_DATATYPE type = 2;  // left over from an earlier call
    char buffer[64] = "Tesk3D";
    size_t size = sizeof(buffer);
    EXPECT_CALL(inner, GCGetInfo(1000, _, _, _)).WillOnce(Return(GC_ERR_NOT_IMPLEMENTED));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, front.GCGetInfo(1000, &type, buffer, &size));
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCGetInfo (iInfoCmd=1000 [Unknown], " +
                                InfoPointers(&type, buffer, &size) + " [64])",
                            "...returned -1003 [GC_ERR_NOT_IMPLEMENTED], *piType=2 [Unknown], "
                            "*pBuffer={ 54 65 73 6b 33 44 00 00 ... }, *piSize=64"));
}

TEST_F(CallLogLibraryAndSystemTest, GetLastErrorPrintsCodeNameAndText)
{
    const char* const text = "InitLib: attempt to initialize library, that is already initialized.";
    GC_ERROR code = 0;
    char buffer[256] = {};
    size_t size = sizeof(buffer);
    EXPECT_CALL(inner, GCGetLastError(&code, buffer, &size))
        .WillOnce([text](GC_ERROR* c, char* b, size_t* s) {
            *c = GC_ERR_RESOURCE_IN_USE;
            std::strcpy(b, text);
            *s = std::strlen(text) + 1;
            return OK;
        });
    front.GCGetLastError(&code, buffer, &size);
    EXPECT_THAT(Messages(), ElementsAre("Called GCGetLastError (piErrorCode=" + AddressText(&code) +
                                            ", sErrText=" + AddressText(buffer) +
                                            ", piSize=" + AddressText(&size) + " [256])",
                                        "...returned 0 [GC_ERR_SUCCESS], *piErrorCode=-1004 "
                                        "[GC_ERR_RESOURCE_IN_USE], *sErrText=" +
                                            std::string(text)));
}

TEST_F(CallLogLibraryAndSystemTest, InterfaceIdPrintsTextAndSizeWithItsZero)
{
    char id[64] = {};
    size_t size = sizeof(id);
    EXPECT_CALL(inner, TLGetInterfaceID(H_TL, 0, id, &size))
        .WillOnce([](auto, auto, char* s, size_t* n) {
            std::strcpy(s, "Interface");
            *n = 10;
            return OK;
        });
    front.TLGetInterfaceID(H_TL, 0, id, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called TLGetInterfaceID (hTL=000001D2C49E1000, iIndex=0, "
                            "sInterfaceID=" +
                                AddressText(id) + ", piSize=" + AddressText(&size) + " [64])",
                            "...returned 0 [GC_ERR_SUCCESS], *sInterfaceID=Interface, *piSize=10"));
}

TEST_F(CallLogLibraryAndSystemTest, ListUpdatesPrintTheChangedFlagWithoutStar)
{
    bool8_t changed = 0;
    EXPECT_CALL(inner, TLUpdateInterfaceList(H_TL, &changed, 0))
        .WillOnce([](auto, bool8_t* c, auto) {
            *c = 1;
            return OK;
        });
    EXPECT_CALL(inner, IFUpdateDeviceList(H_IFACE, &changed, 500))
        .WillOnce([](auto, bool8_t* c, auto) {
            *c = 0;
            return OK;
        });
    EXPECT_CALL(inner, IFUpdateDeviceList(H_IFACE, nullptr, 500)).WillOnce(Return(OK));
    front.TLUpdateInterfaceList(H_TL, &changed, 0);
    front.IFUpdateDeviceList(H_IFACE, &changed, 500);
    front.IFUpdateDeviceList(H_IFACE, nullptr, 500);
    const std::string flag_text = AddressText(&changed);
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called TLUpdateInterfaceList (hTL=000001D2C49E1000, pbChanged=" + flag_text +
                        ", iTimeout=0)",
                    "...returned 0 [GC_ERR_SUCCESS], pbChanged=true",
                    "Called IFUpdateDeviceList (hIface=000001D2C49E1100, pbChanged=" + flag_text +
                        ", iTimeout=500)",
                    "...returned 0 [GC_ERR_SUCCESS], pbChanged=false",
                    "Called IFUpdateDeviceList (hIface=000001D2C49E1100, "
                    "pbChanged=0000000000000000, iTimeout=500)",
                    "...returned 0 [GC_ERR_SUCCESS], pbChanged={ null }"));
}

TEST_F(CallLogLibraryAndSystemTest, OpenDevicePrintsIdAccessNameAndHandle)
{
    DEV_HANDLE handle = nullptr;
    EXPECT_CALL(inner, IFOpenDevice(H_IFACE, _, DEVICE_ACCESS_CONTROL, &handle))
        .WillOnce([](auto, auto, auto, DEV_HANDLE* h) {
            *h = H_DEVICE;
            return OK;
        });
    front.IFOpenDevice(H_IFACE, "Tesk3D_1234", DEVICE_ACCESS_CONTROL, &handle);
    EXPECT_THAT(Messages(),
                ElementsAre("Called IFOpenDevice (hIface=000001D2C49E1100, *sDeviceID=Tesk3D_1234, "
                            "iOpenFlag=3 [DEVICE_ACCESS_CONTROL], phDevice=" +
                                AddressText(&handle) + ")",
                            "...returned 0 [GC_ERR_SUCCESS], *phDevice=000001D2C49E1200"));
}

// ---- Ports ----

class CallLogPortTest : public CallLogFixture {};

TEST_F(CallLogPortTest, ReadPrintsHexAddressAndTheValueBothWays)
{
    std::array<uint8_t, 4> value{};
    size_t size = value.size();
    EXPECT_CALL(inner, GCReadPort(H_PORT, 0x0F000000u, value.data(), &size))
        .WillOnce([](auto, auto, void* b, auto) {
            std::memset(b, 0xff, 4);
            return OK;
        });
    front.GCReadPort(H_PORT, 0x0F000000, value.data(), &size);
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called GCReadPort (hPort=000001D2C49E2A10, iAddress=0xf000000, "
                    "pBuffer=" +
                        AddressText(value.data()) + ", piSize=" + AddressText(&size) + " [4])",
                    "...returned 0 [GC_ERR_SUCCESS], *pBuffer={ ff ff ff ff } "
                    "[4294967295U, -1S], *piSize=4"));
}

TEST_F(CallLogPortTest, WritePrintsTheValueBeforeAndTheSizeAfter)
{
    const uint8_t value[2] = {0x34, 0x12};
    size_t size = sizeof(value);
    EXPECT_CALL(inner, GCWritePort(H_PORT, 0x20u, value, &size))
        .WillOnce([](auto, auto, auto, size_t* s) {
            *s = 0;
            return GC_ERR_ACCESS_DENIED;
        });
    front.GCWritePort(H_PORT, 0x20, value, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCWritePort (hPort=000001D2C49E2A10, iAddress=0x20, "
                            "*pBuffer={ 34 12 } [4660U, 4660S], piSize=" +
                                AddressText(&size) + " [2])",
                            "...returned -1005 [GC_ERR_ACCESS_DENIED], *piSize=0"));
}

TEST_F(CallLogPortTest, StackedReadPrintsTheCountBeforeAndTheEntriesAfter)
{
    PORT_REGISTER_STACK_ENTRY entries[2] = {{0x1000, nullptr, 4}, {0x2000, nullptr, 4}};
    size_t count = 2;
    EXPECT_CALL(inner, GCReadPortStacked(H_PORT, entries, &count))
        .WillOnce([](auto, auto, size_t* n) {
            *n = 1;
            return GC_ERR_IO;
        });
    front.GCReadPortStacked(H_PORT, entries, &count);
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCReadPortStacked (hPort=000001D2C49E2A10, pEntries=" +
                                AddressText(entries) + ", *piNumEntries=2)",
                            "...returned -1010 [GC_ERR_IO], *pEntries={ 00 10 00 00 00 00 00 00 "
                            "... }, *piNumEntries=1"));
}

// ---- Events ----

class CallLogEventTest : public CallLogFixture {};

TEST_F(CallLogEventTest, TimedOutGetDataStillPrintsItsOutputs)
{
    uint8_t data[16];
    for (uint8_t i = 0; i < sizeof(data); ++i) data[i] = i;
    size_t size = sizeof(data);
    EXPECT_CALL(inner, EventGetData(H_EVENT, data, &size, 1000u)).WillOnce(Return(GC_ERR_TIMEOUT));
    EXPECT_EQ(GC_ERR_TIMEOUT, front.EventGetData(H_EVENT, data, &size, 1000));
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called EventGetData (hEvent=00000000000000E0, pBuffer=" + AddressText(data) +
                        ", piSize=" + AddressText(&size) + " [16], iTimeout=1000)",
                    "...returned -1011 [GC_ERR_TIMEOUT], *pBuffer={ 00 01 02 03 04 05 06 "
                    "07 ... }, *piSize=16"));
}

TEST_F(CallLogEventTest, DataInfoPrintsTheInputBufferAndInfoPairs)
{
    const uint8_t event_data[4] = {0x01, 0x00, 0x00, 0xdd};
    INFO_DATATYPE type = 0;
    uint64_t value = 0;
    size_t size = sizeof(value);
    EXPECT_CALL(inner, EventGetDataInfo(H_EVENT, event_data, 4u, EVENT_DATA_ID, _, _, _))
        .WillOnce([](auto, auto, auto, auto, INFO_DATATYPE* t, void* b, auto) {
            *t = INFO_DATATYPE_UINT64;
            const uint64_t id = 0xDDDDDD01;
            std::memcpy(b, &id, sizeof(id));
            return OK;
        });
    front.EventGetDataInfo(H_EVENT, event_data, sizeof(event_data), EVENT_DATA_ID, &type, &value,
                           &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called EventGetDataInfo (hEvent=00000000000000E0, *pInBuffer={ 01 00 "
                            "00 dd }, iInSize=4, iInfoCmd=0 [EVENT_DATA_ID], " +
                                InfoPointers(&type, &value, &size) + " [8])",
                            "...returned 0 [GC_ERR_SUCCESS], *piType=8 [INFO_DATATYPE_UINT64], "
                            "*pBuffer=3722304769, *piSize=8"));
}

// ---- Data streams and their buffers ----

class CallLogStreamTest : public CallLogFixture {};

TEST_F(CallLogStreamTest, AnnounceAndQueuePrintTheBufferHandle)
{
    std::array<uint8_t, 4096> memory{};
    void* const user = FakeHandle(0x77);
    BUFFER_HANDLE handle = nullptr;
    EXPECT_CALL(inner, DSAnnounceBuffer(H_STREAM, memory.data(), 4096u, user, &handle))
        .WillOnce([](auto, auto, auto, auto, BUFFER_HANDLE* h) {
            *h = H_BUFFER;
            return OK;
        });
    EXPECT_CALL(inner, DSQueueBuffer(H_STREAM, H_BUFFER)).WillOnce(Return(OK));
    front.DSAnnounceBuffer(H_STREAM, memory.data(), memory.size(), user, &handle);
    front.DSQueueBuffer(H_STREAM, handle);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSAnnounceBuffer (hDataStream=000001D2C4A80F30, pBuffer=" +
                                AddressText(memory.data()) +
                                ", iSize=4096, pPrivate=0000000000000077, phBuffer=" +
                                AddressText(&handle) + ")",
                            "...returned 0 [GC_ERR_SUCCESS], *phBuffer=000001D2C4A81000",
                            "Called DSQueueBuffer (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000)",
                            "...returned 0 [GC_ERR_SUCCESS]"));
}

TEST_F(CallLogStreamTest, StartAndStopPrintFlagsAndCount)
{
    EXPECT_CALL(inner, DSStartAcquisition(H_STREAM, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE))
        .WillOnce(Return(OK));
    EXPECT_CALL(inner, DSStopAcquisition(H_STREAM, ACQ_STOP_FLAGS_KILL)).WillOnce(Return(OK));
    front.DSStartAcquisition(H_STREAM, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE);
    front.DSStopAcquisition(H_STREAM, ACQ_STOP_FLAGS_KILL);
    EXPECT_THAT(Messages(), ElementsAre("Called DSStartAcquisition (hDataStream=000001D2C4A80F30, "
                                        "iStartFlags=0 [ACQ_START_FLAGS_DEFAULT], "
                                        "iNumToAcquire=18446744073709551615)",
                                        "...returned 0 [GC_ERR_SUCCESS]",
                                        "Called DSStopAcquisition (hDataStream=000001D2C4A80F30, "
                                        "iStopFlags=1 [ACQ_STOP_FLAGS_KILL])",
                                        "...returned 0 [GC_ERR_SUCCESS]"));
}

TEST_F(CallLogStreamTest, RevokePrintsBothPointeesOrNull)
{
    void* memory = nullptr;
    EXPECT_CALL(inner, DSRevokeBuffer(H_STREAM, H_BUFFER, &memory, nullptr))
        .WillOnce([](auto, auto, void** m, auto) {
            *m = FakeHandle(0x5000);
            return OK;
        });
    front.DSRevokeBuffer(H_STREAM, H_BUFFER, &memory, nullptr);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSRevokeBuffer (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, pBuffer=" +
                                AddressText(&memory) + ", pPrivate=0000000000000000)",
                            "...returned 0 [GC_ERR_SUCCESS], *pBuffer=0000000000005000, "
                            "*pPrivate={ null }"));
}

// Segment pointers and sizes are 8-byte entries: one entry fits the dump.
TEST_F(CallLogStreamTest, CompositeBufferDumpsBothArraysByTheSegmentCount)
{
    void* segments[2] = {FakeHandle(0x1122334455667788), FakeHandle(0x10)};
    size_t sizes[2] = {0x100, 0x200};
    BUFFER_HANDLE handle = nullptr;
    EXPECT_CALL(inner, DSAnnounceCompositeBuffer(H_STREAM, _, segments, sizes, nullptr, &handle))
        .WillRepeatedly(Return(GC_ERR_RESOURCE_EXHAUSTED));
    front.DSAnnounceCompositeBuffer(H_STREAM, 1, segments, sizes, nullptr, &handle);
    front.DSAnnounceCompositeBuffer(H_STREAM, 2, segments, sizes, nullptr, &handle);
    const std::string tail = ", pPrivate=0000000000000000, phBuffer=" + AddressText(&handle) + ")";
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called DSAnnounceCompositeBuffer (hDataStream=000001D2C4A80F30, "
                    "iNumSegments=1, *ppSegments={ 88 77 66 55 44 33 22 11 }, "
                    "*piSizes={ 00 01 00 00 00 00 00 00 }" +
                        tail,
                    "...returned -1020 [GC_ERR_RESOURCE_EXHAUSTED], *phBuffer=0000000000000000",
                    "Called DSAnnounceCompositeBuffer (hDataStream=000001D2C4A80F30, "
                    "iNumSegments=2, *ppSegments={ 88 77 66 55 44 33 22 11 ... }, "
                    "*piSizes={ 00 01 00 00 00 00 00 00 ... }" +
                        tail,
                    "...returned -1020 [GC_ERR_RESOURCE_EXHAUSTED], *phBuffer=0000000000000000"));
}

TEST_F(CallLogStreamTest, StackedInfoDumpsEntriesBeforeAndAfter)
{
    DS_BUFFER_INFO_STACKED infos[1] = {{BUFFER_INFO_SIZE, 0, nullptr, 0, 0}};
    EXPECT_CALL(inner, DSGetBufferInfoStacked(H_STREAM, H_BUFFER, infos, _))
        .WillRepeatedly([](auto, auto, DS_BUFFER_INFO_STACKED* i, size_t n) {
            if (n > 0) i[0].iType = INFO_DATATYPE_SIZET;
            return OK;
        });
    front.DSGetBufferInfoStacked(H_STREAM, H_BUFFER, infos, 0);
    front.DSGetBufferInfoStacked(H_STREAM, H_BUFFER, infos, 1);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSGetBufferInfoStacked (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, *pInfoStacked={ }, iNumInfos=0)",
                            "...returned 0 [GC_ERR_SUCCESS], *pInfoStacked={ }",
                            "Called DSGetBufferInfoStacked (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, *pInfoStacked={ 01 00 00 00 00 00 00 00 "
                            "... }, iNumInfos=1)",
                            "...returned 0 [GC_ERR_SUCCESS], *pInfoStacked={ 01 00 00 00 0c 00 00 "
                            "00 ... }"));
}

}  // namespace
