// Logger.h: the framework's diagnostic lines, written to the debug output
// when the process-wide log level lets them through.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <sstream>

#include "gentl_core/GenTLCore.h"

namespace GenTLCore {

// The first field of a line: the part of the framework that wrote it.
inline constexpr const char* LOG_CATEGORY_TLCALL = "TLCall";
inline constexpr const char* LOG_CATEGORY_TLERR = "TLErr";
inline constexpr const char* LOG_CATEGORY_LIBRARY = "Library";
inline constexpr const char* LOG_CATEGORY_HPOOL = "HPool";
inline constexpr const char* LOG_CATEGORY_INTERFACE = "Interface";
inline constexpr const char* LOG_CATEGORY_DEVDISC = "DevDisc";
inline constexpr const char* LOG_CATEGORY_LOCDEV = "Locdev";
inline constexpr const char* LOG_CATEGORY_STREAM = "Stream";
inline constexpr const char* LOG_CATEGORY_BUFFER = "Buffer";
inline constexpr const char* LOG_CATEGORY_EVENT = "Event";
inline constexpr const char* LOG_CATEGORY_CONTROL = "Control";
inline constexpr const char* LOG_CATEGORY_LOWLEVEL = "LowLevel";
inline constexpr const char* LOG_CATEGORY_ASSERT = "Assert";

// A line of level N is written when the global level is N or more.
inline constexpr uint32_t LOG_LEVEL_ALWAYS = 1;
inline constexpr uint32_t LOG_LEVEL_ERROR = 2;
inline constexpr uint32_t LOG_LEVEL_WARNING = 3;
inline constexpr uint32_t LOG_LEVEL_INFO = 4;
inline constexpr uint32_t LOG_LEVEL_DEBUG = 5;
inline constexpr uint32_t LOG_LEVEL_TRACE = 6;

namespace LoggerDetail {
// 0 (nothing logged) from load until LoggerInit::Initialize; 0 again after
// LoggerInit::Shutdown. Read without a lock by every writer.
inline std::atomic<uint32_t> global_log_level{0};

// Turns the finished stream expression into void, so TL_LOG's two branches match.
struct EndOfLine {
    void operator&(std::ostream&) const {}
};
}  // namespace LoggerDetail

inline uint32_t GetLogLevel()
{
    return LoggerDetail::global_log_level.load(std::memory_order_relaxed);
}

// Tests only: the level normally comes from the environment at start-up.
void SetLogLevelForTest(uint32_t level);

// One log line: the constructor writes the prefix (category, level name,
// thread id, millisecond tick), the writer streams the message, and the
// destructor sends the whole line to the debug output in one piece.
// A private object of its writer; never shared between threads. Logging never
// throws out of the destructor and never reports a failure.
class TLLogMessage : public std::ostringstream {
public:
    TLLogMessage(const char* category, int32_t level);
    ~TLLogMessage() override;
    TLLogMessage(const TLLogMessage&) = delete;
    TLLogMessage& operator=(const TLLogMessage&) = delete;

    // Lets a temporary take every stream operator (see TL_LOG).
    std::ostream& Stream() { return *this; }

    // "*", "Error", "Warning", "Info", "Debug", "Trace" for 1 to 6, else "?".
    static const char* LevelName(int32_t level);
};

// Start-up singleton that sets the global log level from the environment.
//
// Lifetime: created on the heap by the first Instance() call (the core start),
// Initialize()d once during load, Shutdown() first at unload, deleted by the
// core teardown. Holds no data.
// Threads: both operations run in the loader's thread only.
class LoggerInit : public StaticInitializationHelper {
public:
    // The one instance; null only when its allocation failed.
    static LoggerInit* Instance();

    // The level stays 0 unless the branding's logging variable holds a
    // nonzero number; then it is the number in its log-level variable,
    // unless that is unset or 0xFFFFFFFF.
    void Initialize(const SharedPtr<GenTLBranding>& branding) override;
    // Level 0: nothing is logged while the framework is torn down.
    void Shutdown() override;

private:
    LoggerInit() = default;
};

}  // namespace GenTLCore

// Code outside the framework's namespace (tests, the exports) uses the plain names.
using GenTLCore::LOG_CATEGORY_ASSERT;
using GenTLCore::LOG_CATEGORY_BUFFER;
using GenTLCore::LOG_CATEGORY_CONTROL;
using GenTLCore::LOG_CATEGORY_DEVDISC;
using GenTLCore::LOG_CATEGORY_EVENT;
using GenTLCore::LOG_CATEGORY_HPOOL;
using GenTLCore::LOG_CATEGORY_INTERFACE;
using GenTLCore::LOG_CATEGORY_LIBRARY;
using GenTLCore::LOG_CATEGORY_LOCDEV;
using GenTLCore::LOG_CATEGORY_LOWLEVEL;
using GenTLCore::LOG_CATEGORY_STREAM;
using GenTLCore::LOG_CATEGORY_TLCALL;
using GenTLCore::LOG_CATEGORY_TLERR;
using GenTLCore::LOG_LEVEL_ALWAYS;
using GenTLCore::LOG_LEVEL_DEBUG;
using GenTLCore::LOG_LEVEL_ERROR;
using GenTLCore::LOG_LEVEL_INFO;
using GenTLCore::LOG_LEVEL_TRACE;
using GenTLCore::LOG_LEVEL_WARNING;

// Writes one line of `category` at `level` when the global level allows it:
//     TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_DEBUG) << "StopAcquisition: " << n << " buffers";
// The level is tested before the message is built, so a disabled line costs
// one comparison. A missing final newline is added. The macro is one
// expression, so it nests under an unbraced if like any other statement.
#define TL_LOG(category, level)                                                            \
    (::GenTLCore::GetLogLevel() < static_cast<uint32_t>(level))                            \
        ? static_cast<void>(0)                                                             \
        : ::GenTLCore::LoggerDetail::EndOfLine() &                                         \
              ::GenTLCore::TLLogMessage((category), static_cast<int32_t>(level)).Stream()
