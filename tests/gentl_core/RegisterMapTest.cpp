// RegisterMapTest.cpp: building the register map, and port reads and writes
// sliced over its typed registers, byte for byte.
#include <gtest/gtest.h>

#include "CoreTestHelpers.h"
#include "TestModule.h"
#include "gentl_core/GenTLRegMapPort.h"
#include "support/AssertionCounter.h"

using namespace GenTLCore;
using namespace CoreTestHelpers;
using namespace std::string_literals;
using TestSupport::TestModule;

namespace {

constexpr uint32_t RO = REG_ACCESS_RO, WO = REG_ACCESS_WO, RW = REG_ACCESS_RW, NA = REG_ACCESS_NA;
constexpr uint32_t BY_MODULE = REG_ACCESS_BY_MODULE;

GC_ERROR Access(TestModule& map, bool write, uint64_t address, uint8_t* bytes, uint64_t size)
{
    return write ? map.WriteToRegMap(address, bytes, size)
                 : map.ReadFromRegMap(address, bytes, size);
}

class RegisterMapTest : public ::testing::Test {
protected:
    TestSupport::AssertionCounter assertions;
    TestModule map;
};

}  // namespace

// One map of every kind of register; the steps run in order on it.
TEST_F(RegisterMapTest, ReadsAndWritesSliceOverTypedRegistersByteForByte)
{
    // clang-format off
    const RegisterDefinition layout[] = {
        {1, REG_TYPE_UINT32, 0x100, 4, RW, false},  {2, REG_TYPE_UINT32, 0x104, 4, WO, false},
        {3, REG_TYPE_UINT32, 0x108, 4, RW, false},  {4, REG_TYPE_UINT32, 0x10C, 4, BY_MODULE, false},
        {5, REG_TYPE_RAW, 0x110, 4, RW, false},     {6, REG_TYPE_RAW, 0x114, 4, WO, false},
        {7, REG_TYPE_STRING, 0x118, 8, RW, false},  {8, REG_TYPE_STRING, 0x120, 8, WO, false},
        {9, REG_TYPE_UINT64, 0x128, 8, RO, false},  {10, REG_TYPE_INT64, 0x130, 8, RO, false},
        {11, REG_TYPE_FLOAT64, 0x138, 8, RO, false}, {12, REG_TYPE_FLOAT32, 0x140, 4, RO, false},
        {13, REG_TYPE_INT32, 0x144, 4, RO, false},   {14, REG_TYPE_RAW, 0x150, 8, RW, true},
        {15, REG_TYPE_UINT32, 0x158, 4, RW, false},  {16, REG_TYPE_UINT32, 0x15C, 4, 3, false},
        {17, REG_TYPE_UINT32, 0x160, 4, NA, false},
    };  // a gap at 0x148
    // clang-format on
    map.AddRegisters(layout);
    map.AddCustomRegisters();
    map.FinalizeRegMap();
    // clang-format off
    map.values = {{1, {0x44, 0x33, 0x22, 0x11}}, {3, {0x88, 0x77, 0x66, 0x55}}, {4, Bytes(4)}, {5, {1, 2, 3}}, {7, BytesOf("abc")},
                  {9, {8, 7, 6, 5, 4, 3, 2, 1}}, {10, ValueBytes<int64_t>(-2)}, {11, ValueBytes(1.5)}, {12, ValueBytes(1.0f)},
                  {13, ValueBytes<int32_t>(-3)}, {14, {1, 2, 3, 4}}, {10001, {0x0D, 0x0C, 0x0B, 0x0A}}};
    // clang-format on
    map.current_sizes[14] = 4;
    const std::string read_denied = "The read request contains unreadable register(s).";
    const auto partial_denied = [](const char* kind) {
        return "The partial write request not possible on unreadable  "s + kind +
               " register (read-modify-write needed).";
    };
    // clang-format off
    const struct Step { const char* name; bool write; uint64_t address; Bytes data;  /* written; for a read, as many 0xCC as are read */ GC_ERROR result; std::string calls; uint32_t id = 0;  /* a write: the register whose bytes must be `expected` */ Bytes expected{};  /* a read: the buffer after it */ std::string text{}; std::string fail_on{}; } steps[] = {
        {"every read-only type", false, 0x128, Bytes(32), GC_ERR_SUCCESS, "r9 r10 r11 r12 r13", 0,
         {8, 7, 6, 5, 4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F,
          0x00, 0x00, 0x80, 0x3F, 0xFD, 0xFF, 0xFF, 0xFF}},
        {"the first failure ends a read", false, 0x128, Bytes(12), GC_ERR_IO, "r9 r10", 0,
         {8, 7, 6, 5, 4, 3, 2, 1, 0xCC, 0xCC, 0xCC, 0xCC}, "", "r10"},
        {"across boundaries", false, 0x10E, Bytes(4), GC_ERR_SUCCESS, "a4 r4 r5", 0, {0, 0, 1, 2}},
        {"string padded with NULs", false, 0x119, Bytes(4), GC_ERR_SUCCESS, "r7", 0, {'b', 'c', 0, 0}},
        {"raw beyond the bytes held", false, 0x110, Bytes(4), GC_ERR_IO, "r5", 0, {}, "Failed to read all requested data from raw register"},
        {"over a write-only one", false, 0x100, Bytes(8), GC_ERR_ACCESS_DENIED, "", 0, Bytes(8, 0xCC), read_denied},
        {"over a gap", false, 0x148, Bytes(1), GC_ERR_ACCESS_DENIED, "", 0, Bytes(1, 0xCC), read_denied},
        {"code 3", false, 0x15C, Bytes(4), GC_ERR_ACCESS_DENIED, ""},
        {"not accessible", false, 0x160, Bytes(4), GC_ERR_ACCESS_DENIED, ""},
        {"before the map", false, 0xFF, Bytes(1), GC_ERR_INVALID_ADDRESS, "", 0, {}, "The read request exceeds bounds of the register map."},
        {"zero size", false, 0x100, Bytes(), GC_ERR_INVALID_PARAMETER, "", 0, {}, "The read request of zero size required."},
        {"custom by id", false, 0x50000000, Bytes(4), GC_ERR_SUCCESS, "cr10001", 0, {0x0D, 0x0C, 0x0B, 0x0A}},
        {"partial ones read first", true, 0x102, {0xAA, 0xBB, 1, 2, 3, 4, 0xCC, 0xDD}, GC_ERR_SUCCESS, "r1 w1 w2 r3 w3", 1, {0x44, 0x33, 0xAA, 0xBB}},
        {"no write after a failed read", true, 0x104, {9, 9, 9, 9, 5, 6}, GC_ERR_IO, "w2 r3", 3, {0xCC, 0xDD, 0x66, 0x55}, "", "r3"},
        {"partial write-only", true, 0x106, {0xAA}, GC_ERR_ACCESS_DENIED, "", 0, {}, partial_denied("numeric")},
        {"module decides, whole", true, 0x10C, {4, 3, 2, 1}, GC_ERR_SUCCESS, "a4 w4", 4, {4, 3, 2, 1}},
        {"module decides, never partial", true, 0x10C, {0xFF}, GC_ERR_ACCESS_DENIED, "a4", 4, {4, 3, 2, 1}, partial_denied("numeric")},
        {"raw partial", true, 0x111, {0xAA, 0xBB}, GC_ERR_SUCCESS, "r5 w5", 5, {1, 0xAA, 0xBB}},
        {"raw partial beyond the bytes held", true, 0x112, {1, 2}, GC_ERR_IO, "r5", 0, {}, "Failed to read-modify-write all requested data to raw register"},
        {"raw write-only partial", true, 0x114, {0xAA}, GC_ERR_ACCESS_DENIED, "", 0, {}, partial_denied("raw")},
        {"raw write-only whole", true, 0x114, {9, 8, 7, 6}, GC_ERR_SUCCESS, "w6", 6, {9, 8, 7, 6}},
        {"string whole passes every byte", true, 0x118, BytesOf("xyz\0\0\0\0\0"s), GC_ERR_SUCCESS, "w7", 7, BytesOf("xyz\0\0\0\0\0"s)},
        {"string ended by a NUL", true, 0x118, {'a', 'b', 0, 'c', 0}, GC_ERR_SUCCESS, "w7", 7, BytesOf("ab")},
        {"string partial", true, 0x118, {'J'}, GC_ERR_SUCCESS, "r7 w7", 7, BytesOf("Jb")},
        {"string lengthened", true, 0x11B, {'Q', 'Q'}, GC_ERR_SUCCESS, "r7 w7", 7, BytesOf("Jb\0QQ"s)},
        {"string write-only partial", true, 0x120, {'a', 'b'}, GC_ERR_ACCESS_DENIED, "", 0, {}, partial_denied("string")},
        {"string write-only, NUL not at its start", true, 0x121, {'a', 0}, GC_ERR_ACCESS_DENIED, ""},
        {"string write-only ended by a NUL", true, 0x120, {'a', 'b', 0}, GC_ERR_SUCCESS, "w8", 8, BytesOf("ab")},
        {"custom by id", true, 0x50000000, {9, 0, 0, 0}, GC_ERR_SUCCESS, "cw10001", 10001, {9, 0, 0, 0}},
        {"over a read-only one", true, 0x124, Bytes(8), GC_ERR_ACCESS_DENIED, "", 0, {}, "The write request contains unwritable register(s)."},
        {"code 3", true, 0x15C, Bytes(4), GC_ERR_ACCESS_DENIED, ""},
        {"zero size", true, 0x100, Bytes(), GC_ERR_INVALID_PARAMETER, "", 0, {}, "The write request of zero size required."},
        {"variable: its current length is whole", true, 0x150, {9, 8, 7, 6}, GC_ERR_SUCCESS, "s14 w14", 14, {9, 8, 7, 6}},
        {"variable: shorter is partial", true, 0x151, {1, 2}, GC_ERR_SUCCESS, "s14 r14 w14", 14, {9, 1, 2, 6}},
        {"variable: beyond its current length", true, 0x150, Bytes(8), GC_ERR_INVALID_ADDRESS, "s14", 14, {9, 1, 2, 6},
         "The write request exceeds the current size of a variable-size register."},
        {"variable: starting past it", true, 0x156, Bytes(6), GC_ERR_INVALID_ADDRESS, "s14"},
        {"variable: size query fails", true, 0x150, {1, 1, 1, 1}, GC_ERR_IO, "s14", 14, {9, 1, 2, 6}, "", "s14"},
    };
    // clang-format on
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        map.calls.clear();
        map.fail_on = step.fail_on;
        Bytes bytes = step.write ? step.data : Bytes(step.data.size(), 0xCC);
        bytes.reserve(1);  // a request of size 0 still has a buffer
        EXPECT_EQ(step.result, Access(map, step.write, step.address, bytes.data(), bytes.size()));
        EXPECT_EQ(step.calls, map.calls);
        EXPECT_EQ(step.text, step.text.empty() ? "" : LastErrorText());
        EXPECT_EQ(step.expected, step.id                               ? map.values[step.id]
                                 : step.write || step.expected.empty() ? step.expected
                                                                       : bytes);
    }
    // A size the module claims above the declared one is refused; a full
    // current length continues into the next register.
    map.fail_on.clear();
    map.current_sizes[14] = 12;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(map, true, 0x150, Bytes(1).data(), 1));
    map.current_sizes[14] = 8;
    map.values[14] = Bytes(8);
    Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(GC_ERR_SUCCESS, Access(map, true, 0x154, data.data(), 8));
    EXPECT_EQ((Bytes{0, 0, 0, 0, 1, 2, 3, 4}), map.values[14]);
    EXPECT_EQ((Bytes{5, 6, 7, 8}), map.values[15]);
    map.calls.clear();
    EXPECT_EQ(GC_ERR_SUCCESS,
              Access(map, false, 0x154, data.data(), 8));  // reads take the declared size
    EXPECT_EQ("r14 r15", map.calls);
    EXPECT_EQ(0, assertions.Failures());
}

// Bounds are compared without forming address + size, so no wrap looks valid.
TEST_F(RegisterMapTest, AcceptsOnlyRangesInsideTheMapAndRefusesBeforeTouchingAny)
{
    map.AddUInt32Register(0x1000, RW, 1);
    map.AddUInt32Register(0x1004, RW, 2);
    map.FinalizeRegMap();
    map.values = {{1, Bytes(4)}, {2, Bytes(4)}};
    // clang-format off
    const struct { uint64_t address; uint64_t size; GC_ERROR expected; } rows[] = {
        {0x1000, 8, GC_ERR_SUCCESS}, {0x1007, 1, GC_ERR_SUCCESS}, {0x0FFF, 1, GC_ERR_INVALID_ADDRESS},
        {0x0FFF, 2, GC_ERR_INVALID_ADDRESS}, {0x1008, 1, GC_ERR_INVALID_ADDRESS}, {0x1004, 5, GC_ERR_INVALID_ADDRESS},
        {0x1004, UINT64_MAX, GC_ERR_INVALID_ADDRESS},  // end wraps to 0x1003
        {UINT64_MAX, 0x1009, GC_ERR_INVALID_ADDRESS},  // end wraps to 0x1008
        {UINT64_MAX - 3, 4, GC_ERR_INVALID_ADDRESS}, {0x1006, 0, GC_ERR_INVALID_PARAMETER},
    };
    // clang-format on
    for (const bool write : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::to_string(write) + " " + std::to_string(row.address) + "+" +
                         std::to_string(row.size));
            map.calls.clear();
            uint8_t scratch[16] = {};
            EXPECT_EQ(row.expected, Access(map, write, row.address, scratch, row.size));
            EXPECT_TRUE(row.expected == GC_ERR_SUCCESS || map.calls.empty());
        }
        EXPECT_EQ(GC_ERR_INVALID_BUFFER, Access(map, write, 0x1000, nullptr, 4));
        EXPECT_EQ(write ? "The write request has no data." : "The read request has no buffer.",
                  LastErrorText());
    }
    TestModule empty;
    empty.FinalizeRegMap();
    uint8_t byte = 0;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, Access(empty, false, 0, &byte, 1));
    EXPECT_EQ(0, assertions.Failures());
}

// Overlapping, empty, late, or reaching the top of the address space:
// refused; gaps become fillers that refuse every access. Table rows take
// numeric sizes from their type; custom ones stay in their window.
TEST_F(RegisterMapTest, RefusesRegistersThatWouldBreakTheOrderOrLeaveTheirWindow)
{
    // clang-format off
    const RegisterDefinition table[] = {
        {1, REG_TYPE_UINT32, 0x0, 2, RW, true},  // size and flag ignored
        {2, REG_TYPE_STRING, 0x4, 6, RW, true},  // flag ignored
        {3, REG_TYPE_RAW, 0xA, 2, RW, true},
        {4, REG_TYPE_NONE, 0xC, 4, RW, false},  // skipped
        {5, 99, 0x10, 4, RW, false},            // skipped
    };
    // The last three: before or after the window, or a core id.
    map.custom_table = {{10001, REG_TYPE_RAW, 0x9FFFFFF8, 8, RW, false}, {10002, REG_TYPE_UINT32, 0x4FFFFFE0, 4, RW, false},
                        {10003, REG_TYPE_RAW, 0xA0000010, 4, RW, false}, {42, REG_TYPE_UINT32, 0x60000000, 4, RW, false}};
    // clang-format on
    map.AddRegisters(table);
    map.AddCustomRegisters();
    map.AddUInt32Register(0x4FFFFFF0, RO, 10000);     // custom id
    map.AddRawRegister(0x9FFFFFF0, 4, RO, 6, false);  // inside the window
    map.AddUInt32Register(0xA0000000, RO, 7);
    map.AddUInt32Register(0x108, RW, 11);
    map.AddUInt32Register(0x10A, RW, 12);  // starts inside the one before
    map.AddUInt32Register(0x106, RW, 13);  // ends inside it
    map.AddUInt32Register(0x104, RW, 14);  // ends where it starts
    map.AddStringRegister(0x110, 0, RO, 15);
    map.AddRawRegister(UINT64_MAX - 4, 4, RW, 16, false);  // would end at the top
    map.AddRawRegister(UINT64_MAX - 3, 8, RW, 17, false);  // would wrap to 4
    map.AddRawRegister(UINT64_MAX - 5, 4, RW, 18, false);  // ends one below the top
    map.FinalizeRegMap();
    map.AddUInt32Register(0x114, RW, 19);
    EXPECT_EQ(13, assertions.Failures());
    map.values = {{11, {1, 1, 1, 1}}, {14, {4, 4, 4, 4}}, {18, {8, 8, 8, 8}}};
    map.current_sizes[3] = 2;
    Bytes ones(12, 0x31), bytes(8);
    // clang-format off
    ExpectCalls({
        {[&] { return Access(map, true, 0x0, ones.data(), 12); }, GC_ERR_SUCCESS},
        {[&] { return Access(map, false, 0xC, ones.data(), 1); }, GC_ERR_ACCESS_DENIED},
        {[&] { return Access(map, false, 0x104, bytes.data(), 8); }, GC_ERR_SUCCESS},
        {[&] { return Access(map, false, UINT64_MAX - 5, bytes.data(), 4); }, GC_ERR_SUCCESS},
        {[&] { return Access(map, false, UINT64_MAX - 1, bytes.data(), 1); }, GC_ERR_INVALID_ADDRESS},
        {[&] { return Access(map, true, 0x110, bytes.data(), 1); }, GC_ERR_ACCESS_DENIED, "The write request contains unwritable register(s)."},  // a filler now
    });
    EXPECT_EQ((std::vector<Bytes>{Bytes(4, 0x31), BytesOf("111111"), Bytes(2, 0x31)}), (std::vector<Bytes>{map.values[1], map.values[2], map.values[3]}));
    // clang-format on
    EXPECT_EQ("w1 w2 s3 w3 r14 r11 r18", map.calls);
    EXPECT_EQ((Bytes{8, 8, 8, 8, 1, 1, 1, 1}), bytes);
}

// A numeric register declared at a size other than its type's is neither
// read nor written whole: an internal error, asserting on the slice.
TEST_F(RegisterMapTest, NumericRegisterOfAnotherSizeFailsAsAnInternalError)
{
    const struct {
        uint64_t size;
        bool write;
        const char* assertion;
    } rows[] = {
        {8, false, "offset + size <= sizeof(T)"},
        {8, true, "offset + size <= sizeof(T)"},
        {2, true, "size == sizeof(T)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.size) + (row.write ? " write" : " read"));
        TestModule bare;
        bare.AddRegister(0x0, row.size, RW, REG_TYPE_UINT32, 1, false);
        bare.FinalizeRegMap();
        const int before = assertions.Failures();
        uint8_t bytes[8] = {};
        EXPECT_EQ(GC_ERR_ERROR, Access(bare, row.write, 0x0, bytes, row.size));
        EXPECT_EQ("Internal register access error", LastErrorText());
        EXPECT_EQ(before + 1, assertions.Failures());
        EXPECT_EQ(row.assertion, assertions.Texts().back());
    }
}

TEST_F(RegisterMapTest, AccessorsTheModuleDidNotOverrideFailAsInternalErrors)
{
    // clang-format off
    const struct { uint32_t type; uint32_t id; bool write; const char* text; } rows[] = {
        {REG_TYPE_UINT64, 1, false, "Internal error: unexpected uint64 register read access"},
        {REG_TYPE_FLOAT64, 1, true, "Internal error: unexpected float64 register write access"},
        {REG_TYPE_STRING, 1, false, "Internal error: unexpected string register read access"},
        {REG_TYPE_RAW, 1, true, "Internal error: unexpected variable sized register size query"},
        {REG_TYPE_INT64, 10001, true, "Internal error: unexpected int64 custom register write access"},
        {REG_TYPE_RAW, 10001, false, "Internal error: unexpected raw custom register read access"},
        {REG_TYPE_RAW, 10001, true, "Internal error: unexpected variable sized custom register size query"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const uint64_t address = row.id < CUSTOM_REGID_BASE ? 0x0 : 0x50000000;
        TestModule bare;
        bare.values.clear();
        bare.AddRegister(address, 8, RW, row.type, row.id, row.type == REG_TYPE_RAW);
        bare.FinalizeRegMap();
        const int before = assertions.Failures();
        uint8_t bytes[8] = {};
        EXPECT_EQ(GC_ERR_ERROR, Access(bare, row.write, address, bytes, 8));
        EXPECT_EQ(row.text, LastErrorText());
        EXPECT_EQ(before + 1, assertions.Failures());
    }
    TestModule bare;
    bare.values.clear();
    bare.AddRegister(0x0, 4, BY_MODULE, REG_TYPE_UINT32, 1, false);
    bare.FinalizeRegMap();
    uint8_t bytes[4] = {};
    const int before = assertions.Failures();
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, Access(bare, false, 0, bytes, 4));
    EXPECT_EQ(before + 1, assertions.Failures());
}
