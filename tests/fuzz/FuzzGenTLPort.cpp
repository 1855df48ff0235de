// GenTL port and info calls with any address, size and command, on the
// system and the first interface, opened once for the whole run. The input
// is a list of calls.
#include <vector>

#include "FuzzInput.h"
#include "include/GenTL.h"

namespace {

struct Handles {
    Handles()
    {
        GCInitLib();
        TLOpen(&system);
        bool8_t changed = 0;
        TLUpdateInterfaceList(system, &changed, 0);
        char id[256] = {};
        size_t size = sizeof(id);
        if (TLGetInterfaceID(system, 0, id, &size) == GC_ERR_SUCCESS)
            TLOpenInterface(system, id, &interface);
    }
    TL_HANDLE system = nullptr;
    IF_HANDLE interface = nullptr;
};

void Call(const Handles& handles, FuzzInput& input)
{
    const uint8_t op = input.Take<uint8_t>();
    const PORT_HANDLE port = op & 0x10 ? handles.interface : handles.system;
    const uint32_t command = input.Take<uint32_t>();
    const uint64_t address = input.Take<uint64_t>();
    const uint16_t room = input.Take<uint16_t>();
    std::vector<uint8_t> buffer(room);
    for (auto& byte : buffer)
        byte = input.Take<uint8_t>();
    // Bit 5: no buffer; bit 6: no size.
    void* data = op & 0x20 ? nullptr : buffer.data();
    size_t size = room;
    size_t* size_pointer = op & 0x40 ? nullptr : &size;
    INFO_DATATYPE type = 0;
    switch (op & 0x0F) {
    case 0: GCReadPort(port, address, data, size_pointer); break;
    case 1: GCWritePort(port, address, data, size_pointer); break;
    case 2: GCGetPortInfo(port, static_cast<PORT_INFO_CMD>(command), &type, data, size_pointer); break;
    case 3: GCGetInfo(static_cast<TL_INFO_CMD>(command), &type, data, size_pointer); break;
    case 4: TLGetInfo(handles.system, static_cast<TL_INFO_CMD>(command), &type, data, size_pointer); break;
    case 5: IFGetInfo(handles.interface, static_cast<INTERFACE_INFO_CMD>(command), &type, data, size_pointer); break;
    case 6: GCGetPortURLInfo(port, command & 3, static_cast<URL_INFO_CMD>(address), &type, data, size_pointer); break;
    default: {
        uint32_t urls = 0;
        GCGetNumPortURLs(port, &urls);
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static const Handles handles;
    FuzzInput input(data, size);
    for (int calls = 0; calls < 16 && input.RestSize() > 0; ++calls)
        Call(handles, input);
    return 0;
}
