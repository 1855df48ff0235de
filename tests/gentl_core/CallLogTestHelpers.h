// CallLogTestHelpers.h: a call-log front over a mock front, with its lines captured.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "MockGenTLSrv.h"
#include "gentl_core/GenTLSrvLogged.h"
#include "gentl_core/Logger.h"

namespace TestSupport {

// The message of each captured line, checked to be a whole TLCall Info line.
inline std::vector<std::string> CallLogMessages(const LogCapture& capture)
{
    std::vector<std::string> messages;
    for (const std::string& line : capture.Lines()) {
        EXPECT_EQ('\n', line.back()) << line;
        std::istringstream fields(line);
        std::string category;
        std::string level;
        uint64_t thread_id = 0;
        uint64_t tick = 0;
        fields >> category >> level >> thread_id >> tick;
        EXPECT_EQ("TLCall", category) << line;
        EXPECT_EQ("Info", level) << line;
        std::string rest;
        std::getline(fields, rest);
        EXPECT_EQ("    ", rest.substr(0, 4)) << line;
        messages.push_back(rest.substr(4));
    }
    return messages;
}

// A caller variable's address as the log prints it (the form itself is
// checked against hand-written values in CallLogFormatTest).
inline std::string AddressText(const void* pointer)
{
    char text[17];
    std::snprintf(text, sizeof(text), "%016" PRIXPTR, reinterpret_cast<uintptr_t>(pointer));
    return text;
}

// A handle that is never dereferenced; its text is written out in the tests.
inline void* FakeHandle(uintptr_t value)
{
    return reinterpret_cast<void*>(value);
}

class CallLogFixture : public ::testing::Test {
protected:
    void SetUp() override { GenTLCore::SetLogLevelForTest(GenTLCore::LOG_LEVEL_INFO); }

    std::vector<std::string> Messages() const { return CallLogMessages(capture); }

    ::testing::StrictMock<MockGenTLSrv> inner;
    GenTLCore::GenTLSrvLogged front{&inner};
    LogCapture capture;
};

}  // namespace TestSupport
