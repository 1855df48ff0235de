// GenTLModule.h: the base of every GenTL module: a register-map port that
// publishes the module's description document, plus an event source.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "GenTL.h"
#include "gentl_core/GenTLEventSrc.h"
#include "gentl_core/GenTLPort.h"
#include "gentl_core/GenTLRegMapPort.h"

namespace GenTLCore {

// Addresses of the registers every module's map holds.
constexpr uint64_t MAGIC_READ_ZERO_ADDRESS = 0x0F000000;
constexpr uint64_t FEATURE_PERSISTENCE_START_ADDRESS = 0x0E000000;
constexpr uint64_t FEATURE_PERSISTENCE_END_ADDRESS = 0x0E000004;
constexpr uint64_t REGISTERS_STREAMING_START_ADDRESS = 0x0E000008;
constexpr uint64_t REGISTERS_STREAMING_END_ADDRESS = 0x0E00000C;

// The ids a module gives the registers every module's map holds.
struct ModuleRegisterIds {
    uint32_t magic_read_zero;    // MagicReadZero_Val, reads 0
    uint32_t persistence_start;  // DeviceFeaturePersistenceStart_Val
    uint32_t persistence_end;    // DeviceFeaturePersistenceEnd_Val
    uint32_t streaming_start;    // DeviceRegistersStreamingStart_Val
    uint32_t streaming_end;      // DeviceRegistersStreamingEnd_Val
    uint32_t description;        // the description document at DESCRIPTION_REGISTER_ADDRESS
};

// Built in two phases like every handle: the constructor, then
// CompleteConstruction, whose FinalizeConstruction builds the register map,
// publishes the document's URL entry and finalises the events; none of them
// changes afterwards. Destroyed event source first, then map, port, handle.
//
// A subclass supplies GetModuleName, GetPortName, GetID, its core register
// table and the accessors of those registers; for an id it does not serve an
// accessor calls this class's, which serves the common and document
// registers.
//
// Threads: port calls and event registration share handle_lock (GetLock), so
// every accessor and hook runs under it.
class GenTLModule : public GenTLRegMapPort, public GenTLEventSrc {
protected:
    // A module publishing `document`, its common registers under `ids`.
    GenTLModule(DescriptionDocument document, const ModuleRegisterIds& ids);
    // A module without a port of its own: its map stays empty and it has no URL.
    GenTLModule();

    Mutex& GetLock() override { return handle_lock; }

    // BuildRegisterMap, PublishDescription, BuildEvents.
    void FinalizeConstruction() override;
    // The module's own registers; the common and document registers are added
    // by BuildRegisterMap and must not be in it.
    virtual std::span<const RegisterDefinition> GetCoreRegisterTable() { return {}; }
    // The core table, the common registers, the document register, the
    // transport layer's custom registers, then FinalizeRegMap.
    void BuildRegisterMap();
    // Gives the port the document's one URL entry.
    void PublishDescription();
    // Adds the module's own events, then FinalizeEvents; the default only
    // finalises, with no forced module event.
    virtual void BuildEvents();

    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;

private:
    bool IsOwnId(uint32_t id, uint32_t common_id) const;

    // Fixed at construction; no document for a module without a port.
    const std::optional<DescriptionDocument> document;
    const ModuleRegisterIds ids;
};

}  // namespace GenTLCore
