#include "gentl_core/Logger.h"

#include <iomanip>
#include <new>
#include <optional>
#include <string>

#include "gentl_core/GenTLBranding.h"
#include "gentl_core/SmartPointers.h"
#include "platform/Assert.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Environment.h"
#include "platform/ThreadInfo.h"

namespace GenTLCore {
namespace {
constexpr int CATEGORY_WIDTH = 12;
constexpr int LEVEL_NAME_WIDTH = 8;
constexpr int THREAD_ID_WIDTH = 8;
constexpr int TICK_WIDTH = 16;
constexpr uint32_t LEVEL_UNCHANGED = 0xFFFFFFFFu;

void SetLogLevel(uint32_t level)
{
    LoggerDetail::global_log_level.store(level, std::memory_order_relaxed);
}

// The number in `name` by the platform's number rules, or nothing when unset.
std::optional<uint32_t> ReadNumberVariable(const std::string& name)
{
    const std::optional<std::string> value = Platform::GetEnvironmentVariable(name);
    if (!value)
        return std::nullopt;
    return Platform::ParseULong32(value->c_str());
}
}  // namespace

void SetLogLevelForTest(uint32_t level)
{
    SetLogLevel(level);
}

TLLogMessage::TLLogMessage(const char* category, int32_t level)
{
    const std::ios_base::fmtflags defaults = flags();
    *this << std::left << std::setw(CATEGORY_WIDTH) << (category != nullptr ? category : "")
          << std::setw(LEVEL_NAME_WIDTH) << LevelName(level) << std::right
          << std::setw(THREAD_ID_WIDTH) << Platform::CurrentThreadId() << std::setw(TICK_WIDTH)
          << Platform::GetTickCountMs() << "    ";
    flags(defaults);
}

TLLogMessage::~TLLogMessage()
{
    try {
        std::string line = str();
        if (line.empty() || line.back() != '\n')
            line += '\n';
        Platform::WriteDebugOutput(line);
    } catch (...) {
        // A lost log line must not take the writer down.
    }
}

const char* TLLogMessage::LevelName(int32_t level)
{
    static const char* const NAMES[] = {"*", "Error", "Warning", "Info", "Debug", "Trace"};
    constexpr int32_t COUNT = static_cast<int32_t>(sizeof(NAMES) / sizeof(NAMES[0]));
    return (level >= 1 && level <= COUNT) ? NAMES[level - 1] : "?";
}

LoggerInit* LoggerInit::Instance()
{
    static LoggerInit* const instance = new (std::nothrow) LoggerInit();
    return instance;
}

void LoggerInit::Initialize(const SharedPtr<GenTLBranding>& branding)
{
    if (!TL_ASSERT(branding))
        return;
    const std::optional<uint32_t> logging = ReadNumberVariable(branding->LoggingEnvVarName());
    if (!logging || *logging == 0)
        return;
    Platform::SetDebugOutputToStderr(true);
    const std::optional<uint32_t> level = ReadNumberVariable(branding->LogLevelEnvVarName());
    if (level && *level != LEVEL_UNCHANGED)
        SetLogLevel(*level);
}

void LoggerInit::Shutdown()
{
    SetLogLevel(0);
}

}  // namespace GenTLCore
