// The library logger's configuration file.
#include <sstream>
#include <string>

#include "sensor_library/LibraryLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    LogConfig config;
    LibraryLogger::ParseConfig(lines, config);
    return 0;
}
