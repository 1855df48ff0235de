// The call-log front over a mock front: forwarding, results, the level gate
// and the lines of all 64 operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "LogCapture.h"
#include "MockGenTLSrv.h"
#include "gentl_core/GenTLSrvLogged.h"
#include "gentl_core/Logger.h"
#include "support/AssertionCounter.h"

namespace {

using GenTLCore::GenTLSrv;
using GenTLCore::SetLogLevelForTest;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;

char fake_text[] = "fake";

// A distinct value per parameter. Pointers other than texts point into the
// unmapped first 64 KiB, so formatting one would crash the test.
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

class CallLogTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogLevelForTest(LOG_LEVEL_INFO); }
    void TearDown() override { SetLogLevelForTest(0); }

    // The message of each captured line, checked to be a whole TLCall Info line.
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (const std::string& line : capture.Lines()) {
            EXPECT_EQ("TLCall      Info    ", line.substr(0, 20)) << line;
            EXPECT_EQ('\n', line.back()) << line;
            messages.push_back(line.substr(48, line.size() - 49));
        }
        return messages;
    }

    ::testing::StrictMock<TestSupport::MockGenTLSrv> inner;
    GenTLCore::GenTLSrvLogged front{&inner};
    TestSupport::LogCapture capture;
};

// Below Info nothing is formatted: the fake pointers would crash if read.
TEST_F(CallLogTest, BelowInfoEveryOperationForwardsItsArgumentsOnceAndReturnsTheInnerResult)
{
    GC_ERROR next_code = -5000;
    for (const uint32_t level : {0u, 3u}) {
        SetLogLevelForTest(level);
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
    }
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(CallLogTest, WithoutInnerFrontAssertsAndAnswersNotInitialized)
{
    TestSupport::AssertionCounter assertions;
    GenTLCore::GenTLSrvLogged orphan(nullptr);
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, orphan.GCInitLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, orphan.TLClose(nullptr));
}

// The level is read once per line: a change during the call leaves one line alone.
TEST_F(CallLogTest, LevelChangedDuringTheCallWritesOnlyTheLineOfTheLevelThen)
{
    EXPECT_CALL(inner, EventKill(_))
        .WillOnce([](auto) {
            SetLogLevelForTest(LOG_LEVEL_WARNING);
            return GC_ERR_SUCCESS;
        })
        .WillOnce([](auto) {
            SetLogLevelForTest(LOG_LEVEL_INFO);
            return GC_ERR_SUCCESS;
        });
    front.EventKill(reinterpret_cast<void*>(0xE0));
    front.EventKill(reinterpret_cast<void*>(0xE0));
    EXPECT_THAT(Messages(), ElementsAre("Called EventKill (hEvent=00000000000000E0)",
                                        "...returned 0 [GC_ERR_SUCCESS]"));
}

// A failed get-info call leaves the caller's type: a wider type than the
// one-byte buffer must be dumped, not read (checked by the address sanitizer).
TEST_F(CallLogTest, OutputsAreReadAfterTheCallWithinTheSizeLeft)
{
    INFO_DATATYPE type = INFO_DATATYPE_UINT64;
    auto buffer = std::make_unique<uint8_t[]>(1);
    buffer[0] = 0x2a;
    size_t size = 8;
    EXPECT_CALL(inner, DSGetInfo(_, STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size))
        .WillOnce([](auto, auto, auto, auto, size_t* s) {
            *s = 1;
            return GC_ERR_BUFFER_TOO_SMALL;
        });
    front.DSGetInfo(nullptr, STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size);
    EXPECT_EQ(
        "...returned -1016 [GC_ERR_BUFFER_TOO_SMALL], *piType=8 [INFO_DATATYPE_UINT64], "
        "*pBuffer={ 2a }, *piSize=1",
        Messages().at(1));
}

// "@" stands for the zero pointer.
std::string InfoInputs(const std::string& command_name)
{
    return "iInfoCmd=0 [" + command_name + "], piType=@, pBuffer=@, piSize=@ [{ null }]";
}
const std::string INFO_OUT = "*piType={ null }, *pBuffer={ null }, *piSize={ null }";
const std::string SIZED = "piSize=@ [{ null }]";

// Inputs and outputs of every operation called with null pointers and zero
// numbers, in the order of the function list.
const std::pair<std::string, std::string> NULL_CALL_LINES[] = {
    {InfoInputs("TL_INFO_ID"), INFO_OUT},
    {"piErrorCode=@, sErrText=@, " + SIZED, "*piErrorCode={ null }, *sErrText={ null }"},
    {"", ""},
    {"", ""},
    {"hPort=@, iAddress=0x0, pBuffer=@, " + SIZED, "*pBuffer={ null }, *piSize={ null }"},
    {"hPort=@, iAddress=0x0, *pBuffer={ null }, " + SIZED, "*piSize={ null }"},
    {"hPort=@, sURL=@, " + SIZED, "*sURL={ null }"},
    {"hPort=@, " + InfoInputs("PORT_INFO_ID"), INFO_OUT},
    {"hEventSrc=@, iEventID=0 [EVENT_ERROR], phEvent=@", "*phEvent={ null }"},
    {"hEventSrc=@, iEventID=0 [EVENT_ERROR]", ""},
    {"hEvent=@, pBuffer=@, " + SIZED + ", iTimeout=0", "*pBuffer={ null }, *piSize={ null }"},
    {"hEvent=@, *pInBuffer={ null }, iInSize=0, " + InfoInputs("EVENT_DATA_ID"), INFO_OUT},
    {"hEvent=@, " + InfoInputs("EVENT_EVENT_TYPE"), INFO_OUT},
    {"hEvent=@", ""},
    {"hEvent=@", ""},
    {"phTL=@", "*phTL={ null }"},
    {"hTL=@", ""},
    {"hTL=@, " + InfoInputs("TL_INFO_ID"), INFO_OUT},
    {"hTL=@, piNumIfaces=@", "*piNumIfaces={ null }"},
    {"hTL=@, iIndex=0, sInterfaceID=@, " + SIZED, "*sInterfaceID={ null }, *piSize={ null }"},
    {"hTL=@, " + InfoInputs("INTERFACE_INFO_ID"), INFO_OUT},
    {"hTL=@, *sIfaceID={ null }, phIface=@", "*phIface={ null }"},
    {"hTL=@, pbChanged=@, iTimeout=0", "pbChanged={ null }"},
    {"hIface=@", ""},
    {"hIface=@, " + InfoInputs("INTERFACE_INFO_ID"), INFO_OUT},
    {"hIface=@, piNumDevices=@", "*piNumDevices={ null }"},
    {"hIface=@, iIndex=0, sIDeviceID=@, " + SIZED, "*sIDeviceID={ null }, *piSize={ null }"},
    {"hIface=@, pbChanged=@, iTimeout=0", "pbChanged={ null }"},
    {"hIface=@, " + InfoInputs("DEVICE_INFO_ID"), INFO_OUT},
    {"hIface=@, *sDeviceID={ null }, iOpenFlag=0 [DEVICE_ACCESS_UNKNOWN], phDevice=@",
     "*phDevice={ null }"},
    {"hDevice=@, phRemoteDevice=@", "*phRemoteDevice={ null }"},
    {"hDevice=@, piNumDataStreams=@", "*piNumDataStreams={ null }"},
    {"hDevice=@, iIndex=0, sDataStreamID=@, " + SIZED, "*sDataStreamID={ null }, *piSize={ null }"},
    {"hDevice=@, *sDataStreamID={ null }, phDataStream=@", "*phDataStream={ null }"},
    {"hDevice=@, " + InfoInputs("DEVICE_INFO_ID"), INFO_OUT},
    {"hDevice=@", ""},
    {"hDataStream=@, pBuffer=@, iSize=0, pPrivate=@, phBuffer=@", "*phBuffer={ null }"},
    {"hDataStream=@, iSize=0, pPrivate=@, phBuffer=@", "*phBuffer={ null }"},
    {"hDataStream=@, iOperation=0 [ACQ_QUEUE_INPUT_TO_OUTPUT]", ""},
    {"hDataStream=@, iStartFlags=0 [ACQ_START_FLAGS_DEFAULT], iNumToAcquire=0", ""},
    {"hDataStream=@, iStopFlags=0 [ACQ_STOP_FLAGS_DEFAULT]", ""},
    {"hDataStream=@, " + InfoInputs("STREAM_INFO_ID"), INFO_OUT},
    {"hDataStream=@, iIndex=0, phBuffer=@", "*phBuffer={ null }"},
    {"hDataStream=@", ""},
    {"hDataStream=@, hBuffer=@, pBuffer=@, pPrivate=@", "*pBuffer={ null }, *pPrivate={ null }"},
    {"hDataStream=@, hBuffer=@", ""},
    {"hDataStream=@, hBuffer=@, " + InfoInputs("BUFFER_INFO_BASE"), INFO_OUT},
    {"hPort=@, piNumURLs=@", "*piNumURLs={ null }"},
    {"hPort=@, iURLIndex=0, " + InfoInputs("URL_INFO_URL"), INFO_OUT},
    {"hPort=@, pEntries=@, *piNumEntries={ null }", "*pEntries={ null }, *piNumEntries={ null }"},
    {"hPort=@, *pEntries={ null }, *piNumEntries={ null }", "*piNumEntries={ null }"},
    {"hDataStream=@, hBuffer=@, pChunkData=@, piNumChunks=@",
     "*pChunkData={ null }, *piNumChunks={ null }"},
    {"hIface=@, phSystem=@", "*phSystem={ null }"},
    {"hDevice=@, phIface=@", "*phIface={ null }"},
    {"hDataStream=@, phDevice=@", "*phDevice={ null }"},
    {"hDataStream=@, hBuffer=@, piNumParts=@", "*piNumParts={ null }"},
    {"hDataStream=@, hBuffer=@, iPartIndex=0, " + InfoInputs("BUFFER_PART_INFO_BASE"), INFO_OUT},
    {"hDataStream=@, iNumSegments=0, *ppSegments={ null }, *piSizes={ null }, pPrivate=@, "
     "phBuffer=@",
     "*phBuffer={ null }"},
    {"hDataStream=@, hBuffer=@, *pInfoStacked={ null }, iNumInfos=0", "*pInfoStacked={ null }"},
    {"hDataStream=@, hBuffer=@, *pInfoStacked={ null }, iNumInfos=0", "*pInfoStacked={ null }"},
    {"hDataStream=@, piNumFlows=@", "*piNumFlows={ null }"},
    {"hDataStream=@, iFlowIndex=0, " + InfoInputs("FLOW_INFO_SIZE"), INFO_OUT},
    {"hDataStream=@, hBuffer=@, piNumSegments=@", "*piNumSegments={ null }"},
    {"hDataStream=@, hBuffer=@, iSegmentIndex=0, " + InfoInputs("SEGMENT_INFO_BASE"), INFO_OUT},
};

std::string WithZeroPointers(std::string text)
{
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at))
        text.replace(at, 1, "0000000000000000");
    return text;
}

TEST_F(CallLogTest, EveryOperationWritesItsLabelledPairsInOrder)
{
    std::vector<std::string> names;
#define CALL_WITH_NULLS(name, params, args)                                     \
    EXPECT_CALL(inner, name).WillOnce(Return(-2000));                           \
    names.push_back(#name);                                                     \
    EXPECT_EQ(-2000, std::apply([this](auto... a) { return front.name(a...); }, \
                                NullArguments(&GenTLSrv::name)));
    GENTL_FUNCTION_LIST(CALL_WITH_NULLS)
#undef CALL_WITH_NULLS

    ASSERT_EQ(std::size(NULL_CALL_LINES), names.size());
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(2 * names.size(), messages.size());
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const auto& [inputs, outputs] = NULL_CALL_LINES[i];
        EXPECT_EQ("Called " + names[i] + " (" + WithZeroPointers(inputs) + ")", messages[2 * i]);
        EXPECT_EQ("...returned -2000 [Unknown]" + (outputs.empty() ? "" : ", " + outputs),
                  messages[2 * i + 1]);
    }
}

}  // namespace
