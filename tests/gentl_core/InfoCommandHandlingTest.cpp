// InfoCommandHandlingTest.cpp: the typed outputs behind every info and ID query.
#include "gentl_core/InfoCommandHandling.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

constexpr uint8_t UNTOUCHED = 0xAA;
constexpr INFO_DATATYPE UNTOUCHED_TYPE = 77;
constexpr size_t BUFFER_BYTES = 16;

LastErrorRecord ReadLastError()
{
    LastErrorRecord record;
    EXPECT_TRUE(TLSControl::Instance()->GetLastError(record));
    return record;
}

class RelaxedBranding : public DefaultBranding {
public:
    bool RelaxedPointerChecks() const override { return true; }
};

void UseRelaxedBranding()
{
    BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>(new RelaxedBranding));
}

// The consumer's side of one call: a type variable, a buffer and its size.
struct Outputs {
    INFO_DATATYPE type = UNTOUCHED_TYPE;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(BUFFER_BYTES, UNTOUCHED);
    size_t size = BUFFER_BYTES;

    bool BufferUntouched() const
    {
        return buffer == std::vector<uint8_t>(BUFFER_BYTES, UNTOUCHED);
    }
    // The first `count` bytes of the buffer.
    std::vector<uint8_t> Head(size_t count) const
    {
        return std::vector<uint8_t>(buffer.begin(), buffer.begin() + count);
    }
};

using InfoCall = std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)>;

// Asked without a buffer, then with one of exactly the answer's size and a
// larger one: the answer, its type and size, and nothing written beyond it.
void ExpectSizeQueryAndFill(const InfoCall& call, INFO_DATATYPE expected_type,
                            const std::vector<uint8_t>& expected_bytes)
{
    Outputs out;
    out.size = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, call(&out.type, nullptr, &out.size));
    EXPECT_EQ(expected_type, out.type);
    EXPECT_EQ(expected_bytes.size(), out.size);
    for (size_t size : {expected_bytes.size(), BUFFER_BYTES}) {
        out.size = size;
        ASSERT_EQ(GC_ERR_SUCCESS, call(&out.type, out.buffer.data(), &out.size));
        EXPECT_EQ(expected_bytes.size(), out.size);
        EXPECT_EQ(expected_bytes, out.Head(expected_bytes.size()));
        EXPECT_EQ(UNTOUCHED, out.buffer[expected_bytes.size()]);
    }
}

// ---- Numbers ----

struct NumericCase {
    const char* name;
    InfoCall call;
    INFO_DATATYPE expected_type;
    std::vector<uint8_t> expected_bytes;  // little-endian, worked out by hand
};

std::vector<NumericCase> NumericCases()
{
    return {
        {"Int32", [](auto t, auto b, auto s) { return CopyInfoInt32(-5, t, b, s); }, 5,
         {0xFB, 0xFF, 0xFF, 0xFF}},
        {"UInt32", [](auto t, auto b, auto s) { return CopyInfoUInt32(0x11223344u, t, b, s); },
         6, {0x44, 0x33, 0x22, 0x11}},
        {"UInt64",
         [](auto t, auto b, auto s) { return CopyInfoUInt64(0x0102030405060708u, t, b, s); }, 8,
         {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
        {"SizeT", [](auto t, auto b, auto s) { return CopyInfoSizeT(4096, t, b, s); }, 12,
         {0x00, 0x10, 0, 0, 0, 0, 0, 0}},
        {"Ptr",
         [](auto t, auto b, auto s) {
             return CopyInfoPtr(reinterpret_cast<const void*>(0xC0DE00001234u), t, b, s);
         },
         10, {0x34, 0x12, 0x00, 0x00, 0xDE, 0xC0, 0x00, 0x00}},
        {"Bool8True", [](auto t, auto b, auto s) { return CopyInfoBool8(true, t, b, s); }, 11,
         {0x01}},
        {"Bool8False", [](auto t, auto b, auto s) { return CopyInfoBool8(false, t, b, s); }, 11,
         {0x00}},
        {"Bool8FromNonzeroByte",
         [](auto t, auto b, auto s) { return CopyInfoValue<bool8_t>(7, t, b, s); }, 11, {0x01}},
        {"UInt64AsSize",
         [](auto t, auto b, auto s) {
             return CopyInfoValue(uint64_t{258}, INFO_DATATYPE_SIZET, t, b, s);
         },
         12, {0x02, 0x01, 0, 0, 0, 0, 0, 0}},
    };
}

// NumericAnswer: every numeric answer follows the same size, type and buffer rules.
class NumericAnswerTest : public ::testing::TestWithParam<NumericCase> {
protected:
    Outputs out;
    size_t ValueSize() const { return GetParam().expected_bytes.size(); }
    GC_ERROR Call(INFO_DATATYPE* type, void* buffer, size_t* size) const
    {
        return GetParam().call(type, buffer, size);
    }
};

TEST_P(NumericAnswerTest, AnswersTheSizeAloneOrWritesTheValueAndNothingBeyond)
{
    ExpectSizeQueryAndFill(GetParam().call, GetParam().expected_type, GetParam().expected_bytes);
}

TEST_P(NumericAnswerTest, RefusesABufferOneByteShortAndWritesNothing)
{
    out.size = ValueSize() - 1;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, Call(&out.type, out.buffer.data(), &out.size));
    EXPECT_TRUE(out.BufferUntouched());
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    EXPECT_EQ(ValueSize() - 1, out.size);
    LastErrorRecord error = ReadLastError();
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, error.code);
    EXPECT_EQ("A buffer passed to the get-info function is too small to hold given numeric value.",
              error.text);
}

TEST_P(NumericAnswerTest, RefusesANullSizeOrTypePointerWritingNothing)
{
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(&out.type, out.buffer.data(), nullptr));
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    EXPECT_EQ("Invalid buffer size pointer in a get-info function.", ReadLastError().text);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(nullptr, out.buffer.data(), &out.size));
    EXPECT_EQ(BUFFER_BYTES, out.size);
    EXPECT_EQ("Pointer for datatype value set to NULL in a get-info function.",
              ReadLastError().text);
    out.size = 0;  // the type pointer is checked before the buffer size
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(nullptr, out.buffer.data(), &out.size));
    EXPECT_TRUE(out.BufferUntouched());
}

TEST_P(NumericAnswerTest, RelaxedChecksAcceptANullTypeOrSizePointerBesideABuffer)
{
    UseRelaxedBranding();
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(&out.type, nullptr, nullptr));
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    ASSERT_EQ(GC_ERR_SUCCESS, Call(nullptr, out.buffer.data(), &out.size));
    EXPECT_EQ(GetParam().expected_bytes, out.Head(ValueSize()));
    EXPECT_EQ(ValueSize(), out.size);
    out.buffer.assign(BUFFER_BYTES, UNTOUCHED);
    ASSERT_EQ(GC_ERR_SUCCESS, Call(&out.type, out.buffer.data(), nullptr));
    EXPECT_EQ(GetParam().expected_bytes, out.Head(ValueSize()));
    EXPECT_EQ(GetParam().expected_type, out.type);
}

INSTANTIATE_TEST_SUITE_P(EveryNumericType, NumericAnswerTest, ::testing::ValuesIn(NumericCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Strings, blocks and IDs ----

const std::string STRING_TOO_SMALL =
    "A buffer passed to the get-info function is too small to hold given string value.";
const std::string BLOCK_TOO_SMALL =
    "A buffer passed to the get-info function is too small to hold given buffer data.";
const std::string ID_TOO_SMALL =
    "A string buffer passed to the function is too small to hold given string value.";
const std::string MISSING_SIZE = "Output buffer size pointer set to NULL in a get-info function.";

struct SizedCase {
    const char* name;
    InfoCall call;
    bool has_type;  // ID queries have no type output
    INFO_DATATYPE expected_type;
    std::vector<uint8_t> expected_bytes;  // the answer, with its NUL for strings
    std::string too_small_message;
};

const uint8_t BLOCK[] = {0x01, 0x02, 0x03};

std::vector<SizedCase> SizedCases()
{
    return {
        {"String", [](auto t, auto b, auto s) { return CopyInfoString("abc", t, b, s); }, true,
         1, {'a', 'b', 'c', 0}, STRING_TOO_SMALL},
        {"EmptyString", [](auto t, auto b, auto s) { return CopyInfoString("", t, b, s); }, true,
         1, {0}, STRING_TOO_SMALL},
        {"Block",
         [](auto t, auto b, auto s) { return CopyInfoBuffer(BLOCK, sizeof BLOCK, t, b, s); },
         true, 13, {0x01, 0x02, 0x03}, BLOCK_TOO_SMALL},
        {"ID",
         [](auto, auto b, auto s) {
             return CopyIDString(static_cast<char*>(b), s, "Device_1");
         },
         false, UNTOUCHED_TYPE, {'D', 'e', 'v', 'i', 'c', 'e', '_', '1', 0}, ID_TOO_SMALL},
    };
}

// SizedAnswer: strings, blocks and IDs answer their own length.
class SizedAnswerTest : public ::testing::TestWithParam<SizedCase> {
protected:
    Outputs out;
    size_t AnswerSize() const { return GetParam().expected_bytes.size(); }
    GC_ERROR Call(INFO_DATATYPE* type, void* buffer, size_t* size) const
    {
        return GetParam().call(type, buffer, size);
    }
};

TEST_P(SizedAnswerTest, AnswersTheSizeAloneOrWritesTheAnswerAndNothingBeyond)
{
    ExpectSizeQueryAndFill(GetParam().call, GetParam().expected_type, GetParam().expected_bytes);
}

TEST_P(SizedAnswerTest, RefusesABufferOneByteShortAndWritesNothing)
{
    out.size = AnswerSize() - 1;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, Call(&out.type, out.buffer.data(), &out.size));
    EXPECT_TRUE(out.BufferUntouched());
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    EXPECT_EQ(AnswerSize() - 1, out.size);
    EXPECT_EQ(GetParam().too_small_message, ReadLastError().text);
}

TEST_P(SizedAnswerTest, RefusesANullSizePointerFirstAndEvenWhenRelaxed)
{
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(nullptr, out.buffer.data(), nullptr));
    EXPECT_EQ(MISSING_SIZE, ReadLastError().text);
    UseRelaxedBranding();
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, Call(&out.type, out.buffer.data(), nullptr));
    EXPECT_TRUE(out.BufferUntouched());
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    LastErrorRecord error = ReadLastError();
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, error.code);
    EXPECT_EQ(MISSING_SIZE, error.text);
}

TEST_P(SizedAnswerTest, TreatsANullTypePointerAsTheBrandingSays)
{
    const GC_ERROR result = Call(nullptr, out.buffer.data(), &out.size);
    if (!GetParam().has_type) {
        EXPECT_EQ(GC_ERR_SUCCESS, result);
        return;
    }
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, result);
    EXPECT_TRUE(out.BufferUntouched());
    EXPECT_EQ("Pointer for datatype value set to NULL in a get-info function.",
              ReadLastError().text);
    UseRelaxedBranding();
    ASSERT_EQ(GC_ERR_SUCCESS, Call(nullptr, out.buffer.data(), &out.size));
    EXPECT_EQ(GetParam().expected_bytes, out.Head(AnswerSize()));
}

INSTANTIATE_TEST_SUITE_P(EverySizedAnswer, SizedAnswerTest, ::testing::ValuesIn(SizedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// EmptyBlock: a block answer without data is an internal fault, not a crash.
class EmptyBlockTest : public ::testing::Test {
protected:
    TestSupport::AssertionCounter assertions;
    Outputs out;
};

TEST_F(EmptyBlockTest, FailsTheAssertionAndAnswersAnErrorWithoutWriting)
{
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(nullptr, 4, &out.type, out.buffer.data(), &out.size));
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(BLOCK, 0, &out.type, out.buffer.data(), &out.size));
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_TRUE(out.BufferUntouched());
    EXPECT_EQ(UNTOUCHED_TYPE, out.type);
    EXPECT_EQ(BUFFER_BYTES, out.size);
}

// A string with a NUL inside is answered whole: the size follows the length.
TEST(StringAnswerTest, CopiesEmbeddedBytesUpToItsLength)
{
    Outputs out;
    const std::string value("a\0b", 3);
    ASSERT_EQ(GC_ERR_SUCCESS, CopyInfoString(value, &out.type, out.buffer.data(), &out.size));
    EXPECT_EQ(4u, out.size);
    EXPECT_EQ((std::vector<uint8_t>{'a', 0, 'b', 0}), out.Head(4));
}

}  // namespace
}  // namespace GenTLCore
