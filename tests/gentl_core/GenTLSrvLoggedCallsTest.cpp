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
void* const H_EVENT_SRC = FakeHandle(0xA0);
void* const H_EVENT = FakeHandle(0xE0);

// ---- Library, last error and system ----

class CallLogLibraryAndSystemTest : public CallLogFixture {};

TEST_F(CallLogLibraryAndSystemTest, InitLibHasEmptyBracketsAndNoOutputs)
{
    EXPECT_CALL(inner, GCInitLib()).WillOnce(Return(OK));
    EXPECT_EQ(OK, front.GCInitLib());
    EXPECT_THAT(Messages(), ElementsAre("Called GCInitLib ()", "...returned 0 [GC_ERR_SUCCESS]"));
}

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

TEST_F(CallLogLibraryAndSystemTest, InfoCallWithoutSizePointerPrintsUnknownSize)
{
    INFO_DATATYPE type = INFO_DATATYPE_STRING;
    char buffer[8] = "abc";
    EXPECT_CALL(inner, TLGetInfo(H_TL, TL_INFO_ID, _, _, nullptr))
        .WillOnce(Return(GC_ERR_INVALID_PARAMETER));
    front.TLGetInfo(H_TL, TL_INFO_ID, &type, buffer, nullptr);
    EXPECT_THAT(Messages(),
                ElementsAre("Called TLGetInfo (hTL=000001D2C49E1000, iInfoCmd=0 [TL_INFO_ID], "
                            "piType=" +
                                AddressText(&type) + ", pBuffer=" + AddressText(buffer) +
                                ", piSize=0000000000000000 [{ null }])",
                            "...returned -1009 [GC_ERR_INVALID_PARAMETER], *piType=1 "
                            "[INFO_DATATYPE_STRING], *pBuffer={ unknown buffer size }, "
                            "*piSize={ null }"));
}

TEST_F(CallLogLibraryAndSystemTest, InfoCallWithOnlyNullPointersPrintsNulls)
{
    EXPECT_CALL(inner, DevGetInfo(H_DEVICE, DEVICE_INFO_MODEL, nullptr, nullptr, nullptr))
        .WillOnce(Return(GC_ERR_INVALID_PARAMETER));
    front.DevGetInfo(H_DEVICE, DEVICE_INFO_MODEL, nullptr, nullptr, nullptr);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DevGetInfo (hDevice=000001D2C49E1200, iInfoCmd=2 "
                            "[DEVICE_INFO_MODEL], piType=0000000000000000, "
                            "pBuffer=0000000000000000, piSize=0000000000000000 [{ null }])",
                            "...returned -1009 [GC_ERR_INVALID_PARAMETER], *piType={ null }, "
                            "*pBuffer={ null }, *piSize={ null }"));
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

TEST_F(CallLogLibraryAndSystemTest, OpenWithoutHandlePointerPrintsZeroPointerAndNull)
{
    EXPECT_CALL(inner, TLOpen(nullptr)).WillOnce(Return(GC_ERR_INVALID_PARAMETER));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, front.TLOpen(nullptr));
    EXPECT_THAT(Messages(), ElementsAre("Called TLOpen (phTL=0000000000000000)",
                                        "...returned -1009 [GC_ERR_INVALID_PARAMETER], "
                                        "*phTL={ null }"));
}

TEST_F(CallLogLibraryAndSystemTest, OpenPrintsTheNewHandle)
{
    TL_HANDLE handle = nullptr;
    EXPECT_CALL(inner, TLOpen(&handle)).WillOnce([](TL_HANDLE* h) {
        *h = H_TL;
        return OK;
    });
    front.TLOpen(&handle);
    EXPECT_THAT(Messages(), ElementsAre("Called TLOpen (phTL=" + AddressText(&handle) + ")",
                                        "...returned 0 [GC_ERR_SUCCESS], *phTL=000001D2C49E1000"));
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

TEST_F(CallLogLibraryAndSystemTest, InterfaceInfoLeavesOutTheInterfaceId)
{
    INFO_DATATYPE type = 0;
    uint32_t value = 0;
    size_t size = sizeof(value);
    EXPECT_CALL(inner, TLGetInterfaceInfo(H_TL, _, INTERFACE_INFO_TLTYPE, _, _, _))
        .WillOnce(Return(GC_ERR_INVALID_ID));
    front.TLGetInterfaceInfo(H_TL, "Interface", INTERFACE_INFO_TLTYPE, &type, &value, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called TLGetInterfaceInfo (hTL=000001D2C49E1000, iInfoCmd=2 "
                            "[INTERFACE_INFO_TLTYPE], " +
                                InfoPointers(&type, &value, &size) + " [4])",
                            "...returned -1007 [GC_ERR_INVALID_ID], *piType=0 "
                            "[INFO_DATATYPE_UNKNOWN], *pBuffer={ 00 00 00 00 }, *piSize=4"));
}

TEST_F(CallLogLibraryAndSystemTest, OpenInterfacePrintsTheIdOrNull)
{
    IF_HANDLE handle = nullptr;
    EXPECT_CALL(inner, TLOpenInterface(H_TL, _, &handle)).WillRepeatedly(Return(OK));
    front.TLOpenInterface(H_TL, "Interface", &handle);
    front.TLOpenInterface(H_TL, nullptr, &handle);
    const std::string handle_text = AddressText(&handle);
    EXPECT_THAT(Messages(),
                ElementsAre("Called TLOpenInterface (hTL=000001D2C49E1000, *sIfaceID=Interface, "
                            "phIface=" +
                                handle_text + ")",
                            "...returned 0 [GC_ERR_SUCCESS], *phIface=0000000000000000",
                            "Called TLOpenInterface (hTL=000001D2C49E1000, *sIfaceID={ null }, "
                            "phIface=" +
                                handle_text + ")",
                            "...returned 0 [GC_ERR_SUCCESS], *phIface=0000000000000000"));
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

TEST_F(CallLogLibraryAndSystemTest, DeviceIdUsesItsOwnLabel)
{
    char id[4] = "abc";
    size_t size = sizeof(id);
    EXPECT_CALL(inner, IFGetDeviceID(H_IFACE, 7, id, &size)).WillOnce(Return(OK));
    front.IFGetDeviceID(H_IFACE, 7, id, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called IFGetDeviceID (hIface=000001D2C49E1100, iIndex=7, sIDeviceID=" +
                                AddressText(id) + ", piSize=" + AddressText(&size) + " [4])",
                            "...returned 0 [GC_ERR_SUCCESS], *sIDeviceID=abc, *piSize=4"));
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

TEST_F(CallLogPortTest, ReadOfSixteenBytesKeepsTheSizeDecimalAndShowsNoReading)
{
    std::array<uint8_t, 16> value{};
    size_t size = value.size();
    EXPECT_CALL(inner, GCReadPort(H_PORT, 0x1000u, _, _)).WillOnce(Return(OK));
    front.GCReadPort(H_PORT, 0x1000, value.data(), &size);
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called GCReadPort (hPort=000001D2C49E2A10, iAddress=0x1000, pBuffer=" +
                        AddressText(value.data()) + ", piSize=" + AddressText(&size) + " [16])",
                    "...returned 0 [GC_ERR_SUCCESS], *pBuffer={ 00 00 00 00 00 00 00 00 ... "
                    "}, *piSize=16"));
}

TEST_F(CallLogPortTest, FailedReadOfNoBytesShowsEmptyBraces)
{
    uint8_t value = 0;
    size_t size = 0;
    EXPECT_CALL(inner, GCReadPort(_, _, _, _)).WillOnce(Return(GC_ERR_INVALID_PARAMETER));
    front.GCReadPort(H_PORT, 0x0F000000, &value, &size);
    EXPECT_EQ("...returned -1009 [GC_ERR_INVALID_PARAMETER], *pBuffer={ }, *piSize=0",
              Messages().at(1));
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

TEST_F(CallLogPortTest, PortUrlPrintsOnlyTheText)
{
    char url[64] = {};
    size_t size = sizeof(url);
    EXPECT_CALL(inner, GCGetPortURL(H_PORT, url, &size)).WillOnce([](auto, char* u, size_t* s) {
        std::strcpy(u, "local:a.xml;f0000000;64");
        *s = 24;
        return OK;
    });
    front.GCGetPortURL(H_PORT, url, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCGetPortURL (hPort=000001D2C49E2A10, sURL=" +
                                AddressText(url) + ", piSize=" + AddressText(&size) + " [64])",
                            "...returned 0 [GC_ERR_SUCCESS], *sURL=local:a.xml;f0000000;64"));
}

TEST_F(CallLogPortTest, UrlInfoPrintsIndexAndUrlCommand)
{
    INFO_DATATYPE type = 0;
    uint64_t value = 0;
    size_t size = sizeof(value);
    EXPECT_CALL(inner, GCGetPortURLInfo(H_PORT, 1, URL_INFO_FILE_REGISTER_ADDRESS, _, _, _))
        .WillOnce([](auto, auto, auto, INFO_DATATYPE* t, void* b, auto) {
            *t = INFO_DATATYPE_UINT64;
            const uint64_t address = 0xf0000000;
            std::memcpy(b, &address, sizeof(address));
            return OK;
        });
    front.GCGetPortURLInfo(H_PORT, 1, URL_INFO_FILE_REGISTER_ADDRESS, &type, &value, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCGetPortURLInfo (hPort=000001D2C49E2A10, iURLIndex=1, "
                            "iInfoCmd=7 [URL_INFO_FILE_REGISTER_ADDRESS], " +
                                InfoPointers(&type, &value, &size) + " [8])",
                            "...returned 0 [GC_ERR_SUCCESS], *piType=8 [INFO_DATATYPE_UINT64], "
                            "*pBuffer=4026531840, *piSize=8"));
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

TEST_F(CallLogPortTest, StackedWriteWithoutCountPrintsUnknownSize)
{
    PORT_REGISTER_STACK_ENTRY entry = {0x1000, nullptr, 4};
    EXPECT_CALL(inner, GCWritePortStacked(H_PORT, _, nullptr))
        .WillRepeatedly(Return(GC_ERR_INVALID_PARAMETER));
    front.GCWritePortStacked(H_PORT, &entry, nullptr);
    front.GCWritePortStacked(H_PORT, nullptr, nullptr);
    EXPECT_THAT(
        Messages(),
        ElementsAre("Called GCWritePortStacked (hPort=000001D2C49E2A10, "
                    "*pEntries={ unknown buffer size }, *piNumEntries={ null })",
                    "...returned -1009 [GC_ERR_INVALID_PARAMETER], *piNumEntries={ null }",
                    "Called GCWritePortStacked (hPort=000001D2C49E2A10, "
                    "*pEntries={ null }, *piNumEntries={ null })",
                    "...returned -1009 [GC_ERR_INVALID_PARAMETER], *piNumEntries={ null }"));
}

TEST_F(CallLogPortTest, StackedWriteOfNoEntriesShowsEmptyBraces)
{
    PORT_REGISTER_STACK_ENTRY entry = {0x1000, nullptr, 4};
    size_t count = 0;
    EXPECT_CALL(inner, GCWritePortStacked(_, _, _)).WillOnce(Return(OK));
    front.GCWritePortStacked(H_PORT, &entry, &count);
    EXPECT_EQ("Called GCWritePortStacked (hPort=000001D2C49E2A10, *pEntries={ }, *piNumEntries=0)",
              Messages().at(0));
}

// ---- Events ----

class CallLogEventTest : public CallLogFixture {};

TEST_F(CallLogEventTest, RegisterPrintsTheEventTypeAndTheNewHandle)
{
    EVENT_HANDLE handle = nullptr;
    EXPECT_CALL(inner, GCRegisterEvent(H_EVENT_SRC, EVENT_NEW_BUFFER, &handle))
        .WillOnce([](auto, auto, EVENT_HANDLE* h) {
            *h = H_EVENT;
            return OK;
        });
    front.GCRegisterEvent(H_EVENT_SRC, EVENT_NEW_BUFFER, &handle);
    EXPECT_THAT(Messages(),
                ElementsAre("Called GCRegisterEvent (hEventSrc=00000000000000A0, iEventID=1 "
                            "[EVENT_NEW_BUFFER], phEvent=" +
                                AddressText(&handle) + ")",
                            "...returned 0 [GC_ERR_SUCCESS], *phEvent=00000000000000E0"));
}

TEST_F(CallLogEventTest, UnregisterOfACustomTypeNamesItUnknown)
{
    EXPECT_CALL(inner, GCUnregisterEvent(H_EVENT_SRC, 1000))
        .WillOnce(Return(GC_ERR_NOT_IMPLEMENTED));
    front.GCUnregisterEvent(H_EVENT_SRC, 1000);
    EXPECT_THAT(Messages(), ElementsAre("Called GCUnregisterEvent (hEventSrc=00000000000000A0, "
                                        "iEventID=1000 [Unknown])",
                                        "...returned -1003 [GC_ERR_NOT_IMPLEMENTED]"));
}

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

TEST_F(CallLogEventTest, KillPrintsTheHandleOnly)
{
    EXPECT_CALL(inner, EventKill(H_EVENT)).WillOnce(Return(OK));
    front.EventKill(H_EVENT);
    EXPECT_THAT(Messages(), ElementsAre("Called EventKill (hEvent=00000000000000E0)",
                                        "...returned 0 [GC_ERR_SUCCESS]"));
}

// ---- Data streams: announce, queue, acquisition ----

class CallLogStreamTest : public CallLogFixture {};

TEST_F(CallLogStreamTest, FlushQueuePrintsTheOperationName)
{
    EXPECT_CALL(inner, DSFlushQueue(H_STREAM, ACQ_QUEUE_OUTPUT_DISCARD)).WillOnce(Return(OK));
    front.DSFlushQueue(H_STREAM, ACQ_QUEUE_OUTPUT_DISCARD);
    EXPECT_THAT(Messages(), ElementsAre("Called DSFlushQueue (hDataStream=000001D2C4A80F30, "
                                        "iOperation=1 [ACQ_QUEUE_OUTPUT_DISCARD])",
                                        "...returned 0 [GC_ERR_SUCCESS]"));
}

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

// ---- Buffer queries ----

class CallLogBufferQueryTest : public CallLogFixture {};

TEST_F(CallLogBufferQueryTest, BufferInfoPrintsTheValueOfItsType)
{
    INFO_DATATYPE type = 0;
    size_t filled = 0;
    size_t size = sizeof(filled);
    EXPECT_CALL(inner, DSGetBufferInfo(H_STREAM, H_BUFFER, BUFFER_INFO_SIZE_FILLED, _, _, _))
        .WillOnce([](auto, auto, auto, INFO_DATATYPE* t, void* b, auto) {
            *t = INFO_DATATYPE_SIZET;
            const size_t value = 123456;
            std::memcpy(b, &value, sizeof(value));
            return OK;
        });
    front.DSGetBufferInfo(H_STREAM, H_BUFFER, BUFFER_INFO_SIZE_FILLED, &type, &filled, &size);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSGetBufferInfo (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, iInfoCmd=9 [BUFFER_INFO_SIZE_FILLED], " +
                                InfoPointers(&type, &filled, &size) + " [8])",
                            "...returned 0 [GC_ERR_SUCCESS], *piType=12 [INFO_DATATYPE_SIZET], "
                            "*pBuffer=123456, *piSize=8"));
}

TEST_F(CallLogBufferQueryTest, PartAndSegmentInfoPrintTheirIndex)
{
    EXPECT_CALL(inner, DSGetBufferPartInfo(H_STREAM, H_BUFFER, 3, BUFFER_PART_INFO_WIDTH, _, _, _))
        .WillOnce(Return(GC_ERR_INVALID_INDEX));
    EXPECT_CALL(inner, DSGetBufferSegmentInfo(H_STREAM, H_BUFFER, 0, SEGMENT_INFO_BASE, _, _, _))
        .WillOnce(Return(OK));
    front.DSGetBufferPartInfo(H_STREAM, H_BUFFER, 3, BUFFER_PART_INFO_WIDTH, nullptr, nullptr,
                              nullptr);
    front.DSGetBufferSegmentInfo(H_STREAM, H_BUFFER, 0, SEGMENT_INFO_BASE, nullptr, nullptr,
                                 nullptr);
    const std::string null_info =
        "piType=0000000000000000, pBuffer=0000000000000000, "
        "piSize=0000000000000000 [{ null }])";
    const std::string null_outputs = "*piType={ null }, *pBuffer={ null }, *piSize={ null }";
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSGetBufferPartInfo (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, iPartIndex=3, iInfoCmd=5 "
                            "[BUFFER_PART_INFO_WIDTH], " +
                                null_info,
                            "...returned -1017 [GC_ERR_INVALID_INDEX], " + null_outputs,
                            "Called DSGetBufferSegmentInfo (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, iSegmentIndex=0, iInfoCmd=0 "
                            "[SEGMENT_INFO_BASE], " +
                                null_info,
                            "...returned 0 [GC_ERR_SUCCESS], " + null_outputs));
}

TEST_F(CallLogBufferQueryTest, PartCountPrintsTheCount)
{
    uint32_t parts = 0;
    EXPECT_CALL(inner, DSGetNumBufferParts(H_STREAM, H_BUFFER, &parts))
        .WillOnce([](auto, auto, uint32_t* n) {
            *n = 3;
            return OK;
        });
    front.DSGetNumBufferParts(H_STREAM, H_BUFFER, &parts);
    EXPECT_THAT(Messages(), ElementsAre("Called DSGetNumBufferParts (hDataStream=000001D2C4A80F30, "
                                        "hBuffer=000001D2C4A81000, piNumParts=" +
                                            AddressText(&parts) + ")",
                                        "...returned 0 [GC_ERR_SUCCESS], *piNumParts=3"));
}

TEST_F(CallLogBufferQueryTest, StackedInfoDumpsEntriesBeforeAndAfter)
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

TEST_F(CallLogBufferQueryTest, StackedPartInfoDumpsEntriesLikeBufferInfo)
{
    DS_BUFFER_PART_INFO_STACKED infos[1] = {{2, BUFFER_PART_INFO_WIDTH, 0, nullptr, 0, 0}};
    EXPECT_CALL(inner, DSGetBufferPartInfoStacked(H_STREAM, H_BUFFER, infos, 1u))
        .WillOnce(Return(OK));
    front.DSGetBufferPartInfoStacked(H_STREAM, H_BUFFER, infos, 1);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSGetBufferPartInfoStacked (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, *pInfoStacked={ 02 00 00 00 05 00 00 00 "
                            "... }, iNumInfos=1)",
                            "...returned 0 [GC_ERR_SUCCESS], *pInfoStacked={ 02 00 00 00 05 00 00 "
                            "00 ... }"));
}

TEST_F(CallLogBufferQueryTest, ChunkDataWithoutCountPrintsUnknownSize)
{
    SINGLE_CHUNK_DATA chunks[1] = {};
    EXPECT_CALL(inner, DSGetBufferChunkData(H_STREAM, H_BUFFER, chunks, nullptr))
        .WillOnce(Return(GC_ERR_INVALID_PARAMETER));
    front.DSGetBufferChunkData(H_STREAM, H_BUFFER, chunks, nullptr);
    EXPECT_THAT(Messages(),
                ElementsAre("Called DSGetBufferChunkData (hDataStream=000001D2C4A80F30, "
                            "hBuffer=000001D2C4A81000, pChunkData=" +
                                AddressText(chunks) + ", piNumChunks=0000000000000000)",
                            "...returned -1009 [GC_ERR_INVALID_PARAMETER], "
                            "*pChunkData={ unknown buffer size }, *piNumChunks={ null }"));
}

}  // namespace
