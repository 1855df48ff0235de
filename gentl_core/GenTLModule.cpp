// GenTLModule.cpp: the base of every GenTL module.
#include "gentl_core/GenTLModule.h"

#include "gentl_core/MiscUtils.h"

namespace GenTLCore {

GenTLModule::GenTLModule(DescriptionDocument document, const ModuleRegisterIds& ids)
    : document(document), ids(ids)
{
}

GenTLModule::GenTLModule() : document(std::nullopt), ids{} {}

void GenTLModule::FinalizeConstruction()
{
    BuildRegisterMap();
    PublishDescription();
    BuildEvents();
}

void GenTLModule::BuildRegisterMap()
{
    if (document) {
        AddRegisters(GetCoreRegisterTable());
        AddUInt32Register(MAGIC_READ_ZERO_ADDRESS, REG_ACCESS_RO, ids.magic_read_zero);
        AddUInt32Register(FEATURE_PERSISTENCE_START_ADDRESS, REG_ACCESS_WO, ids.persistence_start);
        AddUInt32Register(FEATURE_PERSISTENCE_END_ADDRESS, REG_ACCESS_WO, ids.persistence_end);
        AddUInt32Register(REGISTERS_STREAMING_START_ADDRESS, REG_ACCESS_WO, ids.streaming_start);
        AddUInt32Register(REGISTERS_STREAMING_END_ADDRESS, REG_ACCESS_WO, ids.streaming_end);
        AddStringRegister(DESCRIPTION_REGISTER_ADDRESS, GetDescriptionText(*document).size(),
                          REG_ACCESS_RO, ids.description);
        AddCustomRegisters();
    }
    FinalizeRegMap();
}

void GenTLModule::PublishDescription()
{
    if (document) SetPortURLs({MakeDescriptionURLEntry(*document)});
}

void GenTLModule::BuildEvents()
{
    FinalizeEvents(false, 0);
}

bool GenTLModule::IsOwnId(uint32_t id, uint32_t common_id) const
{
    return document && id == common_id;
}

GC_ERROR GenTLModule::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    if (!IsOwnId(id, ids.magic_read_zero)) return GenTLRegMapPort::ReadUInt32Register(id, value);
    value = 0;
    return GC_ERR_SUCCESS;
}

// The written value is not looked at: a write is the command.
GC_ERROR GenTLModule::WriteUInt32Register(uint32_t id, uint32_t value)
{
    if (IsOwnId(id, ids.persistence_start)) return PrepareFeaturePersistence();
    if (IsOwnId(id, ids.persistence_end)) {
        CleanupFeaturePersistence();
        return GC_ERR_SUCCESS;
    }
    if (IsOwnId(id, ids.streaming_start)) return PrepareRegisterStreaming();
    if (IsOwnId(id, ids.streaming_end)) {
        CleanupRegisterStreaming();
        return GC_ERR_SUCCESS;
    }
    return GenTLRegMapPort::WriteUInt32Register(id, value);
}

GC_ERROR GenTLModule::ReadStringRegister(uint32_t id, std::string& value)
{
    if (!IsOwnId(id, ids.description)) return GenTLRegMapPort::ReadStringRegister(id, value);
    value = GetDescriptionText(*document);
    return GC_ERR_SUCCESS;
}

}  // namespace GenTLCore
