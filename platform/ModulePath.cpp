#include "platform/ModulePath.h"

#include <cstdlib>
#include <memory>

#include <dlfcn.h>
#include <link.h>

namespace Platform {
namespace {
struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

std::string ResolvePath(const char* path)
{
    // realpath allocates the result itself, so no length limit applies.
    std::unique_ptr<char, FreeDeleter> resolved(::realpath(path, nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}
}  // namespace

std::string GetModulePath(const void* address)
{
    Dl_info info{};
    link_map* module = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr)
        return std::string();
    // The executable's own entry has no name (dladdr would answer argv[0]).
    if (module->l_name == nullptr || module->l_name[0] == '\0')
        return ResolvePath("/proc/self/exe");
    return ResolvePath(module->l_name);
}

}  // namespace Platform
