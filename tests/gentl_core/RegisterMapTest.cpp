#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "PortTestHelpers.h"
#include "gentl_core/GenTLRegMapPort.h"
#include "support/AssertionCounter.h"

using GenTLCore::GenTLRegisterMap;
using GenTLCore::RegisterDefinition;
using namespace PortTestHelpers;
using namespace std::string_literals;

namespace {

constexpr uint32_t RO = GenTLCore::REG_ACCESS_RO;
constexpr uint32_t WO = GenTLCore::REG_ACCESS_WO;
constexpr uint32_t RW = GenTLCore::REG_ACCESS_RW;
constexpr uint32_t NA = GenTLCore::REG_ACCESS_NA;
constexpr uint32_t BY_MODULE = GenTLCore::REG_ACCESS_BY_MODULE;

// A module that keeps its register values itself and logs every call the map
// makes, as "read 1", "custom write 10001", "size 7" or "access 4".
class FakeModule : public GenTLRegisterMap {
public:
    using GenTLRegisterMap::AddCustomRegisters;
    using GenTLRegisterMap::AddFloat32Register;
    using GenTLRegisterMap::AddFloat64Register;
    using GenTLRegisterMap::AddInt32Register;
    using GenTLRegisterMap::AddInt64Register;
    using GenTLRegisterMap::AddRawRegister;
    using GenTLRegisterMap::AddRegister;
    using GenTLRegisterMap::AddRegisters;
    using GenTLRegisterMap::AddStringRegister;
    using GenTLRegisterMap::AddUInt32Register;
    using GenTLRegisterMap::AddUInt64Register;
    using GenTLRegisterMap::FinalizeRegMap;
    using GenTLRegisterMap::ReadFromRegMap;
    using GenTLRegisterMap::WriteToRegMap;

    template <class T>
    void Set(uint32_t id, T value)
    {
        values[id] = ValueBytes(value);
    }
    template <class T>
    T Get(uint32_t id) const
    {
        T value{};
        std::memcpy(&value, values.at(id).data(), sizeof(T));
        return value;
    }
    void SetText(uint32_t id, const std::string& text) { values[id] = BytesOf(text); }
    std::string Text(uint32_t id) const { return std::string(values.at(id).begin(), values.at(id).end()); }

    std::map<uint32_t, Bytes> values;              // every register's bytes, by id
    std::map<uint32_t, uint32_t> access_answers;   // GetAccessMode
    std::map<uint32_t, uint64_t> current_sizes;    // GetVariable...Size
    std::map<std::string, GC_ERROR> fail_on;       // a call answering an error
    std::vector<RegisterDefinition> custom_table;  // DefineCustomRegisters
    std::vector<std::string> calls;

protected:
    uint32_t GetAccessMode(uint32_t id) override
    {
        calls.push_back("access " + std::to_string(id));
        return access_answers.at(id);
    }
    void DefineCustomRegisters() override { AddRegisters(custom_table); }

    // clang-format off
    GC_ERROR ReadRawRegister(uint32_t id, Bytes& v) override { return Load("read", id, v); }
    GC_ERROR ReadFloat32Register(uint32_t id, float& v) override { return Load("read", id, v); }
    GC_ERROR ReadFloat64Register(uint32_t id, double& v) override { return Load("read", id, v); }
    GC_ERROR ReadInt32Register(uint32_t id, int32_t& v) override { return Load("read", id, v); }
    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& v) override { return Load("read", id, v); }
    GC_ERROR ReadInt64Register(uint32_t id, int64_t& v) override { return Load("read", id, v); }
    GC_ERROR ReadUInt64Register(uint32_t id, uint64_t& v) override { return Load("read", id, v); }
    GC_ERROR ReadStringRegister(uint32_t id, std::string& v) override { return Load("read", id, v); }
    GC_ERROR WriteRawRegister(uint32_t id, const Bytes& v) override { return Store("write", id, v); }
    GC_ERROR WriteFloat32Register(uint32_t id, float v) override { return Store("write", id, v); }
    GC_ERROR WriteFloat64Register(uint32_t id, double v) override { return Store("write", id, v); }
    GC_ERROR WriteInt32Register(uint32_t id, int32_t v) override { return Store("write", id, v); }
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t v) override { return Store("write", id, v); }
    GC_ERROR WriteInt64Register(uint32_t id, int64_t v) override { return Store("write", id, v); }
    GC_ERROR WriteUInt64Register(uint32_t id, uint64_t v) override { return Store("write", id, v); }
    GC_ERROR WriteStringRegister(uint32_t id, const std::string& v) override { return Store("write", id, v); }
    GC_ERROR ReadUInt32CustomRegister(uint32_t id, uint32_t& v) override { return Load("custom read", id, v); }
    GC_ERROR WriteUInt32CustomRegister(uint32_t id, uint32_t v) override { return Store("custom write", id, v); }
    // clang-format on
    GC_ERROR GetVariableRegisterSize(uint32_t id, uint64_t& size) override
    {
        const GC_ERROR result = Log("size", id);
        if (result == GC_ERR_SUCCESS) size = current_sizes.at(id);
        return result;
    }

private:
    GC_ERROR Log(const char* slot, uint32_t id)
    {
        calls.push_back(slot + " "s + std::to_string(id));
        const auto failure = fail_on.find(calls.back());
        return failure == fail_on.end() ? GC_ERR_SUCCESS : failure->second;
    }
    template <class T>
    GC_ERROR Load(const char* slot, uint32_t id, T& value)
    {
        const GC_ERROR result = Log(slot, id);
        if (result != GC_ERR_SUCCESS) return result;
        const Bytes& bytes = values.at(id);
        if constexpr (std::is_arithmetic_v<T>)
            std::memcpy(&value, bytes.data(), sizeof(T));
        else
            value.assign(bytes.begin(), bytes.end());
        return GC_ERR_SUCCESS;
    }
    template <class T>
    GC_ERROR Store(const char* slot, uint32_t id, const T& value)
    {
        const GC_ERROR result = Log(slot, id);
        if (result != GC_ERR_SUCCESS) return result;
        if constexpr (std::is_arithmetic_v<T>)
            Set(id, value);
        else
            values[id].assign(value.begin(), value.end());
        return GC_ERR_SUCCESS;
    }
};

// A module that overrides no accessor.
class BareModule : public GenTLRegisterMap {
public:
    using GenTLRegisterMap::AddCustomRegisters;
    using GenTLRegisterMap::AddRegister;
    using GenTLRegisterMap::FinalizeRegMap;
    using GenTLRegisterMap::ReadFromRegMap;
    using GenTLRegisterMap::WriteToRegMap;
};

class RegisterMapTest : public ::testing::Test {
protected:
    // Reads into a buffer of 0xCC bytes, so bytes the map did not write show.
    GC_ERROR Read(uint64_t address, uint64_t size)
    {
        buffer.assign(size, 0xCC);
        uint64_t in_out = size;
        const GC_ERROR result = map.ReadFromRegMap(address, buffer.data(), in_out);
        EXPECT_EQ(size, in_out);
        return result;
    }
    GC_ERROR Write(uint64_t address, const Bytes& data)
    {
        uint64_t in_out = data.size();
        return map.WriteToRegMap(address, data.data(), in_out);
    }
    bool WroteAnything() const
    {
        for (const std::string& call : map.calls)
            if (call.find("write") != std::string::npos) return true;
        return false;
    }

    TestSupport::AssertionCounter assertions;
    FakeModule map;
    Bytes buffer;
};

using Calls = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Building and finalizing.

class RegisterMapBuildTest : public RegisterMapTest {};

TEST_F(RegisterMapBuildTest, FinalizeFillsHolesWithRegistersThatRefuseEveryAccess)
{
    map.AddUInt32Register(0x0, RW, 1);
    map.AddUInt32Register(0x8, RW, 2);
    map.FinalizeRegMap();

    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Read(0x0, 12));
    EXPECT_EQ("The read request contains unreadable register(s).", LastErrorText());
    EXPECT_EQ(Bytes(12, 0xCC), buffer);
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Read(0x4, 1));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x4, Bytes(4)));
    EXPECT_EQ("The write request contains unwritable register(s).", LastErrorText());
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x0, Bytes(12)));
    EXPECT_TRUE(map.calls.empty());
    EXPECT_EQ(0, assertions.Failures());
}

TEST_F(RegisterMapBuildTest, MapRunsFromTheFirstRegisterToTheEndOfTheLast)
{
    map.Set<uint32_t>(1, 0);
    map.Set<uint64_t>(2, 0);
    map.AddUInt64Register(0x20, RO, 2);
    map.AddUInt32Register(0x10, RO, 1);
    map.FinalizeRegMap();

    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0xF, 1));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x28, 1));
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x27, 1));
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x10, 4));
}

TEST_F(RegisterMapBuildTest, RefusesARegisterOverlappingAnother)
{
    map.AddUInt32Register(0x8, RW, 1);
    map.AddUInt32Register(0xA, RW, 2);  // starts inside the first
    map.AddUInt32Register(0x6, RW, 3);  // ends inside the first
    map.AddUInt32Register(0x4, RW, 4);  // ends where the first starts
    map.FinalizeRegMap();
    EXPECT_EQ(2, assertions.Failures());

    map.Set<uint32_t>(1, 0x11111111);
    map.Set<uint32_t>(4, 0x44444444);
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x4, 8));
    EXPECT_EQ((Calls{"read 4", "read 1"}), map.calls);
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0xC, 1));
}

TEST_F(RegisterMapBuildTest, RefusesRegistersReachingTheTopOfTheAddressSpace)
{
    map.AddRawRegister(UINT64_MAX - 4, 4, RW, 1, false);  // would end at the top
    map.AddRawRegister(UINT64_MAX - 3, 8, RW, 2, false);  // would wrap to 4
    map.AddRawRegister(UINT64_MAX - 5, 4, RW, 3, false);  // ends one below the top
    map.FinalizeRegMap();
    EXPECT_EQ(2, assertions.Failures());

    map.values[3] = {1, 2, 3, 4};
    EXPECT_EQ(GC_ERR_SUCCESS, Read(UINT64_MAX - 5, 4));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), buffer);
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(UINT64_MAX - 1, 1));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x0, 1));
}

TEST_F(RegisterMapBuildTest, RefusesRegistersOfSizeZeroOrAddedAfterFinalizing)
{
    map.AddStringRegister(0x10, 0, RO, 1);
    map.FinalizeRegMap();
    map.AddUInt32Register(0x14, RW, 2);
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x10, 1));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x14, 4));
}

TEST_F(RegisterMapBuildTest, TableRowsTakeNumericSizesFromTheirTypeAndVariableSizeOnlyForRaw)
{
    const RegisterDefinition table[] = {
        {1, GenTLCore::REG_TYPE_UINT32, 0x0, 2, RW, true},  // size and flag ignored
        {2, GenTLCore::REG_TYPE_STRING, 0x4, 6, RW, true},  // flag ignored
        {3, GenTLCore::REG_TYPE_RAW, 0xA, 2, RW, true},
        {4, GenTLCore::REG_TYPE_NONE, 0xC, 4, RW, false},  // skipped
        {5, 99, 0x10, 4, RW, false},                       // skipped
    };
    map.AddRegisters(table);
    map.FinalizeRegMap();
    EXPECT_EQ(2, assertions.Failures());

    map.current_sizes[3] = 2;
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x0, Bytes(12, 0x31)));
    EXPECT_EQ((Calls{"write 1", "write 2", "size 3", "write 3"}), map.calls);
    EXPECT_EQ(0x31313131u, map.Get<uint32_t>(1));
    EXPECT_EQ("111111", map.Text(2));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0xC, 1));
}

// ---------------------------------------------------------------------------
// Custom registers: their window, and the accessors chosen by id.

class RegisterMapCustomTest : public RegisterMapTest {};

TEST_F(RegisterMapCustomTest, CustomRegistersMustLieInTheirWindowAndCoreOnesOutsideWithMatchingIds)
{
    map.custom_table = {
        {10001, GenTLCore::REG_TYPE_UINT32, 0x50000000, 4, RW, false},
        {10002, GenTLCore::REG_TYPE_RAW, 0x9FFFFFF8, 8, RW, false},
        {10003, GenTLCore::REG_TYPE_UINT32, 0x4FFFFFFE, 4, RW, false},  // crosses the start
        {10004, GenTLCore::REG_TYPE_RAW, 0x9FFFFFFC, 8, RW, false},     // crosses the end
        {42, GenTLCore::REG_TYPE_UINT32, 0x60000000, 4, RW, false},     // core id
    };
    map.AddCustomRegisters();
    EXPECT_EQ(3, assertions.Failures());
    // and core registers outside it, with core ids
    map.AddUInt32Register(0x4FFFFFF0, RO, 1);
    map.AddUInt32Register(0xA0000000, RO, 2);
    map.AddUInt32Register(0x4FFFFFE0, RO, 10000);  // custom id
    map.AddUInt64Register(0x4FFFFFFC, RO, 3);      // reaches into the window
    map.AddUInt32Register(0x9FFFFFFC, RO, 4);      // inside the window
    EXPECT_EQ(6, assertions.Failures());
}

TEST_F(RegisterMapCustomTest, RegisterIdAloneChoosesCoreOrCustomAccessors)
{
    map.custom_table = {{10001, GenTLCore::REG_TYPE_UINT32, 0x50000000, 4, RW, false}};
    map.AddUInt32Register(0x0, RW, 9999);
    map.AddUInt32Register(0x4, RW, 10000);  // asserts, but stays
    map.AddCustomRegisters();
    map.FinalizeRegMap();
    map.Set<uint32_t>(9999, 1);
    map.Set<uint32_t>(10000, 2);
    map.Set<uint32_t>(10001, 3);

    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x0, 8));
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x50000000, 4));
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x50000000, {9, 0, 0, 0}));
    EXPECT_EQ((Calls{"read 9999", "custom read 10000", "custom read 10001", "custom write 10001"}),
              map.calls);
}

// ---------------------------------------------------------------------------
// Bounds and zero sizes, for reads and writes alike.

struct BoundsCase {
    uint64_t address;
    uint64_t size;
    GC_ERROR expected;
};

class RegisterMapBoundsTest : public RegisterMapTest,
                              public ::testing::WithParamInterface<std::tuple<bool, BoundsCase>> {
protected:
    RegisterMapBoundsTest()
    {
        map.AddUInt32Register(0x1000, RW, 1);
        map.AddUInt32Register(0x1004, RW, 2);
        map.FinalizeRegMap();
        map.Set<uint32_t>(1, 0);
        map.Set<uint32_t>(2, 0);
    }
};

TEST_P(RegisterMapBoundsTest, AcceptsOnlyRangesInsideTheMap)
{
    const auto& [write, bounds] = GetParam();
    uint8_t scratch[16] = {};  // refused requests never touch it
    uint64_t size = bounds.size;
    const GC_ERROR result = write ? map.WriteToRegMap(bounds.address, scratch, size)
                                  : map.ReadFromRegMap(bounds.address, scratch, size);
    EXPECT_EQ(bounds.expected, result);
    EXPECT_EQ(bounds.size, size);
    if (result != GC_ERR_SUCCESS) {
        EXPECT_TRUE(map.calls.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReadAndWrite, RegisterMapBoundsTest,
    ::testing::Combine(
        ::testing::Bool(),
        ::testing::Values(BoundsCase{0x1000, 8, GC_ERR_SUCCESS},
                          BoundsCase{0x1007, 1, GC_ERR_SUCCESS},
                          BoundsCase{0x0FFF, 1, GC_ERR_INVALID_ADDRESS},  // one before the start
                          BoundsCase{0x0FFF, 2, GC_ERR_INVALID_ADDRESS},
                          BoundsCase{0x1008, 1, GC_ERR_INVALID_ADDRESS},  // one past the end
                          BoundsCase{0x1004, 5, GC_ERR_INVALID_ADDRESS},
                          BoundsCase{0x1004, UINT64_MAX, GC_ERR_INVALID_ADDRESS},  // end wraps to 0x1003
                          BoundsCase{UINT64_MAX, 0x1009, GC_ERR_INVALID_ADDRESS},  // end wraps to 0x1008
                          BoundsCase{UINT64_MAX - 3, 4, GC_ERR_INVALID_ADDRESS},
                          BoundsCase{0x1000, 0, GC_ERR_INVALID_PARAMETER},
                          BoundsCase{0x1006, 0, GC_ERR_INVALID_PARAMETER})));

// Requests refused before any register is looked at.
class RegisterMapRequestTest : public RegisterMapTest {};

TEST_F(RegisterMapRequestTest, ReportsBoundsZeroSizeAndMissingBuffer)
{
    map.AddUInt32Register(0x0, RW, 1);
    map.FinalizeRegMap();
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x4, 1));
    EXPECT_EQ("The read request exceeds bounds of the register map.", LastErrorText());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Read(0x0, 0));
    EXPECT_EQ("The read request of zero size required.", LastErrorText());
    uint8_t data[4] = {};
    uint64_t size = 0;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, map.WriteToRegMap(0x0, data, size));
    EXPECT_EQ("The write request of zero size required.", LastErrorText());
    size = 4;
    EXPECT_EQ(GC_ERR_INVALID_BUFFER, map.ReadFromRegMap(0x0, nullptr, size));
    EXPECT_EQ(GC_ERR_INVALID_BUFFER, map.WriteToRegMap(0x0, nullptr, size));
    EXPECT_TRUE(map.calls.empty());
}

TEST_F(RegisterMapRequestTest, EmptyFinalizedMapRefusesEveryRead)
{
    map.FinalizeRegMap();
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0x0, 1));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Read(0xF0000000, 4));
    EXPECT_EQ(0, assertions.Failures());
}

// ---------------------------------------------------------------------------
// Reads sliced over registers of every type.

class RegisterMapReadTest : public RegisterMapTest {
protected:
    RegisterMapReadTest()
    {
        map.AddUInt32Register(0x100, RW, 1);
        map.AddUInt32Register(0x104, RO, 2);
        map.AddUInt64Register(0x108, RO, 3);
        map.AddInt64Register(0x110, RO, 4);
        map.AddFloat64Register(0x118, RO, 5);
        map.AddFloat32Register(0x120, RO, 6);
        map.AddInt32Register(0x124, RO, 7);
        map.AddStringRegister(0x128, 8, RO, 8);
        map.AddRawRegister(0x130, 4, RO, 9, false);
        map.FinalizeRegMap();
        map.Set<uint32_t>(1, 0x11223344);
        map.Set<uint32_t>(2, 0xA1B2C3D4);
        map.Set<uint64_t>(3, 0x0102030405060708);
        map.Set<int64_t>(4, -2);
        map.Set<double>(5, 1.5);
        map.Set<float>(6, 1.0f);
        map.Set<int32_t>(7, -3);
        map.SetText(8, "abc");
        map.values[9] = {0xDE, 0xAD, 0xBE, 0xEF};
    }
};

TEST_F(RegisterMapReadTest, ReadsARangeAcrossRegisterBoundaries)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x102, 8));
    EXPECT_EQ((Bytes{0x22, 0x11, 0xD4, 0xC3, 0xB2, 0xA1, 0x08, 0x07}), buffer);
    EXPECT_EQ((Calls{"read 1", "read 2", "read 3"}), map.calls);
}

TEST_F(RegisterMapReadTest, ReadsEveryTypeAsItsBytes)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x100, 0x34));
    const Bytes expected = {
        0x44, 0x33, 0x22, 0x11, 0xD4, 0xC3, 0xB2, 0xA1,  // uint32, uint32
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // uint64
        0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // int64 -2
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,  // float64 1.5
        0x00, 0x00, 0x80, 0x3F, 0xFD, 0xFF, 0xFF, 0xFF,  // float32 1.0, int32 -3
        'a',  'b',  'c',  0x00, 0x00, 0x00, 0x00, 0x00,  // string "abc"
        0xDE, 0xAD, 0xBE, 0xEF,                          // raw
    };
    EXPECT_EQ(expected, buffer);
}

TEST_F(RegisterMapReadTest, StopsAtTheFirstFailingRegisterKeepingEarlierSlices)
{
    map.fail_on["read 2"] = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, Read(0x100, 12));
    EXPECT_EQ((Bytes{0x44, 0x33, 0x22, 0x11, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC}), buffer);
    EXPECT_EQ((Calls{"read 1", "read 2"}), map.calls);
}

TEST_F(RegisterMapReadTest, ReadsARawRegisterOnlyWithinTheBytesTheModuleHolds)
{
    map.values[9] = {0xDE, 0xAD};
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x130, 2));
    EXPECT_EQ((Bytes{0xDE, 0xAD}), buffer);
    EXPECT_EQ(GC_ERR_IO, Read(0x130, 4));
    EXPECT_EQ("Failed to read all requested data from raw register", LastErrorText());
    EXPECT_EQ(GC_ERR_IO, Read(0x133, 1));
}

// ---------------------------------------------------------------------------
// Writes: whole values, and partial ones by read-modify-write.

class RegisterMapWriteTest : public RegisterMapTest {
protected:
    RegisterMapWriteTest()
    {
        map.AddUInt32Register(0x100, RW, 1);
        map.AddUInt32Register(0x104, WO, 2);
        map.AddUInt32Register(0x108, RW, 3);
        map.AddUInt32Register(0x10C, BY_MODULE, 4);
        map.AddRawRegister(0x110, 4, RW, 5, false);
        map.AddRawRegister(0x114, 4, WO, 6, false);
        map.FinalizeRegMap();
        map.Set<uint32_t>(1, 0x11223344);
        map.Set<uint32_t>(2, 0);
        map.Set<uint32_t>(3, 0x55667788);
        map.Set<uint32_t>(4, 0);
        map.values[5] = {1, 2, 3, 4};
        map.values[6] = {};
    }
};

TEST_F(RegisterMapWriteTest, WriteAcrossBoundariesWritesEachPart)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x102, {0xAA, 0xBB, 0x01, 0x02, 0x03, 0x04, 0xCC, 0xDD}));
    EXPECT_EQ(0xBBAA3344u, map.Get<uint32_t>(1));
    EXPECT_EQ(0x04030201u, map.Get<uint32_t>(2));
    EXPECT_EQ(0x5566DDCCu, map.Get<uint32_t>(3));
    EXPECT_EQ((Calls{"read 1", "write 1", "write 2", "read 3", "write 3"}), map.calls);
}

TEST_F(RegisterMapWriteTest, FailedReadOfAPartialWriteWritesNothingMore)
{
    map.fail_on["read 3"] = GC_ERR_CUSTOM_ID - 5;
    EXPECT_EQ(GC_ERR_CUSTOM_ID - 5, Write(0x104, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(0x04030201u, map.Get<uint32_t>(2));  // written before the failure
    EXPECT_EQ(0x55667788u, map.Get<uint32_t>(3));
    EXPECT_EQ((Calls{"write 2", "read 3"}), map.calls);
}

TEST_F(RegisterMapWriteTest, WriteOnlyOrModuleDecidedRegisterTakesOnlyWholeWrites)
{
    const std::string refusal = "The partial write request not possible on unreadable  numeric "
                                "register (read-modify-write needed).";
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x106, {0xAA, 0xBB}));
    EXPECT_EQ(refusal, LastErrorText());
    EXPECT_TRUE(map.calls.empty());
    map.access_answers[4] = RW;
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x10C, {4, 3, 2, 1}));
    EXPECT_EQ(0x01020304u, map.Get<uint32_t>(4));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x10C, {0xFF}));
    EXPECT_EQ(refusal, LastErrorText());
    EXPECT_EQ(0x01020304u, map.Get<uint32_t>(4));
}

TEST_F(RegisterMapWriteTest, PartialRawWriteKeepsTheOtherBytesTheModuleHolds)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x111, {0xAA, 0xBB}));
    EXPECT_EQ((Bytes{1, 0xAA, 0xBB, 4}), map.values[5]);
    map.values[5] = {1, 2};
    map.calls.clear();
    EXPECT_EQ(GC_ERR_IO, Write(0x111, {0xAA, 0xBB}));
    EXPECT_EQ("Failed to read-modify-write all requested data to raw register", LastErrorText());
    EXPECT_EQ((Calls{"read 5"}), map.calls);
}

TEST_F(RegisterMapWriteTest, PartialWriteOfAWriteOnlyRawRegisterIsDenied)
{
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x114, {0xAA}));
    EXPECT_EQ(
        "The partial write request not possible on unreadable  raw register (read-modify-write needed).",
        LastErrorText());
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x114, {9, 8, 7, 6}));
    EXPECT_EQ((Bytes{9, 8, 7, 6}), map.values[6]);
}

// ---------------------------------------------------------------------------
// String registers.

class RegisterMapStringTest : public RegisterMapTest {
protected:
    RegisterMapStringTest()
    {
        map.AddStringRegister(0x0, 64, RW, 1);
        map.AddStringRegister(0x40, 8, WO, 2);
        map.FinalizeRegMap();
        map.SetText(1, "abc");
        map.SetText(2, "");
    }
};

TEST_F(RegisterMapStringTest, ReadsTextPaddedWithNulsOrCutWithoutNul)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x0, 64));
    EXPECT_EQ(BytesOf("abc" + std::string(61, '\0')), buffer);
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x1, 4));
    EXPECT_EQ((Bytes{'b', 'c', 0, 0}), buffer);
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x3, 2));
    EXPECT_EQ((Bytes{0, 0}), buffer);
    map.SetText(1, std::string(70, 'x'));
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x0, 64));
    EXPECT_EQ(Bytes(64, 'x'), buffer);
}

TEST_F(RegisterMapStringTest, WholeWritePassesEveryByteAndNulEndedWritesTheTextBeforeIt)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x0, BytesOf("xyz" + std::string(61, '\0'))));
    EXPECT_EQ("xyz" + std::string(61, '\0'), map.Text(1));
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x0, {'x', 'y', 'z', 0}));
    EXPECT_EQ("xyz", map.Text(1));
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x0, {'a', 'b', 0, 'c', 'd', 0}));
    EXPECT_EQ("ab", map.Text(1));
    EXPECT_EQ((Calls{"write 1", "write 1", "write 1"}), map.calls);
}

TEST_F(RegisterMapStringTest, PartialWriteOverwritesOrLengthensTheCurrentText)
{
    map.SetText(1, "hello");
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x0, {'J'}));
    EXPECT_EQ("Jello", map.Text(1));
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x3, {'Q', 0}));
    EXPECT_EQ("JelQ\0"s, map.Text(1));
    EXPECT_EQ((Calls{"read 1", "write 1", "read 1", "write 1"}), map.calls);
    map.SetText(1, "hello");
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x8, {'Z', 'Z'}));
    EXPECT_EQ("hello\0\0\0ZZ"s, map.Text(1));
}

TEST_F(RegisterMapStringTest, PartialWriteOfAWriteOnlyStringNeedsAnEndingNul)
{
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x40, {'a', 'b'}));
    EXPECT_EQ(
        "The partial write request not possible on unreadable  string register (read-modify-write needed).",
        LastErrorText());
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Write(0x41, {'a', 0}));
    EXPECT_TRUE(map.calls.empty());
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x40, {'a', 'b', 0}));
    EXPECT_EQ("ab", map.Text(2));
}

// ---------------------------------------------------------------------------
// Access codes: which let a whole read or write through.

struct AccessCase {
    uint32_t stored;
    uint32_t module_answer;  // asked only for BY_MODULE
    bool readable;
    bool writable;
};

class RegisterMapAccessTest : public RegisterMapTest, public ::testing::WithParamInterface<AccessCase> {
protected:
    RegisterMapAccessTest()
    {
        map.AddUInt32Register(0x0, GetParam().stored, 1);
        map.FinalizeRegMap();
        map.Set<uint32_t>(1, 0x01020304);
        map.access_answers[1] = GetParam().module_answer;
    }
};

TEST_P(RegisterMapAccessTest, ReadsAndWritesOnlyWhatTheCodeAllows)
{
    const AccessCase& access = GetParam();
    EXPECT_EQ(access.readable ? GC_ERR_SUCCESS : GC_ERR_ACCESS_DENIED, Read(0x0, 4));
    EXPECT_EQ(access.readable ? Bytes({4, 3, 2, 1}) : Bytes(4, 0xCC), buffer);
    EXPECT_EQ(access.writable ? GC_ERR_SUCCESS : GC_ERR_ACCESS_DENIED, Write(0x0, {9, 9, 9, 9}));
    EXPECT_EQ(access.writable ? 0x09090909u : 0x01020304u, map.Get<uint32_t>(1));
    EXPECT_EQ(0, assertions.Failures());
}

INSTANTIATE_TEST_SUITE_P(Codes, RegisterMapAccessTest,
                         ::testing::Values(AccessCase{RO, NA, true, false},
                                           AccessCase{WO, NA, false, true},
                                           AccessCase{RW, NA, true, true},
                                           AccessCase{3, NA, false, false},
                                           AccessCase{NA, NA, false, false},
                                           AccessCase{BY_MODULE, RO, true, false},
                                           AccessCase{BY_MODULE, WO, false, true},
                                           AccessCase{BY_MODULE, RW, true, true},
                                           AccessCase{BY_MODULE, NA, false, false},
                                           AccessCase{BY_MODULE, BY_MODULE, false, false}));

// ---------------------------------------------------------------------------
// Variable-size registers: writes stay within the module's current length.

class RegisterMapVariableSizeTest : public RegisterMapTest {
protected:
    RegisterMapVariableSizeTest()
    {
        map.AddRawRegister(0x300, 8, RW, 1, true);
        map.AddUInt32Register(0x308, RW, 2);
        map.FinalizeRegMap();
        map.values[1] = {1, 2, 3, 4};
        map.current_sizes[1] = 4;
        map.Set<uint32_t>(2, 0);
    }
};

TEST_F(RegisterMapVariableSizeTest, WriteOfTheCurrentLengthIsWholeAndAShorterOneIsRMW)
{
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x300, {9, 8, 7, 6}));
    EXPECT_EQ((Bytes{9, 8, 7, 6}), map.values[1]);
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x301, {1, 2}));
    EXPECT_EQ((Bytes{9, 1, 2, 6}), map.values[1]);
    EXPECT_EQ((Calls{"size 1", "write 1", "size 1", "read 1", "write 1"}), map.calls);
}

TEST_F(RegisterMapVariableSizeTest, WritePastTheCurrentOrDeclaredLengthIsRefused)
{
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x300, Bytes(8, 9)));
    EXPECT_EQ("The write request exceeds the current size of a variable-size register.",
              LastErrorText());
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x300, Bytes(12, 9)));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x306, Bytes(6, 9)));  // starts past the current end
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x304, {9}));
    map.current_sizes[1] = 12;  // the module claims more than was declared
    map.values[1] = Bytes(12, 1);
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x300, Bytes(12, 9)));
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Write(0x300, {9}));
    EXPECT_FALSE(WroteAnything());
    EXPECT_EQ(0u, map.Get<uint32_t>(2));
}

TEST_F(RegisterMapVariableSizeTest, FullLengthWriteContinuesIntoTheNextRegister)
{
    map.current_sizes[1] = 8;
    map.values[1] = Bytes(8, 0);
    EXPECT_EQ(GC_ERR_SUCCESS, Write(0x304, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ((Bytes{0, 0, 0, 0, 1, 2, 3, 4}), map.values[1]);
    EXPECT_EQ(0x08070605u, map.Get<uint32_t>(2));
}

TEST_F(RegisterMapVariableSizeTest, FailedSizeQueryEndsTheWrite)
{
    map.fail_on["size 1"] = GC_ERR_NOT_AVAILABLE;
    EXPECT_EQ(GC_ERR_NOT_AVAILABLE, Write(0x300, {9, 8, 7, 6}));
    EXPECT_EQ((Calls{"size 1"}), map.calls);
}

TEST_F(RegisterMapVariableSizeTest, ReadsUseTheDeclaredSize)
{
    map.values[1] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(GC_ERR_SUCCESS, Read(0x304, 8));
    EXPECT_EQ((Bytes{5, 6, 7, 8, 0, 0, 0, 0}), buffer);
    EXPECT_EQ((Calls{"read 1", "read 2"}), map.calls);
}

// ---------------------------------------------------------------------------
// Accessors the module did not override.

struct DefaultCase {
    uint32_t type;
    uint32_t id;
    bool write;
    const char* message;
};

class RegisterMapDefaultAccessorTest : public RegisterMapTest,
                                       public ::testing::WithParamInterface<DefaultCase> {
protected:
    BareModule bare;
};

TEST_P(RegisterMapDefaultAccessorTest, FailsAsAnInternalError)
{
    const DefaultCase& slot = GetParam();
    const uint64_t address = slot.id < GenTLCore::CUSTOM_REGID_BASE ? 0x0 : 0x50000000;
    bare.AddRegister(address, 8, RW, slot.type, slot.id, slot.type == GenTLCore::REG_TYPE_RAW);
    bare.FinalizeRegMap();
    const int before = assertions.Failures();
    uint8_t bytes[8] = {};
    uint64_t size = sizeof(bytes);
    const GC_ERROR result = slot.write ? bare.WriteToRegMap(address, bytes, size)
                                       : bare.ReadFromRegMap(address, bytes, size);
    EXPECT_EQ(GC_ERR_ERROR, result);
    EXPECT_EQ(slot.message, LastErrorText());
    EXPECT_EQ(before + 1, assertions.Failures());
}

INSTANTIATE_TEST_SUITE_P(
    Slots, RegisterMapDefaultAccessorTest,
    ::testing::Values(
        DefaultCase{GenTLCore::REG_TYPE_UINT64, 1, false, "Internal error: unexpected uint64 register read access"},
        DefaultCase{GenTLCore::REG_TYPE_FLOAT64, 1, true, "Internal error: unexpected float64 register write access"},
        DefaultCase{GenTLCore::REG_TYPE_STRING, 1, false, "Internal error: unexpected string register read access"},
        DefaultCase{GenTLCore::REG_TYPE_RAW, 1, true,
                    "Internal error: unexpected variable sized register size query"},
        DefaultCase{GenTLCore::REG_TYPE_INT64, 10001, true,
                    "Internal error: unexpected int64 custom register write access"},
        DefaultCase{GenTLCore::REG_TYPE_RAW, 10001, false,
                    "Internal error: unexpected raw custom register read access"},
        DefaultCase{GenTLCore::REG_TYPE_RAW, 10001, true,
                    "Internal error: unexpected variable sized custom register size query"}));

class RegisterMapDefaultAccessModeTest : public RegisterMapTest {
protected:
    BareModule bare;
};

TEST_F(RegisterMapDefaultAccessModeTest, RefusesTheAccess)
{
    bare.AddRegister(0x0, 4, BY_MODULE, GenTLCore::REG_TYPE_UINT32, 1, false);
    bare.FinalizeRegMap();
    uint8_t bytes[4] = {};
    uint64_t size = sizeof(bytes);
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, bare.ReadFromRegMap(0x0, bytes, size));
    EXPECT_EQ(1, assertions.Failures());
}

}  // namespace
