// A consumer process of its own for the discovery tests: loads the .cti
// named on the command line, updates the device list once and prints the
// result code, the last error's text after a failure, then each listed
// device ID, one a line.
#include <cstdio>

#include "support/CtiLoader.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    TestSupport::CtiLoader cti(argv[1]);
    if (!cti.IsComplete()) {
        std::printf("%s\n", cti.Error().c_str());
        return 3;
    }
    TL_HANDLE system = nullptr;
    IF_HANDLE iface = nullptr;
    if (cti->GCInitLib() != GC_ERR_SUCCESS || cti->TLOpen(&system) != GC_ERR_SUCCESS ||
        cti->TLUpdateInterfaceList(system, nullptr, 0) != GC_ERR_SUCCESS ||
        cti->TLOpenInterface(system, "Tesk3D_GenTL_Interface", &iface) != GC_ERR_SUCCESS)
        return 4;
    const GC_ERROR result = cti->IFUpdateDeviceList(iface, nullptr, 0);
    std::printf("%d\n", result);
    if (result != GC_ERR_SUCCESS)
        std::printf("%s\n", TestSupport::ReadLastError(cti.Functions()).text.c_str());
    uint32_t count = 0;
    cti->IFGetNumDevices(iface, &count);
    for (uint32_t i = 0; i < count; ++i) {
        char id[256] = {};
        size_t size = sizeof id;
        if (cti->IFGetDeviceID(iface, i, id, &size) == GC_ERR_SUCCESS) std::printf("%s\n", id);
    }
    cti->GCCloseLib();
    return 0;
}
