// AppData.h: the per-user directory for application settings.
#pragma once

#include <string>

namespace Platform {

// $APPDATA when set (tests point it elsewhere), else $XDG_CONFIG_HOME, else
// $HOME/.config. Empty when none of them is set. Unset or empty variables are
// skipped. The directory need not exist.
std::string AppDataDir();

}  // namespace Platform
