// CtiLoader.h: loads a built .cti the way a GenTL consumer does and resolves
// its 64 GenTL functions.
#pragma once

#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"

namespace TestSupport {

// One pointer per GenTL function, named after it; null when not exported.
struct GenTLFunctions {
#define CTI_LOADER_DECLARE_POINTER(name, params, args) P##name name = nullptr;
    GENTL_FUNCTION_LIST(CTI_LOADER_DECLARE_POINTER)
#undef CTI_LOADER_DECLARE_POINTER
};

// dlopen with RTLD_NOW | RTLD_LOCAL, dlclose when destroyed. The producer is
// linked never to unload, so its state lives on until the process ends: a
// test leaves the library closed for the next one.
//
// Usage: CtiLoader cti(GENTESK_CTI_PATH); ASSERT_TRUE(cti.IsComplete()) << cti.Error();
//        cti->GCInitLib();
class CtiLoader {
public:
    explicit CtiLoader(const std::string& path);
    ~CtiLoader();
    CtiLoader(const CtiLoader&) = delete;
    CtiLoader& operator=(const CtiLoader&) = delete;

    // Loaded and every one of the 64 functions found.
    bool IsComplete() const { return library != nullptr && missing.empty(); }
    // Why not: the loader's message or the missing names.
    std::string Error() const;

    // Any other exported symbol, or null.
    void* Symbol(const char* name) const;

    const GenTLFunctions* operator->() const { return &functions; }
    const GenTLFunctions& Functions() const { return functions; }

private:
    void* library = nullptr;
    std::string load_error;
    std::vector<std::string> missing;
    GenTLFunctions functions;
};

// The calling thread's last error as GCGetLastError gives it, read with a
// 256-byte text buffer.
struct LastError {
    GC_ERROR result = GC_ERR_ERROR;  // of GCGetLastError itself
    GC_ERROR code = 0;
    std::string text;
    size_t size = 0;
};
LastError ReadLastError(const GenTLFunctions& gentl);

}  // namespace TestSupport
