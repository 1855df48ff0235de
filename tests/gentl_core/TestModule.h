// TestModule.h: a module with a small register table whose values, hooks and
// port names a test sets, for register-map port and module tests.
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
    static constexpr uint64_t FIRST_ADDRESS = 0x100;
    static constexpr GenTLCore::ModuleRegisterIds IDS{91, 92, 93, 94, 95, 96};

    explicit TestModule(GenTLCore::DescriptionDocument document);
    // A module without a port of its own, and so without URLs until SetPortURLs.
    TestModule();

    std::string GetID() override { return "TestModuleID"; }

    // Register values by id, the string register's text.
    std::map<uint32_t, uint32_t> numbers;
    std::string text;
    // Every hook call by name, in order; hooks named here answer false.
    std::vector<std::string> hook_calls;
    std::set<std::string> refusing_hooks;
    bool implements_port = true;

    using GenTLCore::GenTLModule::GetLock;
    using GenTLCore::GenTLPort::SetPortURLs;

protected:
    bool ImplementsPort() override { return implements_port; }
    std::string GetModuleName() override { return "TLTest"; }
    std::string GetPortName() override { return "TestPort"; }
    std::span<const GenTLCore::RegisterDefinition> GetCoreRegisterTable() override;
    void DefineCustomRegisters() override;

    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteStringRegister(uint32_t id, const std::string& value) override;
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value) override;
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value) override;

    bool PrepareCoreFeaturePersistence() override { return Hook("PrepareCoreFeaturePersistence"); }
    bool CleanupCoreFeaturePersistence() override { return Hook("CleanupCoreFeaturePersistence"); }
    bool PrepareCoreRegisterStreaming() override { return Hook("PrepareCoreRegisterStreaming"); }
    bool CleanupCoreRegisterStreaming() override { return Hook("CleanupCoreRegisterStreaming"); }
    bool PrepareTLFeaturePersistence() override { return Hook("PrepareTLFeaturePersistence"); }
    bool CleanupTLFeaturePersistence() override { return Hook("CleanupTLFeaturePersistence"); }
    bool PrepareTLRegisterStreaming() override { return Hook("PrepareTLRegisterStreaming"); }
    bool CleanupTLRegisterStreaming() override { return Hook("CleanupTLRegisterStreaming"); }

private:
    bool Hook(const std::string& name);
    bool Serves(uint32_t id) const { return numbers.count(id) != 0; }
};

}  // namespace TestSupport
