#include "TestModule.h"

#include "GenTL.h"

using GenTLCore::RegisterDefinition;

namespace TestSupport {

namespace {

constexpr uint32_t STRING_ID = 4;

constexpr RegisterDefinition TABLE[] = {
    {1, GenTLCore::REG_TYPE_UINT32, 0x100, 4, GenTLCore::REG_ACCESS_RW, false},
    {2, GenTLCore::REG_TYPE_UINT32, 0x104, 4, GenTLCore::REG_ACCESS_RO, false},
    {3, GenTLCore::REG_TYPE_UINT32, 0x108, 4, GenTLCore::REG_ACCESS_WO, false},
    {STRING_ID, GenTLCore::REG_TYPE_STRING, 0x110, 16, GenTLCore::REG_ACCESS_RW, false},
    {5, GenTLCore::REG_TYPE_UINT32, 0x200, 4, GenTLCore::REG_ACCESS_RW, false},
};

}  // namespace

TestModule::TestModule(GenTLCore::DescriptionDocument document) : GenTLModule(document, IDS)
{
    numbers = {{1, 0x11223344}, {2, 0x55667788}, {3, 0}, {5, 0x99AABBCC}, {10001, 0x0A0B0C0D}};
    text = "abc";
}

TestModule::TestModule() : GenTLModule() {}

std::span<const RegisterDefinition> TestModule::GetCoreRegisterTable()
{
    return TABLE;
}

void TestModule::DefineCustomRegisters()
{
    AddUInt32Register(0x50000000, GenTLCore::REG_ACCESS_RW, 10001);
}

bool TestModule::Hook(const std::string& name)
{
    hook_calls.push_back(name);
    return refusing_hooks.count(name) == 0;
}

GC_ERROR TestModule::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    if (!Serves(id)) return GenTLModule::ReadUInt32Register(id, value);
    value = numbers[id];
    return GC_ERR_SUCCESS;
}

GC_ERROR TestModule::WriteUInt32Register(uint32_t id, uint32_t value)
{
    if (!Serves(id)) return GenTLModule::WriteUInt32Register(id, value);
    numbers[id] = value;
    return GC_ERR_SUCCESS;
}

GC_ERROR TestModule::ReadStringRegister(uint32_t id, std::string& value)
{
    if (id != STRING_ID) return GenTLModule::ReadStringRegister(id, value);
    value = text;
    return GC_ERR_SUCCESS;
}

GC_ERROR TestModule::WriteStringRegister(uint32_t id, const std::string& value)
{
    if (id != STRING_ID) return GenTLModule::WriteStringRegister(id, value);
    text = value;
    return GC_ERR_SUCCESS;
}

GC_ERROR TestModule::ReadUInt32CustomRegister(uint32_t id, uint32_t& value)
{
    return ReadUInt32Register(id, value);
}

GC_ERROR TestModule::WriteUInt32CustomRegister(uint32_t id, uint32_t value)
{
    return WriteUInt32Register(id, value);
}

}  // namespace TestSupport
