// The call-log front as a whole: forwarding, results, the level gate and the
// labels of all 64 operations.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "CallLogTestHelpers.h"
#include "support/AssertionCounter.h"

namespace {

using GenTLCore::GenTLSrv;
using GenTLCore::GenTLSrvLogged;
using GenTLCore::SetLogLevelForTest;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;
using TestSupport::CallLogFixture;
using TestSupport::FakeHandle;

char fake_text[] = "fake";

// A distinct value per parameter. Pointers other than texts point into the
// unmapped first 64 KiB, so reading one crashes the test.
template <typename T>
T FakeArgument(uintptr_t seed)
{
    if constexpr (std::is_same_v<T, char*> || std::is_same_v<T, const char*>)
        return fake_text;
    else if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(0x1000 + 0x10 * seed);
    else
        return static_cast<T>(seed);
}

template <typename... Params, size_t... POSITION>
std::tuple<Params...> FakeArgumentsAt(std::index_sequence<POSITION...>)
{
    return std::tuple<Params...>{FakeArgument<Params>(POSITION + 1)...};
}

template <typename... Params>
std::tuple<Params...> FakeArguments(GC_ERROR (GenTLSrv::*)(Params...))
{
    return FakeArgumentsAt<Params...>(std::index_sequence_for<Params...>());
}

// Null pointers and zero numbers: every form has something safe to print.
template <typename... Params>
std::tuple<Params...> NullArguments(GC_ERROR (GenTLSrv::*)(Params...))
{
    return std::tuple<Params...>{};
}

// ---- Forwarding ----

class CallLogForwardingTest : public CallLogFixture,
                              public ::testing::WithParamInterface<uint32_t> {
protected:
    GC_ERROR next_code = -5000;
};

// Below Info nothing is formatted: the fake pointers would crash if read.
TEST_P(CallLogForwardingTest, EveryOperationForwardsItsArgumentsOnceAndReturnsTheInnerResult)
{
    SetLogLevelForTest(GetParam());
#define EXPECT_FORWARDED(name, params, args)                                              \
    {                                                                                     \
        const auto sent = FakeArguments(&GenTLSrv::name);                                 \
        const GC_ERROR code = --next_code;                                                \
        EXPECT_CALL(inner, name).WillOnce([&sent, code](auto... received) {               \
            EXPECT_EQ(sent, std::make_tuple(received...)) << #name;                       \
            return code;                                                                  \
        });                                                                               \
        EXPECT_EQ(code, std::apply([this](auto... a) { return front.name(a...); }, sent)) \
            << #name;                                                                     \
    }
    GENTL_FUNCTION_LIST(EXPECT_FORWARDED)
#undef EXPECT_FORWARDED
    EXPECT_TRUE(capture.Lines().empty());
}

INSTANTIATE_TEST_SUITE_P(LevelsBelowInfo, CallLogForwardingTest, ::testing::Values(0u, 3u));

TEST(CallLogWithoutInnerTest, AssertsAndAnswersNotInitialized)
{
    TestSupport::AssertionCounter assertions;
    GenTLSrvLogged front(nullptr);
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, front.GCInitLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, front.TLClose(nullptr));
}

// ---- Results ----

struct ResultCase {
    GC_ERROR code;
    const char* line;
};

void PrintTo(const ResultCase& c, std::ostream* out)
{
    *out << c.code;
}

class CallLogResultTest : public CallLogFixture,
                          public ::testing::WithParamInterface<ResultCase> {};

TEST_P(CallLogResultTest, ReturnsTheInnerResultBitForBitAndNamesIt)
{
    EXPECT_CALL(inner, DSQueueBuffer(_, _)).WillRepeatedly(Return(GetParam().code));
    EXPECT_EQ(GetParam().code, front.DSQueueBuffer(nullptr, nullptr));
    SetLogLevelForTest(0);
    EXPECT_EQ(GetParam().code, front.DSQueueBuffer(nullptr, nullptr));
    EXPECT_THAT(Messages(), ElementsAre(_, GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CallLogResultTest,
    ::testing::Values(ResultCase{0, "...returned 0 [GC_ERR_SUCCESS]"},
                      ResultCase{-1001, "...returned -1001 [GC_ERR_ERROR]"},
                      ResultCase{-1022, "...returned -1022 [GC_ERR_BUSY]"},
                      ResultCase{-1023, "...returned -1023 [GC_ERR_AMBIGUOUS]"},
                      ResultCase{-1024, "...returned -1024 [Unknown]"},
                      ResultCase{-2000, "...returned -2000 [Unknown]"},
                      ResultCase{7, "...returned 7 [Unknown]"},
                      ResultCase{INT32_MIN, "...returned -2147483648 [Unknown]"},
                      ResultCase{INT32_MAX, "...returned 2147483647 [Unknown]"}));

// ---- The level gate ----

class CallLogGateTest : public CallLogFixture {};

TEST_F(CallLogGateTest, LevelRaisedDuringTheCallWritesOnlyTheAfterLine)
{
    SetLogLevelForTest(0);
    EXPECT_CALL(inner, EventKill(_)).WillOnce([](auto) {
        SetLogLevelForTest(LOG_LEVEL_INFO);
        return GC_ERR_SUCCESS;
    });
    front.EventKill(FakeHandle(0xE0));
    EXPECT_THAT(Messages(), ElementsAre("...returned 0 [GC_ERR_SUCCESS]"));
}

TEST_F(CallLogGateTest, LevelLoweredDuringTheCallWritesOnlyTheBeforeLine)
{
    EXPECT_CALL(inner, EventKill(_)).WillOnce([](auto) {
        SetLogLevelForTest(LOG_LEVEL_WARNING);
        return GC_ERR_SUCCESS;
    });
    front.EventKill(FakeHandle(0xE0));
    EXPECT_THAT(Messages(), ElementsAre("Called EventKill (hEvent=00000000000000E0)"));
}

// A failed get-info call leaves the caller's type: a wider type than the
// one-byte buffer must be dumped, not read (checked by the address sanitizer).
TEST_F(CallLogGateTest, OneByteBufferTypedAsUint64IsDumpedNotRead)
{
    INFO_DATATYPE type = INFO_DATATYPE_UINT64;
    auto buffer = std::make_unique<uint8_t[]>(1);
    buffer[0] = 0x2a;
    size_t size = 1;
    EXPECT_CALL(inner, DSGetInfo(_, STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size))
        .WillOnce(Return(GC_ERR_BUFFER_TOO_SMALL));
    front.DSGetInfo(FakeHandle(0x1), STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size);
    EXPECT_EQ(
        "...returned -1016 [GC_ERR_BUFFER_TOO_SMALL], *piType=8 [INFO_DATATYPE_UINT64], "
        "*pBuffer={ 2a }, *piSize=1",
        Messages().at(1));
}

// ---- The labels and forms of all 64 operations ----

// "@" stands for the zero pointer.
std::string InfoInputs(const std::string& command_name)
{
    return "iInfoCmd=0 [" + command_name + "], piType=@, pBuffer=@, piSize=@ [{ null }]";
}
const std::string INFO_OUTPUT = "*piType={ null }, *pBuffer={ null }, *piSize={ null }";

// Inputs and outputs of every call made with null pointers and zero numbers.
const std::map<std::string, std::pair<std::string, std::string>> NULL_CALL_LINES = {
    {"GCGetInfo", {InfoInputs("TL_INFO_ID"), INFO_OUTPUT}},
    {"GCGetLastError",
     {"piErrorCode=@, sErrText=@, piSize=@ [{ null }]",
      "*piErrorCode={ null }, *sErrText={ null }"}},
    {"GCInitLib", {"", ""}},
    {"GCCloseLib", {"", ""}},
    {"GCReadPort",
     {"hPort=@, iAddress=0x0, pBuffer=@, piSize=@ [{ null }]",
      "*pBuffer={ null }, *piSize={ null }"}},
    {"GCWritePort",
     {"hPort=@, iAddress=0x0, *pBuffer={ null }, piSize=@ [{ null }]", "*piSize={ null }"}},
    {"GCGetPortURL", {"hPort=@, sURL=@, piSize=@ [{ null }]", "*sURL={ null }"}},
    {"GCGetPortInfo", {"hPort=@, " + InfoInputs("PORT_INFO_ID"), INFO_OUTPUT}},
    {"GCRegisterEvent", {"hEventSrc=@, iEventID=0 [EVENT_ERROR], phEvent=@", "*phEvent={ null }"}},
    {"GCUnregisterEvent", {"hEventSrc=@, iEventID=0 [EVENT_ERROR]", ""}},
    {"EventGetData",
     {"hEvent=@, pBuffer=@, piSize=@ [{ null }], iTimeout=0",
      "*pBuffer={ null }, *piSize={ null }"}},
    {"EventGetDataInfo",
     {"hEvent=@, *pInBuffer={ null }, iInSize=0, " + InfoInputs("EVENT_DATA_ID"), INFO_OUTPUT}},
    {"EventGetInfo", {"hEvent=@, " + InfoInputs("EVENT_EVENT_TYPE"), INFO_OUTPUT}},
    {"EventFlush", {"hEvent=@", ""}},
    {"EventKill", {"hEvent=@", ""}},
    {"TLOpen", {"phTL=@", "*phTL={ null }"}},
    {"TLClose", {"hTL=@", ""}},
    {"TLGetInfo", {"hTL=@, " + InfoInputs("TL_INFO_ID"), INFO_OUTPUT}},
    {"TLGetNumInterfaces", {"hTL=@, piNumIfaces=@", "*piNumIfaces={ null }"}},
    {"TLGetInterfaceID",
     {"hTL=@, iIndex=0, sInterfaceID=@, piSize=@ [{ null }]",
      "*sInterfaceID={ null }, *piSize={ null }"}},
    {"TLGetInterfaceInfo", {"hTL=@, " + InfoInputs("INTERFACE_INFO_ID"), INFO_OUTPUT}},
    {"TLOpenInterface", {"hTL=@, *sIfaceID={ null }, phIface=@", "*phIface={ null }"}},
    {"TLUpdateInterfaceList", {"hTL=@, pbChanged=@, iTimeout=0", "pbChanged={ null }"}},
    {"IFClose", {"hIface=@", ""}},
    {"IFGetInfo", {"hIface=@, " + InfoInputs("INTERFACE_INFO_ID"), INFO_OUTPUT}},
    {"IFGetNumDevices", {"hIface=@, piNumDevices=@", "*piNumDevices={ null }"}},
    {"IFGetDeviceID",
     {"hIface=@, iIndex=0, sIDeviceID=@, piSize=@ [{ null }]",
      "*sIDeviceID={ null }, *piSize={ null }"}},
    {"IFUpdateDeviceList", {"hIface=@, pbChanged=@, iTimeout=0", "pbChanged={ null }"}},
    {"IFGetDeviceInfo", {"hIface=@, " + InfoInputs("DEVICE_INFO_ID"), INFO_OUTPUT}},
    {"IFOpenDevice",
     {"hIface=@, *sDeviceID={ null }, iOpenFlag=0 [DEVICE_ACCESS_UNKNOWN], phDevice=@",
      "*phDevice={ null }"}},
    {"DevGetPort", {"hDevice=@, phRemoteDevice=@", "*phRemoteDevice={ null }"}},
    {"DevGetNumDataStreams", {"hDevice=@, piNumDataStreams=@", "*piNumDataStreams={ null }"}},
    {"DevGetDataStreamID",
     {"hDevice=@, iIndex=0, sDataStreamID=@, piSize=@ [{ null }]",
      "*sDataStreamID={ null }, *piSize={ null }"}},
    {"DevOpenDataStream",
     {"hDevice=@, *sDataStreamID={ null }, phDataStream=@", "*phDataStream={ null }"}},
    {"DevGetInfo", {"hDevice=@, " + InfoInputs("DEVICE_INFO_ID"), INFO_OUTPUT}},
    {"DevClose", {"hDevice=@", ""}},
    {"DSAnnounceBuffer",
     {"hDataStream=@, pBuffer=@, iSize=0, pPrivate=@, phBuffer=@", "*phBuffer={ null }"}},
    {"DSAllocAndAnnounceBuffer",
     {"hDataStream=@, iSize=0, pPrivate=@, phBuffer=@", "*phBuffer={ null }"}},
    {"DSFlushQueue", {"hDataStream=@, iOperation=0 [ACQ_QUEUE_INPUT_TO_OUTPUT]", ""}},
    {"DSStartAcquisition",
     {"hDataStream=@, iStartFlags=0 [ACQ_START_FLAGS_DEFAULT], iNumToAcquire=0", ""}},
    {"DSStopAcquisition", {"hDataStream=@, iStopFlags=0 [ACQ_STOP_FLAGS_DEFAULT]", ""}},
    {"DSGetInfo", {"hDataStream=@, " + InfoInputs("STREAM_INFO_ID"), INFO_OUTPUT}},
    {"DSGetBufferID", {"hDataStream=@, iIndex=0, phBuffer=@", "*phBuffer={ null }"}},
    {"DSClose", {"hDataStream=@", ""}},
    {"DSRevokeBuffer",
     {"hDataStream=@, hBuffer=@, pBuffer=@, pPrivate=@", "*pBuffer={ null }, *pPrivate={ null }"}},
    {"DSQueueBuffer", {"hDataStream=@, hBuffer=@", ""}},
    {"DSGetBufferInfo",
     {"hDataStream=@, hBuffer=@, " + InfoInputs("BUFFER_INFO_BASE"), INFO_OUTPUT}},
    {"GCGetNumPortURLs", {"hPort=@, piNumURLs=@", "*piNumURLs={ null }"}},
    {"GCGetPortURLInfo", {"hPort=@, iURLIndex=0, " + InfoInputs("URL_INFO_URL"), INFO_OUTPUT}},
    {"GCReadPortStacked",
     {"hPort=@, pEntries=@, *piNumEntries={ null }", "*pEntries={ null }, *piNumEntries={ null }"}},
    {"GCWritePortStacked",
     {"hPort=@, *pEntries={ null }, *piNumEntries={ null }", "*piNumEntries={ null }"}},
    {"DSGetBufferChunkData",
     {"hDataStream=@, hBuffer=@, pChunkData=@, piNumChunks=@",
      "*pChunkData={ null }, *piNumChunks={ null }"}},
    {"IFGetParentTL", {"hIface=@, phSystem=@", "*phSystem={ null }"}},
    {"DevGetParentIF", {"hDevice=@, phIface=@", "*phIface={ null }"}},
    {"DSGetParentDev", {"hDataStream=@, phDevice=@", "*phDevice={ null }"}},
    {"DSGetNumBufferParts", {"hDataStream=@, hBuffer=@, piNumParts=@", "*piNumParts={ null }"}},
    {"DSGetBufferPartInfo",
     {"hDataStream=@, hBuffer=@, iPartIndex=0, " + InfoInputs("BUFFER_PART_INFO_BASE"),
      INFO_OUTPUT}},
    {"DSAnnounceCompositeBuffer",
     {"hDataStream=@, iNumSegments=0, *ppSegments={ null }, *piSizes={ null }, pPrivate=@, "
      "phBuffer=@",
      "*phBuffer={ null }"}},
    {"DSGetBufferInfoStacked",
     {"hDataStream=@, hBuffer=@, *pInfoStacked={ null }, iNumInfos=0", "*pInfoStacked={ null }"}},
    {"DSGetBufferPartInfoStacked",
     {"hDataStream=@, hBuffer=@, *pInfoStacked={ null }, iNumInfos=0", "*pInfoStacked={ null }"}},
    {"DSGetNumFlows", {"hDataStream=@, piNumFlows=@", "*piNumFlows={ null }"}},
    {"DSGetFlowInfo",
     {"hDataStream=@, iFlowIndex=0, " + InfoInputs("FLOW_INFO_SIZE"), INFO_OUTPUT}},
    {"DSGetNumBufferSegments",
     {"hDataStream=@, hBuffer=@, piNumSegments=@", "*piNumSegments={ null }"}},
    {"DSGetBufferSegmentInfo",
     {"hDataStream=@, hBuffer=@, iSegmentIndex=0, " + InfoInputs("SEGMENT_INFO_BASE"),
      INFO_OUTPUT}},
};

std::string WithZeroPointers(std::string text)
{
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at))
        text.replace(at, 1, "0000000000000000");
    return text;
}

class CallLogLabelTest : public CallLogFixture {};

TEST_F(CallLogLabelTest, EveryOperationWritesItsLabelledPairsInOrder)
{
    std::vector<std::string> names;
#define CALL_WITH_NULLS(name, params, args)                                     \
    EXPECT_CALL(inner, name).WillOnce(Return(-2000));                           \
    names.push_back(#name);                                                     \
    EXPECT_EQ(-2000, std::apply([this](auto... a) { return front.name(a...); }, \
                                NullArguments(&GenTLSrv::name)));
    GENTL_FUNCTION_LIST(CALL_WITH_NULLS)
#undef CALL_WITH_NULLS

    ASSERT_EQ(static_cast<size_t>(GENTL_FUNCTION_COUNT), names.size());
    ASSERT_EQ(NULL_CALL_LINES.size(), names.size());
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(2 * names.size(), messages.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const auto& [inputs, outputs] = NULL_CALL_LINES.at(names[i]);
        EXPECT_EQ("Called " + names[i] + " (" + WithZeroPointers(inputs) + ")", messages[2 * i]);
        EXPECT_EQ("...returned -2000 [Unknown]" + (outputs.empty() ? "" : ", " + outputs),
                  messages[2 * i + 1]);
    }
}

}  // namespace
