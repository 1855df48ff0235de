#include "ScanvoLoader.h"

#include <dlfcn.h>

ScanvoLoader::ScanvoLoader(const std::string& path)
    : library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
{
    const char* reason = library == nullptr ? dlerror() : nullptr;
    problem = reason != nullptr ? reason : library == nullptr ? "dlopen failed" : "";
#define SCANVO_LOADER_RESOLVE(name) \
    functions.name = reinterpret_cast<decltype(&::name)>(Find(#name));
    SCANVO_FUNCTION_NAMES(SCANVO_LOADER_RESOLVE)
#undef SCANVO_LOADER_RESOLVE
}

ScanvoLoader::~ScanvoLoader()
{
    if (library != nullptr)
        dlclose(library);
}

void* ScanvoLoader::Find(const char* name)
{
    void* symbol = library != nullptr ? dlsym(library, name) : nullptr;
    if (library != nullptr && symbol == nullptr)
        problem += std::string(problem.empty() ? "not exported: " : " ") + name;
    return symbol;
}
