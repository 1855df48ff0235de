// Linked into the executables that run once more as <name>.logged: turns the
// framework's log on at the level GENTESK_TEST_LOG_LEVEL names, as GCInitLib
// does for a consumer that sets ZOTL_LOGGING, so that cases which build
// modules directly format every log statement they pass too.
#include <cstdlib>

#include "gentl_core/Logger.h"
#include "platform/DebugOutput.h"

namespace {

const bool LOG_ON = [] {
    const char* level = std::getenv("GENTESK_TEST_LOG_LEVEL");
    if (level == nullptr)
        return false;
    Platform::SetDebugOutputToStderr(true);
    GenTLCore::SetLogLevelForTest(static_cast<uint32_t>(std::strtoul(level, nullptr, 10)));
    return true;
}();

}  // namespace
