// gentl_consumer_demo: loads a GenTL producer (.cti) the way a consumer does,
// resolves its 64 GenTL functions, starts the library, prints its TL
// information, opens and closes the system and closes the library.
#include <dlfcn.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "GenTL.h"
#include "gentl_core/GenTLFunctionList.h"

namespace {

struct GenTLFunctions {
#define DEMO_DECLARE_POINTER(name, params, args) P##name name = nullptr;
    GENTL_FUNCTION_LIST(DEMO_DECLARE_POINTER)
#undef DEMO_DECLARE_POINTER
};

struct InfoCommand {
    TL_INFO_CMD command;
    const char* name;
};

const InfoCommand TL_INFO_COMMANDS[] = {
    {TL_INFO_ID, "TL_INFO_ID"},
    {TL_INFO_VENDOR, "TL_INFO_VENDOR"},
    {TL_INFO_MODEL, "TL_INFO_MODEL"},
    {TL_INFO_VERSION, "TL_INFO_VERSION"},
    {TL_INFO_TLTYPE, "TL_INFO_TLTYPE"},
    {TL_INFO_NAME, "TL_INFO_NAME"},
    {TL_INFO_PATHNAME, "TL_INFO_PATHNAME"},
    {TL_INFO_DISPLAYNAME, "TL_INFO_DISPLAYNAME"},
    {TL_INFO_CHAR_ENCODING, "TL_INFO_CHAR_ENCODING"},
    {TL_INFO_GENTL_VER_MAJOR, "TL_INFO_GENTL_VER_MAJOR"},
    {TL_INFO_GENTL_VER_MINOR, "TL_INFO_GENTL_VER_MINOR"},
};

// Resolves every function; answers how many were found.
int Resolve(void* cti, GenTLFunctions& gentl)
{
    int found = 0;
#define DEMO_RESOLVE(name, params, args)                           \
    gentl.name = reinterpret_cast<P##name>(dlsym(cti, #name));     \
    if (gentl.name != nullptr)                                     \
        ++found;                                                   \
    else                                                           \
        std::printf("  missing: %s\n", #name);
    GENTL_FUNCTION_LIST(DEMO_RESOLVE)
#undef DEMO_RESOLVE
    return found;
}

// Prints a call's result, with the last error when it failed; true on success.
bool Report(const GenTLFunctions& gentl, const char* call, GC_ERROR result)
{
    if (result == GC_ERR_SUCCESS) {
        std::printf("%s: ok\n", call);
        return true;
    }
    GC_ERROR code = 0;
    char text[512] = "";
    size_t size = sizeof text;
    if (gentl.GCGetLastError(&code, text, &size) != GC_ERR_SUCCESS)
        std::snprintf(text, sizeof text, "(no last error)");
    std::printf("%s: failed with %d: %s\n", call, static_cast<int>(result), text);
    return false;
}

// One info answer as text, after its data type.
std::string FormatInfo(INFO_DATATYPE type, const char* buffer, size_t size)
{
    char text[64];
    if (type == INFO_DATATYPE_STRING)
        return std::string(buffer, strnlen(buffer, size));
    if (type == INFO_DATATYPE_INT32 && size == sizeof(int32_t)) {
        int32_t value = 0;
        std::memcpy(&value, buffer, sizeof value);
        std::snprintf(text, sizeof text, "%" PRId32 " (int32)", value);
        return text;
    }
    if (type == INFO_DATATYPE_UINT32 && size == sizeof(uint32_t)) {
        uint32_t value = 0;
        std::memcpy(&value, buffer, sizeof value);
        std::snprintf(text, sizeof text, "%" PRIu32 " (uint32)", value);
        return text;
    }
    std::snprintf(text, sizeof text, "(%zu bytes of data type %d)", size, static_cast<int>(type));
    return text;
}

// Prints every TL info command through GCGetInfo, or through TLGetInfo when
// a system handle is given; true when all answered.
bool PrintTLInfo(const GenTLFunctions& gentl, TL_HANDLE system)
{
    bool all = true;
    for (const InfoCommand& info : TL_INFO_COMMANDS) {
        INFO_DATATYPE type = 0;
        char buffer[4096] = "";
        size_t size = sizeof buffer;
        const GC_ERROR result =
            system != nullptr ? gentl.TLGetInfo(system, info.command, &type, buffer, &size)
                              : gentl.GCGetInfo(info.command, &type, buffer, &size);
        if (result == GC_ERR_SUCCESS)
            std::printf("  %-24s %s\n", info.name, FormatInfo(type, buffer, size).c_str());
        else
            all = Report(gentl, info.name, result) && all;
    }
    return all;
}

// The consumer's session: start, look, open, close. True when all went well.
bool RunSession(const GenTLFunctions& gentl)
{
    if (!Report(gentl, "GCInitLib", gentl.GCInitLib()))
        return false;
    std::printf("TL information (GCGetInfo):\n");
    bool ok = PrintTLInfo(gentl, nullptr);

    TL_HANDLE system = nullptr;
    if (Report(gentl, "TLOpen", gentl.TLOpen(&system))) {
        std::printf("TL information of the system handle (TLGetInfo):\n");
        ok = PrintTLInfo(gentl, system) && ok;
        ok = Report(gentl, "TLClose", gentl.TLClose(system)) && ok;
    } else {
        ok = false;
    }
    return Report(gentl, "GCCloseLib", gentl.GCCloseLib()) && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "build/GenTesk3d.cti";
    void* cti = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (cti == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    GenTLFunctions gentl;
    const int found = Resolve(cti, gentl);
    std::printf("Loaded %s: %d of %d GenTL functions found\n", path, found, GENTL_FUNCTION_COUNT);
    const bool ok = found == GENTL_FUNCTION_COUNT && RunSession(gentl);
    dlclose(cti);
    return ok ? 0 : 1;
}
