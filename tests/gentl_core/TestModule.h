// TestModule.h: a module with a small register table whose values, hooks and
// port names a test sets, for the port and module tests.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "gentl_core/GenTLModule.h"

namespace TestSupport {

// Register table (core ids below 100, one custom register):
//   0x100  uint32  RW  id 1      0x110  string 16  RW  id 4
//   0x104  uint32  RO  id 2      0x200  uint32     RW  id 5   (gap before it)
//   0x108  uint32  WO  id 3      0x50000000 uint32 RW  id 10001 (custom)
// plus the common registers (ids 91 to 95) and the document register (id 96).
// Construct, adjust, then CompleteConstruction().
class TestModule : public GenTLCore::GenTLModule {
public:
    explicit TestModule(GenTLCore::DescriptionDocument document)
        : GenTLModule(document, {91, 92, 93, 94, 95, 96})
    {
    }
    // A module without a port of its own, and so without URLs until SetPortURLs.
    TestModule() = default;

    std::string GetID() override { return "TestModuleID"; }
    using GenTLCore::GenTLModule::GetLock;
    using GenTLCore::GenTLPort::SetPortURLs;

    std::map<uint32_t, uint32_t> numbers{
        {1, 0x11223344}, {2, 0x55667788}, {3, 0}, {5, 0x99AABBCC}, {10001, 0x0A0B0C0D}};
    std::string text = "abc";  // the string register's
    // Every hook call by name, in order; hooks named here answer false.
    std::vector<std::string> hook_calls;
    std::set<std::string> refusing_hooks;
    bool implements_port = true;

protected:
    bool ImplementsPort() override { return implements_port; }
    std::string GetModuleName() override { return "TLTest"; }
    std::string GetPortName() override { return "TestPort"; }
    std::span<const GenTLCore::RegisterDefinition> GetCoreRegisterTable() override
    {
        using namespace GenTLCore;
        // clang-format off
        static constexpr RegisterDefinition TABLE[] = {
            {1, REG_TYPE_UINT32, 0x100, 4, REG_ACCESS_RW, false}, {2, REG_TYPE_UINT32, 0x104, 4, REG_ACCESS_RO, false},
            {3, REG_TYPE_UINT32, 0x108, 4, REG_ACCESS_WO, false}, {4, REG_TYPE_STRING, 0x110, 16, REG_ACCESS_RW, false},
            {5, REG_TYPE_UINT32, 0x200, 4, REG_ACCESS_RW, false},
        };
        // clang-format on
        return TABLE;
    }
    void DefineCustomRegisters() override
    {
        AddUInt32Register(0x50000000, GenTLCore::REG_ACCESS_RW, 10001);
    }
    // clang-format off
    // Ids it does not serve go to the module base.
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override
    {
        if (!numbers.count(id)) return GenTLModule::ReadUInt32Register(id, value);
        return value = numbers[id], GC_ERR_SUCCESS;
    }
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override
    {
        if (!numbers.count(id)) return GenTLModule::WriteUInt32Register(id, value);
        return numbers[id] = value, GC_ERR_SUCCESS;
    }
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override
    {
        return id == 4 ? (value = text, GC_ERR_SUCCESS) : GenTLModule::ReadStringRegister(id, value);
    }
    GC_ERROR WriteStringRegister(uint32_t id, const std::string& value) override
    {
        return id == 4 ? (text = value, GC_ERR_SUCCESS) : GenTLModule::WriteStringRegister(id, value);
    }
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value) override { return ReadUInt32Register(id, value); }
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override { return WriteUInt32Register(id, value); }
    bool PrepareCoreFeaturePersistence() override { return Hook("PrepareCoreFeaturePersistence"); }
    bool CleanupCoreFeaturePersistence() override { return Hook("CleanupCoreFeaturePersistence"); }
    bool PrepareCoreRegisterStreaming() override { return Hook("PrepareCoreRegisterStreaming"); }
    bool CleanupCoreRegisterStreaming() override { return Hook("CleanupCoreRegisterStreaming"); }
    bool PrepareTLFeaturePersistence() override { return Hook("PrepareTLFeaturePersistence"); }
    bool CleanupTLFeaturePersistence() override { return Hook("CleanupTLFeaturePersistence"); }
    bool PrepareTLRegisterStreaming() override { return Hook("PrepareTLRegisterStreaming"); }
    bool CleanupTLRegisterStreaming() override { return Hook("CleanupTLRegisterStreaming"); }
    // clang-format on

private:
    bool Hook(const std::string& name)
    {
        return hook_calls.push_back(name), !refusing_hooks.count(name);
    }
};

}  // namespace TestSupport
