// ScanvoLoader.h: loads the built .cti as an application of the sensor
// library does and resolves its twenty Scanvo_ functions.
#pragma once

#include <dlfcn.h>

#include <string>

#include "sensor_library/ScanvoDLL.h"

#define SCANVO_FUNCTION_NAMES(X)                                                            \
    X(Scanvo_Connect) X(Scanvo_ConnectUDP) X(Scanvo_ConnectEx) X(Scanvo_Disconnect)         \
    X(Scanvo_GetConnectStatus) X(Scanvo_ReadData) X(Scanvo_WriteData)                       \
    X(Scanvo_GetXZIExtended) X(Scanvo_GetRangeImage) X(Scanvo_GetImage) X(Scanvo_GetRawData) \
    X(Scanvo_GetInfo) X(Scanvo_GetVersion) X(Scanvo_Linearize) X(Scanvo_SetLinearizationFile) \
    X(Scanvo_ResetDllFiFo) X(Scanvo_GetDllFiFoState) X(Scanvo_GetLinDatType)                \
    X(Scanvo_SetReadDataCallback) X(Scanvo_ConvertMmToPix)

// One pointer per function, named after it; null when not exported.
struct ScanvoFunctions {
#define SCANVO_LOADER_POINTER(name) decltype(&::name) name = nullptr;
    SCANVO_FUNCTION_NAMES(SCANVO_LOADER_POINTER)
#undef SCANVO_LOADER_POINTER
};

// dlopen of the .cti; the library stays mapped until the process ends, so
// each scenario runs in a process of its own (as the test runner does).
class ScanvoLoader {
public:
    explicit ScanvoLoader(const std::string& path) : library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        const char* reason = library == nullptr ? dlerror() : nullptr;
        problem = reason != nullptr ? reason : library == nullptr ? "dlopen failed" : "";
#define SCANVO_LOADER_RESOLVE(name) functions.name = reinterpret_cast<decltype(&::name)>(Find(#name));
        SCANVO_FUNCTION_NAMES(SCANVO_LOADER_RESOLVE)
#undef SCANVO_LOADER_RESOLVE
    }
    ~ScanvoLoader()
    {
        if (library != nullptr)
            dlclose(library);
    }
    ScanvoLoader(const ScanvoLoader&) = delete;
    ScanvoLoader& operator=(const ScanvoLoader&) = delete;

    bool IsComplete() const { return problem.empty(); }
    // Why not: the loader's message, or the names not exported.
    const std::string& Error() const { return problem; }
    const ScanvoFunctions* operator->() const { return &functions; }

private:
    void* Find(const char* name)
    {
        void* symbol = library != nullptr ? dlsym(library, name) : nullptr;
        if (library != nullptr && symbol == nullptr)
            problem += std::string(problem.empty() ? "not exported: " : " ") + name;
        return symbol;
    }

    void* library;
    std::string problem;
    ScanvoFunctions functions;
};
