// TestModule.h: a module whose registers keep their bytes by id and log each
// call the register map makes, for the port, module and register map tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "gentl_core/GenTLModule.h"

namespace TestSupport {

// Register table of a module with a document (core ids below 100, one custom register):
//   0x100  uint32  RW  id 1      0x110  string 16  RW  id 4
//   0x104  uint32  RO  id 2      0x200  uint32     RW  id 5   (gap before it)
//   0x108  uint32  WO  id 3      0x50000000 uint32 RW  id 10001 (custom)
// plus the common registers (ids 91 to 95) and the document register (id 96).
// Construct, adjust, then CompleteConstruction(). A module made without a
// document has no port and an empty map, to which a test adds registers.
//
// Event registrations run hooks named "Register<type>" and "Unregister<type>".
// Calls are logged as "r1" (read), "w1", "cr10001" (custom read), "cw10001",
// "s14" (size) or "a4" (access). An id without bytes in `values` goes to the
// module base, and so do writes of the common registers.
class TestModule : public GenTLCore::GenTLModule {
public:
    using Bytes = std::vector<uint8_t>;
    explicit TestModule(GenTLCore::DescriptionDocument document)
        : GenTLModule(document, {91, 92, 93, 94, 95, 96})
    {
    }
    TestModule() = default;

    std::string GetID() override { return "TestModuleID"; }
    using GenTLCore::GenTLModule::GetLock;
    using GenTLCore::GenTLPort::SetPortURLs;
    // clang-format off
    using GenTLRegisterMap::AddCustomRegisters, GenTLRegisterMap::AddRawRegister, GenTLRegisterMap::AddRegister,
        GenTLRegisterMap::AddRegisters, GenTLRegisterMap::AddStringRegister, GenTLRegisterMap::AddUInt32Register,
        GenTLRegisterMap::FinalizeRegMap, GenTLRegisterMap::ReadFromRegMap, GenTLRegisterMap::WriteToRegMap;

    std::map<uint32_t, Bytes> values{{1, {0x44, 0x33, 0x22, 0x11}}, {2, {0x88, 0x77, 0x66, 0x55}}, {3, Bytes(4)},
                                     {4, {'a', 'b', 'c'}}, {5, {0xCC, 0xBB, 0xAA, 0x99}}, {10001, {0x0D, 0x0C, 0x0B, 0x0A}}};
    std::vector<GenTLCore::RegisterDefinition> custom_table{{10001, GenTLCore::REG_TYPE_UINT32, 0x50000000, 4, GenTLCore::REG_ACCESS_RW, false}};
    std::map<uint32_t, uint64_t> current_sizes;  // GetVariableRegisterSize
    std::string fail_on;                         // a call answering GC_ERR_IO
    std::string calls;                           // space-separated
    // Every hook call by name, in order; hooks named here answer false.
    std::vector<std::string> hook_calls;
    std::set<std::string> refusing_hooks;
    bool implements_port = true;
    size_t module_event_size = 0;  // 0: no module events of its own

protected:
    bool ImplementsPort() override { return implements_port; }
    std::string GetModuleName() override { return "TLTest"; }
    std::string GetPortName() override { return "TestPort"; }
    std::span<const GenTLCore::RegisterDefinition> GetCoreRegisterTable() override
    {
        using namespace GenTLCore;
        static constexpr RegisterDefinition TABLE[] = {
            {1, REG_TYPE_UINT32, 0x100, 4, REG_ACCESS_RW, false}, {2, REG_TYPE_UINT32, 0x104, 4, REG_ACCESS_RO, false},
            {3, REG_TYPE_UINT32, 0x108, 4, REG_ACCESS_WO, false}, {4, REG_TYPE_STRING, 0x110, 16, REG_ACCESS_RW, false},
            {5, REG_TYPE_UINT32, 0x200, 4, REG_ACCESS_RW, false},
        };
        return TABLE;
    }
    void DefineCustomRegisters() override { AddRegisters(custom_table); }
    bool SupportsModuleEvents(size_t& max_data_size) override { return (max_data_size = module_event_size) > 0; }
    GC_ERROR OnRegisterEvent(EVENT_TYPE type) override { return Hook("Register" + std::to_string(type)) ? GC_ERR_SUCCESS : GC_ERR_IO; }
    bool OnUnregisterEvent(EVENT_TYPE type) override { return Hook("Unregister" + std::to_string(type)); }
    uint32_t GetAccessMode(uint32_t id) override { return values.count(id) ? (Log("a", id), GenTLCore::REG_ACCESS_RW) : GenTLModule::GetAccessMode(id); }
    GC_ERROR ReadRawRegister(uint32_t id, Bytes& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadRawRegister(id, v); }); }
    GC_ERROR ReadFloat32Register(uint32_t id, float& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadFloat32Register(id, v); }); }
    GC_ERROR ReadFloat64Register(uint32_t id, double& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadFloat64Register(id, v); }); }
    GC_ERROR ReadInt32Register(uint32_t id, int32_t& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadInt32Register(id, v); }); }
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadUInt32Register(id, v); }); }
    GC_ERROR ReadInt64Register(uint32_t id, int64_t& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadInt64Register(id, v); }); }
    GC_ERROR ReadUInt64Register(uint32_t id, uint64_t& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadUInt64Register(id, v); }); }
    GC_ERROR ReadStringRegister(uint32_t id, std::string& v) override { return Load("r", id, v, [&] { return GenTLModule::ReadStringRegister(id, v); }); }
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& v) override { return Load("cr", id, v, [&] { return GenTLModule::ReadUInt32CustomRegister(id, v); }); }
    GC_ERROR WriteRawRegister(uint32_t id, const Bytes& v) override { return Store("w", id, v); }
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t v) override { return id > 90 && id < 100 ? GenTLModule::WriteUInt32Register(id, v) : Store("w", id, Of(v)); }
    GC_ERROR WriteStringRegister(uint32_t id, const std::string& v) override { return Store("w", id, Bytes(v.begin(), v.end())); }
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t v) override { return Store("cw", id, Of(v)); }
    GC_ERROR GetVariableRegisterSize(uint32_t id, uint64_t& size) override { return current_sizes.count(id) ? (size = current_sizes[id], Log("s", id)) : GenTLModule::GetVariableRegisterSize(id, size); }
    // clang-format on

private:
    // clang-format off
    static Bytes Of(uint32_t value) { Bytes bytes(4); std::memcpy(bytes.data(), &value, 4); return bytes; }
    bool Hook(const std::string& name) { return hook_calls.push_back(name), !refusing_hooks.count(name); }
    // clang-format on
    GC_ERROR Log(const char* slot, uint32_t id)
    {
        const std::string call = slot + std::to_string(id);
        calls += (calls.empty() ? "" : " ") + call;
        return call == fail_on ? GC_ERR_IO : GC_ERR_SUCCESS;
    }
    template <class T, class Base>
    GC_ERROR Load(const char* slot, uint32_t id, T& value, Base base)
    {
        if (!values.count(id)) return base();
        const GC_ERROR result = Log(slot, id);
        if constexpr (std::is_arithmetic_v<T>)
            std::memcpy(&value, values[id].data(), std::min(sizeof(T), values[id].size()));
        else
            value.assign(values[id].begin(), values[id].end());
        return result;
    }
    GC_ERROR Store(const char* slot, uint32_t id, const Bytes& bytes)
    {
        const GC_ERROR result = Log(slot, id);
        if (result == GC_ERR_SUCCESS) values[id] = bytes;
        return result;
    }
};

}  // namespace TestSupport
