#include "platform/AppData.h"

#include "platform/Environment.h"

namespace Platform {

std::string AppDataDir()
{
    for (const char* name : {"APPDATA", "XDG_CONFIG_HOME"}) {
        const std::optional<std::string> value = GetEnvironmentVariable(name);
        if (value && !value->empty())
            return *value;
    }
    const std::optional<std::string> home = GetEnvironmentVariable("HOME");
    if (home && !home->empty())
        return *home + "/.config";
    return std::string();
}

}  // namespace Platform
