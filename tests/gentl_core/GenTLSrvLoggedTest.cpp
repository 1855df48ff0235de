// The call-log front over a mock front: forwarding, results, the level gate
// and the lines of all 64 operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
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

// The labels of a line's "label=value" pairs, without the '*' of an output.
std::string Labels(const std::string& pairs)
{
    std::string labels;
    for (size_t at = 0; at < pairs.size();) {
        const size_t end = pairs.find('=', at);
        labels += (labels.empty() ? "" : ", ") + pairs.substr(at, end - at);
        at = pairs.find(", ", end);
        at = at == std::string::npos ? pairs.size() : at + 2;
    }
    std::erase(labels, '*');
    return labels;
}

// Where the line's labels are not the parameters' names: two info calls do
// not log the ID, and the event data's outputs carry the usual names.
const std::map<std::string, std::string> LOGGED_LABELS = {
    {"TLGetInterfaceID", "(hTL, iIndex, sInterfaceID, piSize)"},
    {"TLGetInterfaceInfo", "(hTL, iInfoCmd, piType, pBuffer, piSize)"},
    {"IFGetDeviceInfo", "(hIface, iInfoCmd, piType, pBuffer, piSize)"},
    {"EventGetDataInfo", "(hEvent, pInBuffer, iInSize, iInfoCmd, piType, pBuffer, piSize)"}};

struct CallLogTest : ::testing::Test {
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

// Below Info nothing is formatted: the fake pointers would crash if read. At
// Info, null pointers and zero numbers give every form something safe to
// print; each line labels the operation's parameters in their order.
TEST_F(CallLogTest, EveryOperationForwardsItsArgumentsOnceAndLogsThemInOrderAtInfo)
{
    GC_ERROR next_code = -5000;
#define EXPECT_FORWARDED_AND_LOGGED(name, params, args)                                           \
    for (const uint32_t level : {0u, 3u, 4u}) {                                                   \
        SCOPED_TRACE(#name);                                                                      \
        SetLogLevelForTest(level);                                                                \
        const auto fake = FakeArguments(&GenTLSrv::name);                                         \
        const auto sent = level < 4 ? fake : decltype(fake){};                                    \
        const GC_ERROR code = --next_code;                                                        \
        EXPECT_CALL(inner, name).WillOnce([&sent, code](auto... received) {                       \
            EXPECT_EQ(sent, std::make_tuple(received...));                                        \
            return code;                                                                          \
        });                                                                                       \
        EXPECT_EQ(code, std::apply([this](auto... a) { return front.name(a...); }, sent));       \
    }                                                                                             \
    names.push_back({#name, #args});
    std::vector<std::pair<std::string, std::string>> names;
    GENTL_FUNCTION_LIST(EXPECT_FORWARDED_AND_LOGGED)
#undef EXPECT_FORWARDED_AND_LOGGED
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(2 * names.size(), messages.size());
    for (size_t i = 0; i < names.size(); ++i) {
        auto [name, args] = names[i];
        SCOPED_TRACE(name);
        if (LOGGED_LABELS.contains(name)) args = LOGGED_LABELS.at(name);
        const std::string& called = messages[2 * i];
        ASSERT_EQ("Called " + name + " (", called.substr(0, name.size() + 9));
        EXPECT_EQ(args, "(" + Labels(called.substr(name.size() + 9, called.size() - name.size() - 10)) + ")");
        const std::string returned = "...returned " + std::to_string(-5000 - 3 * static_cast<int>(i + 1)) + " [Unknown]";
        EXPECT_EQ(returned, messages[2 * i + 1].substr(0, returned.size()));
    }
}

TEST_F(CallLogTest, WithoutInnerFrontAssertsAndAnswersNotInitialized)
{
    TestSupport::AssertionCounter assertions;
    GenTLCore::GenTLSrvLogged orphan(nullptr);
    EXPECT_EQ(1, assertions.Failures());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, orphan.GCInitLib());
}

// The level is read once per line: a change during the call leaves one line
// alone. A failed get-info call leaves the caller's type: a wider type than
// the one-byte buffer must be dumped, not read (the address sanitizer checks).
TEST_F(CallLogTest, OutputsAreReadAfterTheCallWithinTheSizeLeftAtTheLevelThen)
{
    INFO_DATATYPE type = INFO_DATATYPE_UINT64;
    auto buffer = std::make_unique<uint8_t[]>(1);
    buffer[0] = 0x2a;
    size_t size = 8;
    EXPECT_CALL(inner, DSGetInfo(_, STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size))
        .WillOnce([](auto, auto, auto, auto, size_t* s) {
            *s = 1;
            SetLogLevelForTest(LOG_LEVEL_INFO);
            return GC_ERR_BUFFER_TOO_SMALL;
        });
    EXPECT_CALL(inner, EventKill(_)).WillOnce([](auto) {
        SetLogLevelForTest(LOG_LEVEL_WARNING);
        return GC_ERR_SUCCESS;
    });
    front.DSGetInfo(nullptr, STREAM_INFO_NUM_DELIVERED, &type, buffer.get(), &size);
    SetLogLevelForTest(LOG_LEVEL_INFO);
    front.EventKill(reinterpret_cast<void*>(0xE0));
    EXPECT_EQ(std::vector<std::string>(
                  {"...returned -1016 [GC_ERR_BUFFER_TOO_SMALL], *piType=8 [INFO_DATATYPE_UINT64], "
                   "*pBuffer={ 2a }, *piSize=1",
                   "Called EventKill (hEvent=00000000000000E0)"}),
              Messages());
}

}  // namespace
