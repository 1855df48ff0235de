// GenTLRegMapPort.cpp: the register map behind every module's port, and the
// port that serves GenTL port reads and writes from it.
#include "gentl_core/GenTLRegMapPort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {

// ===========================================================================
// Register map
// ===========================================================================

static_assert(std::endian::native == std::endian::little,
              "numeric registers expose the in-memory bytes of their value");

// One port read or write, after the port has checked its arguments.
struct GenTLRegisterMap::Request {
    uint64_t address = 0;
    uint64_t size = 0;
    uint8_t* destination = nullptr;   // reads
    const uint8_t* source = nullptr;  // writes
    bool write = false;
};

// The part of a request that falls into one register.
struct GenTLRegisterMap::Slice {
    uint64_t offset = 0;  // from the register's first byte
    uint64_t length = 0;
    uint8_t* destination = nullptr;   // reads
    const uint8_t* source = nullptr;  // writes
    bool whole = false;               // writes: the register's entire current content
    bool read_modify_write = false;   // writes: a partial write may read the value first
};

namespace {

template <auto READ_CORE, auto READ_CUSTOM, auto WRITE_CORE, auto WRITE_CUSTOM>
struct AccessorSlots {
    static constexpr auto read_core = READ_CORE;
    static constexpr auto read_custom = READ_CUSTOM;
    static constexpr auto write_core = WRITE_CORE;
    static constexpr auto write_custom = WRITE_CUSTOM;
};

}  // namespace

using RegMap = GenTLRegisterMap;
// clang-format off
template <> struct RegMap::Accessors<std::vector<uint8_t>> : AccessorSlots<&RegMap::ReadRawRegister, &RegMap::ReadRawCustomRegister, &RegMap::WriteRawRegister, &RegMap::WriteRawCustomRegister> {};
template <> struct RegMap::Accessors<float> : AccessorSlots<&RegMap::ReadFloat32Register, &RegMap::ReadFloat32CustomRegister, &RegMap::WriteFloat32Register, &RegMap::WriteFloat32CustomRegister> {};
template <> struct RegMap::Accessors<double> : AccessorSlots<&RegMap::ReadFloat64Register, &RegMap::ReadFloat64CustomRegister, &RegMap::WriteFloat64Register, &RegMap::WriteFloat64CustomRegister> {};
template <> struct RegMap::Accessors<int32_t> : AccessorSlots<&RegMap::ReadInt32Register, &RegMap::ReadInt32CustomRegister, &RegMap::WriteInt32Register, &RegMap::WriteInt32CustomRegister> {};
template <> struct RegMap::Accessors<uint32_t> : AccessorSlots<&RegMap::ReadUInt32Register, &RegMap::ReadUInt32CustomRegister, &RegMap::WriteUInt32Register, &RegMap::WriteUInt32CustomRegister> {};
template <> struct RegMap::Accessors<int64_t> : AccessorSlots<&RegMap::ReadInt64Register, &RegMap::ReadInt64CustomRegister, &RegMap::WriteInt64Register, &RegMap::WriteInt64CustomRegister> {};
template <> struct RegMap::Accessors<uint64_t> : AccessorSlots<&RegMap::ReadUInt64Register, &RegMap::ReadUInt64CustomRegister, &RegMap::WriteUInt64Register, &RegMap::WriteUInt64CustomRegister> {};
template <> struct RegMap::Accessors<std::string> : AccessorSlots<&RegMap::ReadStringRegister, &RegMap::ReadStringCustomRegister, &RegMap::WriteStringRegister, &RegMap::WriteStringCustomRegister> {};
// clang-format on

namespace {

struct RequestTexts {
    const char* no_bytes;
    const char* out_of_bounds;
    const char* zero_size;
    const char* denied;
};

constexpr RequestTexts READ_TEXTS{
    "The read request has no buffer.",
    "The read request exceeds bounds of the register map.",
    "The read request of zero size required.",
    "The read request contains unreadable register(s).",
};
constexpr RequestTexts WRITE_TEXTS{
    "The write request has no data.",
    "The write request exceeds bounds of the register map.",
    "The write request of zero size required.",
    "The write request contains unwritable register(s).",
};

bool IsCustomId(uint32_t id) { return id >= CUSTOM_REGID_BASE; }

bool Covers(const Register& reg, uint64_t address)
{
    return address >= reg.address && address - reg.address < reg.size;
}

// Whether `held` bytes reach over [offset, offset + length).
bool Holds(uint64_t held, uint64_t offset, uint64_t length)
{
    return offset <= held && length <= held - offset;
}

GC_ERROR InternalAccessError() { return ReportError(GC_ERR_ERROR, "Internal register access error"); }

GC_ERROR PartialWriteDenied(const char* kind)
{
    return ReportError(GC_ERR_ACCESS_DENIED, std::string("The partial write request not possible on unreadable  ") +
                                                 kind + " register (read-modify-write needed).");
}

// Body of every accessor the module has not overridden: it declared a register
// it does not serve.
GC_ERROR UnexpectedAccess(bool custom, const char* kind, const char* action)
{
    if (custom)
        (void)TL_ASSERT_MSG(false, "Unexpected custom register access");
    else
        (void)TL_ASSERT_MSG(false, "Unexpected register access");
    return ReportError(GC_ERR_ERROR, std::string("Internal error: unexpected ") + kind +
                                         (custom ? " custom register " : " register ") + action);
}

// Calls `visit` with std::type_identity of the accessor value type of `type`.
template <class Visit>
GC_ERROR VisitValueType(uint32_t type, Visit&& visit)
{
    switch (type) {
        case REG_TYPE_STRING: return visit(std::type_identity<std::string>{});
        case REG_TYPE_UINT64: return visit(std::type_identity<uint64_t>{});
        case REG_TYPE_INT64: return visit(std::type_identity<int64_t>{});
        case REG_TYPE_UINT32: return visit(std::type_identity<uint32_t>{});
        case REG_TYPE_INT32: return visit(std::type_identity<int32_t>{});
        case REG_TYPE_FLOAT64: return visit(std::type_identity<double>{});
        case REG_TYPE_FLOAT32: return visit(std::type_identity<float>{});
        case REG_TYPE_RAW: return visit(std::type_identity<std::vector<uint8_t>>{});
        default:
            (void)TL_ASSERT_MSG(false, "Unknown register type");
            return InternalAccessError();
    }
}

}  // namespace

// --- Building ---------------------------------------------------------------

void GenTLRegisterMap::AddRegister(uint64_t address, uint64_t size, uint32_t access, uint32_t type,
                                   uint32_t id, bool variable_size)
{
    if (!TL_ASSERT(!finalized)) return;
    // Refused outright, as the address order of the set relies on them.
    if (!TL_ASSERT(UINT64_MAX - address > size) || !TL_ASSERT(size != 0)) return;
    const auto next = registers.lower_bound(address);
    const bool overlaps_next = next != registers.end() && next->first - address < size;
    const bool overlaps_previous = next != registers.begin() && Covers(std::prev(next)->second, address);
    if (!TL_ASSERT_MSG(!overlaps_next && !overlaps_previous, "Register not unique")) return;

    registers.emplace_hint(next, address, Register{address, size, access, type, id, variable_size});
    if (accept_custom_regs) {
        (void)TL_ASSERT(address >= CUSTOM_REGADDR_BASE && address + size <= SPECIAL_REGADDR_BASE);
        (void)TL_ASSERT(id >= CUSTOM_REGID_BASE);
    } else {
        (void)TL_ASSERT(address >= SPECIAL_REGADDR_BASE || address + size <= CUSTOM_REGADDR_BASE);
        (void)TL_ASSERT(id < CUSTOM_REGID_BASE);
    }
    (void)TL_ASSERT_MSG(access <= REG_ACCESS_BY_MODULE, "Invalid register access mode");
    (void)TL_ASSERT_MSG(type <= REG_TYPE_RAW, "Invalid register type mode");
}

void GenTLRegisterMap::AddStringRegister(uint64_t address, uint64_t size, uint32_t access,
                                         uint32_t id)
{
    AddRegister(address, size, access, REG_TYPE_STRING, id, false);
}

void GenTLRegisterMap::AddUInt64Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(uint64_t), access, REG_TYPE_UINT64, id, false);
}

void GenTLRegisterMap::AddInt64Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(int64_t), access, REG_TYPE_INT64, id, false);
}

void GenTLRegisterMap::AddFloat64Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(double), access, REG_TYPE_FLOAT64, id, false);
}

void GenTLRegisterMap::AddUInt32Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(uint32_t), access, REG_TYPE_UINT32, id, false);
}

void GenTLRegisterMap::AddInt32Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(int32_t), access, REG_TYPE_INT32, id, false);
}

void GenTLRegisterMap::AddFloat32Register(uint64_t address, uint32_t access, uint32_t id)
{
    AddRegister(address, sizeof(float), access, REG_TYPE_FLOAT32, id, false);
}

void GenTLRegisterMap::AddRawRegister(uint64_t address, uint64_t size, uint32_t access, uint32_t id,
                                      bool variable_size)
{
    AddRegister(address, size, access, REG_TYPE_RAW, id, variable_size);
}

void GenTLRegisterMap::AddRegisters(std::span<const RegisterDefinition> table)
{
    for (const RegisterDefinition& row : table) {
        switch (row.type) {
            case REG_TYPE_STRING: AddStringRegister(row.address, row.size, row.access, row.id); break;
            case REG_TYPE_UINT64: AddUInt64Register(row.address, row.access, row.id); break;
            case REG_TYPE_INT64: AddInt64Register(row.address, row.access, row.id); break;
            case REG_TYPE_UINT32: AddUInt32Register(row.address, row.access, row.id); break;
            case REG_TYPE_INT32: AddInt32Register(row.address, row.access, row.id); break;
            case REG_TYPE_FLOAT64: AddFloat64Register(row.address, row.access, row.id); break;
            case REG_TYPE_FLOAT32: AddFloat32Register(row.address, row.access, row.id); break;
            case REG_TYPE_RAW:
                AddRawRegister(row.address, row.size, row.access, row.id, row.variable_size);
                break;
            default:
                (void)TL_ASSERT_MSG(false, "Attempt to add register of unknown type");
                break;
        }
    }
}

void GenTLRegisterMap::AddCustomRegisters()
{
    if (!TL_ASSERT(!accept_custom_regs)) return;
    accept_custom_regs = true;
    DefineCustomRegisters();
    accept_custom_regs = false;
}

void GenTLRegisterMap::FinalizeRegMap()
{
    for (auto it = registers.begin(); it != registers.end() && std::next(it) != registers.end(); ++it) {
        const auto next = std::next(it);
        const uint64_t end = it->first + it->second.size;
        if (end < next->first)
            registers.emplace_hint(next, end,
                                   Register{end, next->first - end, REG_ACCESS_NA, REG_TYPE_NONE, 0, false});
    }
    if (!registers.empty()) {
        const Register& last = registers.rbegin()->second;
        map_start = registers.begin()->first;
        map_end = last.address + last.size;
    }
    finalized = true;
}

// --- Port access ------------------------------------------------------------

GC_ERROR GenTLRegisterMap::ReadFromRegMap(uint64_t address, void* buffer, uint64_t& size)
{
    return Transfer({address, size, static_cast<uint8_t*>(buffer), nullptr, false});
}

GC_ERROR GenTLRegisterMap::WriteToRegMap(uint64_t address, const void* data, uint64_t& size)
{
    return Transfer({address, size, nullptr, static_cast<const uint8_t*>(data), true});
}

GC_ERROR GenTLRegisterMap::Transfer(const Request& request)
{
    GC_ERROR result = CheckRequest(request);
    if (result != GC_ERR_SUCCESS) return result;
    auto it = FindCovering(request.address);
    uint64_t done = 0;
    while (done < request.size) {
        const uint64_t address = request.address + done;
        if (!TL_ASSERT(it != registers.end() && Covers(it->second, address))) return InternalAccessError();
        const Register& reg = it->second;
        Slice slice;
        slice.offset = address - reg.address;
        slice.length = std::min(request.size - done, reg.size - slice.offset);
        if (request.write) {
            slice.source = request.source + done;
            result = WriteSlice(reg, slice);
        } else {
            slice.destination = request.destination + done;
            result = ReadSlice(reg, slice);
        }
        if (result != GC_ERR_SUCCESS) return result;
        done += slice.length;
        ++it;
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRegisterMap::CheckRequest(const Request& request)
{
    const RequestTexts& texts = request.write ? WRITE_TEXTS : READ_TEXTS;
    // Not fatal: an unfinalized map has an empty range, which refuses every request.
    (void)TL_ASSERT(finalized);
    const void* bytes = request.write ? static_cast<const void*>(request.source) : request.destination;
    if (bytes == nullptr)
        return ReportError(GC_ERR_INVALID_BUFFER, texts.no_bytes);
    // Compared without forming address + size, which could wrap into the map.
    if (request.address < map_start || request.address > map_end ||
        request.size > map_end - request.address)
        return ReportError(GC_ERR_INVALID_ADDRESS, texts.out_of_bounds);
    if (request.size == 0) return ReportError(GC_ERR_INVALID_PARAMETER, texts.zero_size);

    const uint32_t one_way = request.write ? REG_ACCESS_WO : REG_ACCESS_RO;
    const uint64_t end = request.address + request.size;
    for (auto it = FindCovering(request.address); it != registers.end() && it->first < end; ++it) {
        const uint32_t access = EffectiveAccess(it->second);
        if (access != one_way && access != REG_ACCESS_RW)
            return ReportError(GC_ERR_ACCESS_DENIED, texts.denied);
    }
    return GC_ERR_SUCCESS;
}

GenTLRegisterMap::RegisterSet::const_iterator GenTLRegisterMap::FindCovering(uint64_t address) const
{
    auto it = registers.upper_bound(address);
    if (it == registers.begin()) return registers.end();
    --it;
    return Covers(it->second, address) ? it : registers.end();
}

uint32_t GenTLRegisterMap::EffectiveAccess(const Register& reg)
{
    return reg.access == REG_ACCESS_BY_MODULE ? GetAccessMode(reg.id) : reg.access;
}

GC_ERROR GenTLRegisterMap::ReadSlice(const Register& reg, const Slice& slice)
{
    return VisitValueType(reg.type, [&](auto tag) {
        return ReadTypedSlice<typename decltype(tag)::type>(reg, slice);
    });
}

GC_ERROR GenTLRegisterMap::WriteSlice(const Register& reg, Slice slice)
{
    uint64_t current_size = reg.size;
    if (reg.variable_size) {
        const GC_ERROR result = IsCustomId(reg.id) ? GetVariableCustomRegisterSize(reg.id, current_size)
                                                   : GetVariableRegisterSize(reg.id, current_size);
        if (result != GC_ERR_SUCCESS) return result;
    }
    // The slice was cut at the declared size. A current size that would cut it
    // elsewhere would make the next slice start inside this register.
    if (current_size > reg.size || slice.offset + slice.length > current_size)
        return ReportError(GC_ERR_INVALID_ADDRESS,
                           "The write request exceeds the current size of a variable-size register.");
    slice.whole = slice.offset == 0 && slice.length == current_size;
    // The stored code, not the module's answer: a register decided by the
    // module never takes a read-modify-write.
    slice.read_modify_write = reg.access == REG_ACCESS_RW;
    return VisitValueType(reg.type, [&](auto tag) {
        return WriteTypedSlice<typename decltype(tag)::type>(reg, slice);
    });
}

template <class T>
GC_ERROR GenTLRegisterMap::ReadValue(uint32_t id, T& value)
{
    const auto slot = IsCustomId(id) ? Accessors<T>::read_custom : Accessors<T>::read_core;
    return (this->*slot)(id, value);
}

template <class T>
GC_ERROR GenTLRegisterMap::WriteValue(uint32_t id, const T& value)
{
    const auto slot = IsCustomId(id) ? Accessors<T>::write_custom : Accessors<T>::write_core;
    return (this->*slot)(id, value);
}

template <class T>
GC_ERROR GenTLRegisterMap::ReadTypedSlice(const Register& reg, const Slice& slice)
{
    if constexpr (std::is_same_v<T, std::string>)
        return ReadStringSlice(reg, slice);
    else if constexpr (std::is_same_v<T, std::vector<uint8_t>>)
        return ReadRawSlice(reg, slice);
    else
        return ReadNumericSlice<T>(reg, slice);
}

template <class T>
GC_ERROR GenTLRegisterMap::WriteTypedSlice(const Register& reg, const Slice& slice)
{
    if constexpr (std::is_same_v<T, std::string>)
        return WriteStringSlice(reg, slice);
    else if constexpr (std::is_same_v<T, std::vector<uint8_t>>)
        return WriteRawSlice(reg, slice);
    else
        return WriteNumericSlice<T>(reg, slice);
}

template <class T>
GC_ERROR GenTLRegisterMap::ReadNumericSlice(const Register& reg, const Slice& slice)
{
    if (!TL_ASSERT_MSG(slice.offset + slice.length <= sizeof(T), "offset + size <= sizeof(T)"))
        return InternalAccessError();
    T value{};
    const GC_ERROR result = ReadValue(reg.id, value);
    if (result != GC_ERR_SUCCESS) return result;
    std::memcpy(slice.destination, reinterpret_cast<const uint8_t*>(&value) + slice.offset, slice.length);
    return GC_ERR_SUCCESS;
}

template <class T>
GC_ERROR GenTLRegisterMap::WriteNumericSlice(const Register& reg, const Slice& slice)
{
    if (!TL_ASSERT_MSG(slice.offset + slice.length <= sizeof(T), "offset + size <= sizeof(T)"))
        return InternalAccessError();
    T value{};
    if (slice.whole) {
        if (!TL_ASSERT_MSG(slice.length == sizeof(T), "size == sizeof(T)"))
            return InternalAccessError();
        std::memcpy(&value, slice.source, sizeof(T));
        return WriteValue(reg.id, value);
    }
    if (!slice.read_modify_write) return PartialWriteDenied("numeric");
    const GC_ERROR result = ReadValue(reg.id, value);
    if (result != GC_ERR_SUCCESS) return result;
    std::memcpy(reinterpret_cast<uint8_t*>(&value) + slice.offset, slice.source, slice.length);
    return WriteValue(reg.id, value);
}

GC_ERROR GenTLRegisterMap::ReadStringSlice(const Register& reg, const Slice& slice)
{
    std::string text;
    const GC_ERROR result = ReadValue(reg.id, text);
    if (result != GC_ERR_SUCCESS) return result;
    // Padded with NULs when the text is shorter; cut without one when it is not.
    std::memset(slice.destination, 0, slice.length);
    if (slice.offset < text.size())
        std::memcpy(slice.destination, text.data() + slice.offset,
                    std::min<uint64_t>(text.size() - slice.offset, slice.length));
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRegisterMap::ReadRawSlice(const Register& reg, const Slice& slice)
{
    std::vector<uint8_t> bytes;
    const GC_ERROR result = ReadValue(reg.id, bytes);
    if (result != GC_ERR_SUCCESS) return result;
    if (!Holds(bytes.size(), slice.offset, slice.length))
        return ReportError(GC_ERR_IO, "Failed to read all requested data from raw register");
    std::memcpy(slice.destination, bytes.data() + slice.offset, slice.length);
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLRegisterMap::WriteRawSlice(const Register& reg, const Slice& slice)
{
    if (slice.whole) return WriteValue(reg.id, std::vector<uint8_t>(slice.source, slice.source + slice.length));
    if (!slice.read_modify_write) return PartialWriteDenied("raw");
    std::vector<uint8_t> bytes;
    const GC_ERROR result = ReadValue(reg.id, bytes);
    if (result != GC_ERR_SUCCESS) return result;
    if (!Holds(bytes.size(), slice.offset, slice.length))
        return ReportError(GC_ERR_IO, "Failed to read-modify-write all requested data to raw register");
    std::memcpy(bytes.data() + slice.offset, slice.source, slice.length);
    return WriteValue(reg.id, bytes);
}

GC_ERROR GenTLRegisterMap::WriteStringSlice(const Register& reg, const Slice& slice)
{
    const char* chars = reinterpret_cast<const char*>(slice.source);
    if (slice.whole) return WriteValue(reg.id, std::string(chars, slice.length));
    if (slice.offset == 0 && slice.source[slice.length - 1] == 0)
        return WriteValue(reg.id, std::string(chars, std::strlen(chars)));
    if (!slice.read_modify_write) return PartialWriteDenied("string");

    std::string text;
    const GC_ERROR result = ReadValue(reg.id, text);
    if (result != GC_ERR_SUCCESS) return result;
    try {
        if (text.size() < slice.offset + slice.length) text.resize(slice.offset + slice.length, '\0');
    } catch (const std::bad_alloc&) {
        return ReportError(GC_ERR_OUT_OF_MEMORY, "Failed to allocated space for the string register data");
    } catch (const std::length_error&) {
        return ReportError(GC_ERR_OUT_OF_MEMORY, "Failed to allocated space for the string register data");
    }
    std::memcpy(text.data() + slice.offset, chars, slice.length);
    return WriteValue(reg.id, text);
}

// --- Accessor defaults --------------------------------------------------------

uint32_t GenTLRegisterMap::GetAccessMode(uint32_t)
{
    (void)TL_ASSERT_MSG(false, "Unexpected register access mode query");
    return REG_ACCESS_NA;
}

// clang-format off
GC_ERROR GenTLRegisterMap::ReadRawRegister(uint32_t, std::vector<uint8_t>&) { return UnexpectedAccess(false, "raw", "read access"); }
GC_ERROR GenTLRegisterMap::ReadFloat32Register(uint32_t, float&) { return UnexpectedAccess(false, "float32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadFloat64Register(uint32_t, double&) { return UnexpectedAccess(false, "float64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadInt32Register(uint32_t, int32_t&) { return UnexpectedAccess(false, "int32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadUInt32Register(uint32_t, uint32_t&) { return UnexpectedAccess(false, "uint32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadInt64Register(uint32_t, int64_t&) { return UnexpectedAccess(false, "int64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadUInt64Register(uint32_t, uint64_t&) { return UnexpectedAccess(false, "uint64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadStringRegister(uint32_t, std::string&) { return UnexpectedAccess(false, "string", "read access"); }
GC_ERROR GenTLRegisterMap::WriteRawRegister(uint32_t, const std::vector<uint8_t>&) { return UnexpectedAccess(false, "raw", "write access"); }
GC_ERROR GenTLRegisterMap::WriteFloat32Register(uint32_t, float) { return UnexpectedAccess(false, "float32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteFloat64Register(uint32_t, double) { return UnexpectedAccess(false, "float64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteInt32Register(uint32_t, int32_t) { return UnexpectedAccess(false, "int32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteUInt32Register(uint32_t, uint32_t) { return UnexpectedAccess(false, "uint32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteInt64Register(uint32_t, int64_t) { return UnexpectedAccess(false, "int64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteUInt64Register(uint32_t, uint64_t) { return UnexpectedAccess(false, "uint64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteStringRegister(uint32_t, const std::string&) { return UnexpectedAccess(false, "string", "write access"); }
GC_ERROR GenTLRegisterMap::GetVariableRegisterSize(uint32_t, uint64_t&) { return UnexpectedAccess(false, "variable sized", "size query"); }

GC_ERROR GenTLRegisterMap::ReadRawCustomRegister(uint32_t, std::vector<uint8_t>&) { return UnexpectedAccess(true, "raw", "read access"); }
GC_ERROR GenTLRegisterMap::ReadFloat32CustomRegister(uint32_t, float&) { return UnexpectedAccess(true, "float32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadFloat64CustomRegister(uint32_t, double&) { return UnexpectedAccess(true, "float64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadInt32CustomRegister(uint32_t, int32_t&) { return UnexpectedAccess(true, "int32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadUInt32CustomRegister(uint32_t, uint32_t&) { return UnexpectedAccess(true, "uint32", "read access"); }
GC_ERROR GenTLRegisterMap::ReadInt64CustomRegister(uint32_t, int64_t&) { return UnexpectedAccess(true, "int64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadUInt64CustomRegister(uint32_t, uint64_t&) { return UnexpectedAccess(true, "uint64", "read access"); }
GC_ERROR GenTLRegisterMap::ReadStringCustomRegister(uint32_t, std::string&) { return UnexpectedAccess(true, "string", "read access"); }
GC_ERROR GenTLRegisterMap::WriteRawCustomRegister(uint32_t, const std::vector<uint8_t>&) { return UnexpectedAccess(true, "raw", "write access"); }
GC_ERROR GenTLRegisterMap::WriteFloat32CustomRegister(uint32_t, float) { return UnexpectedAccess(true, "float32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteFloat64CustomRegister(uint32_t, double) { return UnexpectedAccess(true, "float64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteInt32CustomRegister(uint32_t, int32_t) { return UnexpectedAccess(true, "int32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteUInt32CustomRegister(uint32_t, uint32_t) { return UnexpectedAccess(true, "uint32", "write access"); }
GC_ERROR GenTLRegisterMap::WriteInt64CustomRegister(uint32_t, int64_t) { return UnexpectedAccess(true, "int64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteUInt64CustomRegister(uint32_t, uint64_t) { return UnexpectedAccess(true, "uint64", "write access"); }
GC_ERROR GenTLRegisterMap::WriteStringCustomRegister(uint32_t, const std::string&) { return UnexpectedAccess(true, "string", "write access"); }
GC_ERROR GenTLRegisterMap::GetVariableCustomRegisterSize(uint32_t, uint64_t&) { return UnexpectedAccess(true, "variable sized", "size query"); }
// clang-format on

// ===========================================================================
// Register-map port
// ===========================================================================

namespace {

constexpr const char* NO_PORT_TEXT = "Port functionality not implemented for this module.";

}  // namespace

GC_ERROR GenTLRegMapPort::DoReadPort(uint64_t address, void* buffer, size_t* size)
{
    if (!ImplementsPort()) return ReportError(GC_ERR_NOT_IMPLEMENTED, NO_PORT_TEXT);
    return ReadFromRegMap(address, buffer, *size);
}

GC_ERROR GenTLRegMapPort::DoWritePort(uint64_t address, const void* data, size_t* size)
{
    if (!ImplementsPort()) return ReportError(GC_ERR_NOT_IMPLEMENTED, NO_PORT_TEXT);
    return WriteToRegMap(address, data, *size);
}

GC_ERROR GenTLRegMapPort::DoGetPortInfo(PORT_INFO_CMD info_cmd, INFO_DATATYPE* type, void* buffer,
                                        size_t* size)
{
    if (!ImplementsPort()) return ReportError(GC_ERR_NOT_IMPLEMENTED, NO_PORT_TEXT);
    const GenTLBranding& branding = GetBranding();
    PortInfo info;
    info.id = GetID();
    info.vendor = branding.VendorName();
    info.model = branding.ModelName();
    info.tl_type = branding.TLType();
    info.module = GetModuleName();
    info.version = branding.Version();
    info.port_name = GetPortName();
    // A module's port answers its access flags as constants, whatever its state.
    return CopyPortInfo(info, info_cmd, type, buffer, size,
                        "GetPortInfo: unknown port info command requested");
}

// The shape shared by feature persistence and register streaming.
struct GenTLRegMapPort::MultiRegisterOperation {
    bool (GenTLRegMapPort::*prepare_tl)();
    bool (GenTLRegMapPort::*prepare_core)();
    bool (GenTLRegMapPort::*cleanup_core)();
    bool (GenTLRegMapPort::*cleanup_tl)();
    const char* tl_refused_text;
    const char* core_refused_text;
    const char* cleanup_failed_text;
    uint32_t cleanup_failed_level;

    static const MultiRegisterOperation FEATURE_PERSISTENCE;
    static const MultiRegisterOperation REGISTER_STREAMING;
};

const GenTLRegMapPort::MultiRegisterOperation
    GenTLRegMapPort::MultiRegisterOperation::FEATURE_PERSISTENCE{
        &GenTLRegMapPort::PrepareTLFeaturePersistence,
        &GenTLRegMapPort::PrepareCoreFeaturePersistence,
        &GenTLRegMapPort::CleanupCoreFeaturePersistence,
        &GenTLRegMapPort::CleanupTLFeaturePersistence,
        "TL-specific features refused to prepare for feature persistence operation.",
        "Core features refused to prepare for feature persistence operation.",
        "Failure reported during cleanup at the end of feature persistence operation.",
        LOG_LEVEL_WARNING,
    };

const GenTLRegMapPort::MultiRegisterOperation
    GenTLRegMapPort::MultiRegisterOperation::REGISTER_STREAMING{
        &GenTLRegMapPort::PrepareTLRegisterStreaming,
        &GenTLRegMapPort::PrepareCoreRegisterStreaming,
        &GenTLRegMapPort::CleanupCoreRegisterStreaming,
        &GenTLRegMapPort::CleanupTLRegisterStreaming,
        "TL-specific registers refused to prepare for register streaming operation.",
        "Core registers refused to prepare for register streaming operation.",
        "Failure reported during cleanup at the end of register streaming operation.",
        LOG_LEVEL_ERROR,
    };

GC_ERROR GenTLRegMapPort::PrepareFeaturePersistence()
{
    return RunPrepare(MultiRegisterOperation::FEATURE_PERSISTENCE);
}

void GenTLRegMapPort::CleanupFeaturePersistence()
{
    RunCleanup(MultiRegisterOperation::FEATURE_PERSISTENCE);
}

GC_ERROR GenTLRegMapPort::PrepareRegisterStreaming()
{
    return RunPrepare(MultiRegisterOperation::REGISTER_STREAMING);
}

void GenTLRegMapPort::CleanupRegisterStreaming()
{
    RunCleanup(MultiRegisterOperation::REGISTER_STREAMING);
}

GC_ERROR GenTLRegMapPort::RunPrepare(const MultiRegisterOperation& operation)
{
    if (!(this->*operation.prepare_tl)())
        return ReportError(GC_ERR_ACCESS_DENIED, operation.tl_refused_text);
    if (!(this->*operation.prepare_core)()) {
        (void)(this->*operation.cleanup_tl)();
        return ReportError(GC_ERR_ACCESS_DENIED, operation.core_refused_text);
    }
    return GC_ERR_SUCCESS;
}

void GenTLRegMapPort::RunCleanup(const MultiRegisterOperation& operation)
{
    if (!(this->*operation.cleanup_core)() || !(this->*operation.cleanup_tl)())
        TL_LOG(LOG_CATEGORY_CONTROL, operation.cleanup_failed_level)
            << operation.cleanup_failed_text;
}

}  // namespace GenTLCore
