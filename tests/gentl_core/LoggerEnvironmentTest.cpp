#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "gentl_core/GenTLBranding.h"
#include "gentl_core/Logger.h"
#include "gentl_core/SmartPointers.h"
#include "platform/Assert.h"
#include "platform/Environment.h"

namespace {

using GenTLCore::GetLogLevel;
using GenTLCore::LoggerInit;
using GenTLCore::SetLogLevelForTest;

constexpr const char* LOGGING_VARIABLE = "ZOTL_LOGGING";
constexpr const char* LEVEL_VARIABLE = "ZOTL_LOG_LEVEL";

// Names the two variables as the sensor-specific branding does.
class LoggingBranding : public GenTLCore::DefaultBranding {
public:
    std::string LoggingEnvVarName() const override { return LOGGING_VARIABLE; }
    std::string LogLevelEnvVarName() const override { return LEVEL_VARIABLE; }
};

GenTLCore::SharedPtr<GenTLCore::GenTLBranding> MakeBranding()
{
    return GenTLCore::SharedPtr<GenTLCore::GenTLBranding>(new LoggingBranding);
}

void SetVariables(const std::optional<std::string>& logging, const std::optional<std::string>& level)
{
    Platform::SetEnvironmentVariableForTest(LOGGING_VARIABLE, logging);
    Platform::SetEnvironmentVariableForTest(LEVEL_VARIABLE, level);
}

struct EnvironmentCase {
    std::optional<std::string> logging;
    std::optional<std::string> level;
    uint32_t expected_level;
};

void PrintTo(const EnvironmentCase& c, std::ostream* os)
{
    *os << (c.logging ? '"' + *c.logging + '"' : std::string("unset")) << " / "
        << (c.level ? '"' + *c.level + '"' : std::string("unset")) << " -> " << c.expected_level;
}

// Every case starts from level 3, so "left unchanged" (3) and "set to 0" differ.
constexpr uint32_t LEVEL_BEFORE = 3;
const std::optional<std::string> UNSET;

// LoggerInit::Initialize: the level comes from the branding's two variables.
class LogLevelFromEnvironmentTest : public ::testing::TestWithParam<EnvironmentCase> {};

TEST_P(LogLevelFromEnvironmentTest, SetsOrKeepsTheLevel)
{
    SetVariables(GetParam().logging, GetParam().level);
    SetLogLevelForTest(LEVEL_BEFORE);
    LoggerInit::Instance()->Initialize(MakeBranding());
    EXPECT_EQ(GetParam().expected_level, GetLogLevel());
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogLevelFromEnvironmentTest,
    ::testing::Values(EnvironmentCase{UNSET, UNSET, LEVEL_BEFORE},
                      EnvironmentCase{UNSET, "6", LEVEL_BEFORE},
                      EnvironmentCase{"0", "6", LEVEL_BEFORE},
                      EnvironmentCase{"", "6", LEVEL_BEFORE},
                      EnvironmentCase{"on", "6", LEVEL_BEFORE},
                      EnvironmentCase{"1", UNSET, LEVEL_BEFORE},
                      EnvironmentCase{"0x10", "4", 4},
                      EnvironmentCase{"-1", "5", 5},
                      EnvironmentCase{"1", "010", 8},
                      EnvironmentCase{"1", "0", 0},
                      EnvironmentCase{"1", "", 0},
                      EnvironmentCase{"1", "abc", 0},
                      EnvironmentCase{"1", "4294967294", 4294967294u},
                      EnvironmentCase{"1", "4294967295", LEVEL_BEFORE},
                      EnvironmentCase{"1", "0xFFFFFFFF", LEVEL_BEFORE},
                      EnvironmentCase{"1", "-1", LEVEL_BEFORE},
                      EnvironmentCase{"1", "4294967296", LEVEL_BEFORE},
                      EnvironmentCase{"1", "4294967297", LEVEL_BEFORE}));

// The level before and after the configured life of the library.
class LogLevelLifecycleTest : public ::testing::Test {};

TEST_F(LogLevelLifecycleTest, LevelIsZeroAtLoad)
{
    EXPECT_EQ(0u, GetLogLevel());
}

TEST_F(LogLevelLifecycleTest, ShutdownSilencesTheLog)
{
    SetVariables("1", "6");
    LoggerInit* logger = LoggerInit::Instance();
    ASSERT_NE(nullptr, logger);
    logger->Initialize(MakeBranding());
    ASSERT_EQ(6u, GetLogLevel());
    logger->Shutdown();
    EXPECT_EQ(0u, GetLogLevel());
}

int assertion_failures = 0;
void CountAssertion(const char*, const char*, int)
{
    ++assertion_failures;
}

TEST_F(LogLevelLifecycleTest, MissingBrandingAssertsAndChangesNothing)
{
    SetVariables("1", "6");
    Platform::AssertionHook previous = Platform::SetAssertionHookForTest(&CountAssertion);
    LoggerInit::Instance()->Initialize(GenTLCore::SharedPtr<GenTLCore::GenTLBranding>());
    Platform::SetAssertionHookForTest(previous);
    EXPECT_EQ(1, assertion_failures);
    EXPECT_EQ(0u, GetLogLevel());
}

}  // namespace
