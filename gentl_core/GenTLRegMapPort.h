// GenTLRegMapPort.h: the register map behind every module's port, and the
// port that serves GenTL port reads and writes from it.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLPort.h"

namespace GenTLCore {

// ===========================================================================
// Register map
// ===========================================================================

// Custom (transport-layer-specific) registers lie wholly inside
// [CUSTOM_REGADDR_BASE, SPECIAL_REGADDR_BASE) and have ids from
// CUSTOM_REGID_BASE on; the framework's own registers lie outside that window
// and have smaller ids.
constexpr uint64_t CUSTOM_REGADDR_BASE = 0x50000000;
constexpr uint64_t SPECIAL_REGADDR_BASE = 0xA0000000;
constexpr uint32_t CUSTOM_REGID_BASE = 10000;

// Register type codes, as stored in Register::type and RegisterDefinition::type.
enum RegisterType : uint32_t {
    REG_TYPE_STRING = 0,
    REG_TYPE_UINT64 = 1,
    REG_TYPE_INT64 = 2,
    REG_TYPE_UINT32 = 3,
    REG_TYPE_INT32 = 4,
    REG_TYPE_FLOAT64 = 5,
    REG_TYPE_FLOAT32 = 6,
    REG_TYPE_RAW = 7,
    REG_TYPE_NONE = 8,  // gap filler made by FinalizeRegMap, never accessed
};

// Register access codes. Reads accept RO and RW, writes WO and RW; BY_MODULE
// is replaced per access by the module's GetAccessMode answer.
enum RegisterAccess : uint32_t {
    REG_ACCESS_RO = 0,
    REG_ACCESS_WO = 1,
    REG_ACCESS_RW = 2,
    REG_ACCESS_NA = 4,
    REG_ACCESS_BY_MODULE = 5,
};

// One register of a map. Numeric registers read and write the little-endian
// bytes of their value, string registers the characters of their text, raw
// registers their byte vector.
struct Register {
    uint64_t address = 0;
    uint64_t size = 0;  // declared length in bytes
    uint32_t access = REG_ACCESS_NA;
    uint32_t type = REG_TYPE_NONE;
    uint32_t id = 0;             // the key the accessors know the register by
    bool variable_size = false;  // writes ask the module for the current length
};

// One row of a module's register table. Numeric rows take their size from the
// type; only raw rows take the variable-size flag.
struct RegisterDefinition {
    uint32_t id;
    uint32_t type;
    uint64_t address;
    uint64_t size;
    uint32_t access;
    bool variable_size;
};

// The address-ordered set of typed registers behind a module's port. The map
// holds no values: each slice of a port access goes to the typed accessor of
// the owning module (core accessors for ids below CUSTOM_REGID_BASE, custom
// accessors for the rest), which the module overrides for the registers it
// owns.
//
// Lifetime: a base of the module. The module adds its registers while it is
// constructed, then AddCustomRegisters() and FinalizeRegMap(); the map never
// changes afterwards. Reads and writes are valid only once it is finalized.
//
// Threads and locking: no lock of its own. Reads and writes come through the
// owning port's operations, which hold that handle's recursive lock, so the
// accessors run under it.
class GenTLRegisterMap {
public:
    GenTLRegisterMap() = default;
    GenTLRegisterMap(const GenTLRegisterMap&) = delete;
    GenTLRegisterMap& operator=(const GenTLRegisterMap&) = delete;
    virtual ~GenTLRegisterMap() = default;

protected:
    // Building, before FinalizeRegMap(). A register added later, or one that
    // overlaps another, has size 0 or reaches the top of the 64-bit address
    // space, is refused with an assertion; other bad arguments (window, id,
    // access or type code) assert but still add it.
    void AddRegister(uint64_t address, uint64_t size, uint32_t access, uint32_t type, uint32_t id,
                     bool variable_size);
    void AddStringRegister(uint64_t address, uint64_t size, uint32_t access, uint32_t id);
    void AddUInt64Register(uint64_t address, uint32_t access, uint32_t id);
    void AddInt64Register(uint64_t address, uint32_t access, uint32_t id);
    void AddFloat64Register(uint64_t address, uint32_t access, uint32_t id);
    void AddUInt32Register(uint64_t address, uint32_t access, uint32_t id);
    void AddInt32Register(uint64_t address, uint32_t access, uint32_t id);
    void AddFloat32Register(uint64_t address, uint32_t access, uint32_t id);
    void AddRawRegister(uint64_t address, uint64_t size, uint32_t access, uint32_t id,
                        bool variable_size);
    void AddRegisters(std::span<const RegisterDefinition> table);
    // Runs DefineCustomRegisters() while the custom window is open.
    void AddCustomRegisters();
    // Fills every gap between registers with a not-accessible filler.
    void FinalizeRegMap();

    // Port access. `size` is left unchanged; on failure the read buffer may
    // hold the slices read before it, and registers written before it stay
    // written. Nothing is read or written when the range holds a register
    // that refuses the access.
    GC_ERROR ReadFromRegMap(uint64_t address, void* buffer, uint64_t& size);
    GC_ERROR WriteToRegMap(uint64_t address, const void* data, uint64_t& size);

    // Accessors; every default asserts and fails with GC_ERR_ERROR.
    virtual uint32_t GetAccessMode(uint32_t id);
    virtual GC_ERROR ReadRawRegister(uint32_t id, std::vector<uint8_t>& value);
    virtual GC_ERROR ReadFloat32Register(uint32_t id, float& value);
    virtual GC_ERROR ReadFloat64Register(uint32_t id, double& value);
    virtual GC_ERROR ReadInt32Register(uint32_t id, int32_t& value);
    virtual GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value);
    virtual GC_ERROR ReadInt64Register(uint32_t id, int64_t& value);
    virtual GC_ERROR ReadUInt64Register(uint32_t id, uint64_t& value);
    virtual GC_ERROR ReadStringRegister(uint32_t id, std::string& value);
    virtual GC_ERROR WriteRawRegister(uint32_t id, const std::vector<uint8_t>& value);
    virtual GC_ERROR WriteFloat32Register(uint32_t id, float value);
    virtual GC_ERROR WriteFloat64Register(uint32_t id, double value);
    virtual GC_ERROR WriteInt32Register(uint32_t id, int32_t value);
    virtual GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value);
    virtual GC_ERROR WriteInt64Register(uint32_t id, int64_t value);
    virtual GC_ERROR WriteUInt64Register(uint32_t id, uint64_t value);
    virtual GC_ERROR WriteStringRegister(uint32_t id, const std::string& value);
    // `size` comes in as the declared size.
    virtual GC_ERROR GetVariableRegisterSize(uint32_t id, uint64_t& size);

    // Adds the transport layer's registers; the default adds none.
    virtual void DefineCustomRegisters() {}
    virtual GC_ERROR ReadRawCustomRegister(uint32_t id, std::vector<uint8_t>& value);
    virtual GC_ERROR ReadFloat32CustomRegister(uint32_t id, float& value);
    virtual GC_ERROR ReadFloat64CustomRegister(uint32_t id, double& value);
    virtual GC_ERROR ReadInt32CustomRegister(uint32_t id, int32_t& value);
    virtual GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& value);
    virtual GC_ERROR ReadInt64CustomRegister(uint32_t id, int64_t& value);
    virtual GC_ERROR ReadUInt64CustomRegister(uint32_t id, uint64_t& value);
    virtual GC_ERROR ReadStringCustomRegister(uint32_t id, std::string& value);
    virtual GC_ERROR WriteRawCustomRegister(uint32_t id, const std::vector<uint8_t>& value);
    virtual GC_ERROR WriteFloat32CustomRegister(uint32_t id, float value);
    virtual GC_ERROR WriteFloat64CustomRegister(uint32_t id, double value);
    virtual GC_ERROR WriteInt32CustomRegister(uint32_t id, int32_t value);
    virtual GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t value);
    virtual GC_ERROR WriteInt64CustomRegister(uint32_t id, int64_t value);
    virtual GC_ERROR WriteUInt64CustomRegister(uint32_t id, uint64_t value);
    virtual GC_ERROR WriteStringCustomRegister(uint32_t id, const std::string& value);
    virtual GC_ERROR GetVariableCustomRegisterSize(uint32_t id, uint64_t& size);

private:
    struct Request;
    struct Slice;
    template <class T>
    struct Accessors;  // the core and custom slots serving values of type T
    using RegisterSet = std::map<uint64_t, Register>;  // keyed by address

    GC_ERROR Transfer(const Request& request);
    GC_ERROR CheckRequest(const Request& request);
    RegisterSet::const_iterator FindCovering(uint64_t address) const;
    uint32_t EffectiveAccess(const Register& reg);
    GC_ERROR ReadSlice(const Register& reg, const Slice& slice);
    GC_ERROR WriteSlice(const Register& reg, Slice slice);
    template <class T>
    GC_ERROR ReadTypedSlice(const Register& reg, const Slice& slice);
    template <class T>
    GC_ERROR WriteTypedSlice(const Register& reg, const Slice& slice);
    template <class T>
    GC_ERROR ReadNumericSlice(const Register& reg, const Slice& slice);
    template <class T>
    GC_ERROR WriteNumericSlice(const Register& reg, const Slice& slice);
    GC_ERROR ReadStringSlice(const Register& reg, const Slice& slice);
    GC_ERROR WriteStringSlice(const Register& reg, const Slice& slice);
    GC_ERROR ReadRawSlice(const Register& reg, const Slice& slice);
    GC_ERROR WriteRawSlice(const Register& reg, const Slice& slice);
    template <class T>
    GC_ERROR ReadValue(uint32_t id, T& value);
    template <class T>
    GC_ERROR WriteValue(uint32_t id, const T& value);

    // Touched by the owning module's construction only; read-only once
    // finalized.
    RegisterSet registers;
    uint64_t map_start = 0;
    uint64_t map_end = 0;  // one past the last byte
    bool finalized = false;
    bool accept_custom_regs = false;  // set only while DefineCustomRegisters() runs
};

// ===========================================================================
// Register-map port
// ===========================================================================

// A port whose address space is its own register map: port reads and writes
// go to the map, port info comes from the branding and the module's names, and
// the module's command registers run the feature-persistence and
// register-streaming sequences over the hooks below.
//
// Lifetime: as GenTLPort; the owning module builds the map in its
// FinalizeConstruction.
// Threads: any; every port operation holds handle_lock, so the map, its
// accessors and the hooks run under it.
class GenTLRegMapPort : public GenTLPort, public GenTLRegisterMap {
public:
    GC_ERROR DoReadPort(uint64_t address, void* buffer, size_t* size) override;
    GC_ERROR DoWritePort(uint64_t address, const void* data, size_t* size) override;
    GC_ERROR DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                           size_t* size) override;

protected:
    // False for a module without a port of its own: its port reads, writes
    // and info fail with GC_ERR_NOT_IMPLEMENTED.
    virtual bool ImplementsPort() { return true; }
    // The answers to PORT_INFO_MODULE and PORT_INFO_PORTNAME.
    virtual std::string GetModuleName() = 0;
    virtual std::string GetPortName() = 0;

    // Prepare: the transport layer's share first, then the core's; a core
    // refusal undoes the transport layer's share and fails with
    // GC_ERR_ACCESS_DENIED. Cleanup: the core's share, then the transport
    // layer's only when the core's succeeded; a failure is only logged.
    GC_ERROR PrepareFeaturePersistence();
    void CleanupFeaturePersistence();
    GC_ERROR PrepareRegisterStreaming();
    void CleanupRegisterStreaming();

    // The shares, each answering whether its step succeeded. Core hooks
    // belong to the framework's module classes, TL hooks to the transport
    // layer's subclasses; every default answers true.
    virtual bool PrepareCoreFeaturePersistence() { return true; }
    virtual bool CleanupCoreFeaturePersistence() { return true; }
    virtual bool PrepareCoreRegisterStreaming() { return true; }
    virtual bool CleanupCoreRegisterStreaming() { return true; }
    virtual bool PrepareTLFeaturePersistence() { return true; }
    virtual bool CleanupTLFeaturePersistence() { return true; }
    virtual bool PrepareTLRegisterStreaming() { return true; }
    virtual bool CleanupTLRegisterStreaming() { return true; }

private:
    struct MultiRegisterOperation;
    GC_ERROR RunPrepare(const MultiRegisterOperation& operation);
    void RunCleanup(const MultiRegisterOperation& operation);
};

}  // namespace GenTLCore
