// ModulePath.h: where the code of this library (or any module) lies on disk.
#pragma once

#include <string>

namespace Platform {

// The absolute, symlink-free path of the loaded module (the .cti, another
// shared library or the executable) that contains `address`; empty when no
// module contains it or the path cannot be resolved.
std::string GetModulePath(const void* address);

// The same for the module holding the code of `function`.
template <class Result, class... Args>
std::string GetModulePath(Result (*function)(Args...))
{
    return GetModulePath(reinterpret_cast<const void*>(function));
}

}  // namespace Platform
