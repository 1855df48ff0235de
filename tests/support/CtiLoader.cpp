#include "CtiLoader.h"

#include <dlfcn.h>

namespace TestSupport {

CtiLoader::CtiLoader(const std::string& path)
{
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        load_error = reason != nullptr ? reason : "dlopen failed";
        return;
    }
#define CTI_LOADER_RESOLVE(name, params, args)                         \
    functions.name = reinterpret_cast<P##name>(dlsym(library, #name)); \
    if (functions.name == nullptr) missing.push_back(#name);
    GENTL_FUNCTION_LIST(CTI_LOADER_RESOLVE)
#undef CTI_LOADER_RESOLVE
}

CtiLoader::~CtiLoader()
{
    if (library != nullptr) dlclose(library);
}

void* CtiLoader::Symbol(const char* name) const
{
    return library != nullptr ? dlsym(library, name) : nullptr;
}

std::string CtiLoader::Error() const
{
    if (library == nullptr) return load_error;
    std::string text = "not exported:";
    for (const std::string& name : missing) text += " " + name;
    return text;
}

LastError ReadLastError(const GenTLFunctions& gentl)
{
    LastError error;
    char text[256] = {};
    error.size = sizeof text;
    error.result = gentl.GCGetLastError(&error.code, text, &error.size);
    error.text = text;
    return error;
}

}  // namespace TestSupport
