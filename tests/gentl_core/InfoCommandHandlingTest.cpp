// InfoCommandHandlingTest.cpp: the typed outputs behind every info and ID query.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/InfoCommandHandling.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

constexpr uint8_t UNTOUCHED = 0xAA;
constexpr INFO_DATATYPE UNTOUCHED_TYPE = 77;
constexpr size_t BUFFER_BYTES = 16;
using Bytes = std::vector<uint8_t>;
using InfoCall = std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)>;

std::string LastErrorText()
{
    LastErrorRecord record;
    EXPECT_TRUE(TLSControl::Instance()->GetLastError(record));
    return record.text;
}

class RelaxedBranding : public DefaultBranding {
public:
    bool RelaxedPointerChecks() const override { return true; }
};

void SetRelaxed(bool relaxed)
{
    BrandingControl::Instance()->Initialize(relaxed ? SharedPtr<GenTLBranding>(new RelaxedBranding)
                                                    : SharedPtr<GenTLBranding>());
}

// The consumer's side of one call: a type variable, a buffer and its size.
struct Outputs {
    INFO_DATATYPE type = UNTOUCHED_TYPE;
    Bytes buffer = Bytes(BUFFER_BYTES, UNTOUCHED);
    size_t size = BUFFER_BYTES;

    bool Untouched() const
    {
        return buffer == Bytes(BUFFER_BYTES, UNTOUCHED) && type == UNTOUCHED_TYPE;
    }
    Bytes Head(size_t count) const { return Bytes(buffer.begin(), buffer.begin() + count); }
};

const std::string NUMBER_TOO_SMALL =
    "A buffer passed to the get-info function is too small to hold given numeric value.";
const std::string STRING_TOO_SMALL =
    "A buffer passed to the get-info function is too small to hold given string value.";
const std::string BLOCK_TOO_SMALL =
    "A buffer passed to the get-info function is too small to hold given buffer data.";
const std::string ID_TOO_SMALL =
    "A string buffer passed to the function is too small to hold given string value.";
const std::string NUMBER_NO_SIZE = "Invalid buffer size pointer in a get-info function.";
const std::string NO_SIZE = "Output buffer size pointer set to NULL in a get-info function.";
const std::string NO_TYPE = "Pointer for datatype value set to NULL in a get-info function.";
const uint8_t BLOCK[] = {0x01, 0x02, 0x03};

struct Case {
    const char* name;
    InfoCall call;
    INFO_DATATYPE type;  // UNTOUCHED_TYPE: the call has no type output
    Bytes bytes;         // little-endian, worked out by hand; strings with their NUL
    std::string too_small;
    std::string no_size;  // numbers alone accept a missing size beside a buffer when relaxed
};

std::vector<Case> Cases()
{
    // clang-format off
    return {
        {"Int32", [](auto t, auto b, auto s) { return CopyInfoInt32(-5, t, b, s); }, 5, {0xFB, 0xFF, 0xFF, 0xFF}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"UInt32", [](auto t, auto b, auto s) { return CopyInfoUInt32(0x11223344u, t, b, s); }, 6, {0x44, 0x33, 0x22, 0x11}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"UInt64", [](auto t, auto b, auto s) { return CopyInfoUInt64(0x0102030405060708u, t, b, s); }, 8, {8, 7, 6, 5, 4, 3, 2, 1}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"SizeT", [](auto t, auto b, auto s) { return CopyInfoSizeT(4096, t, b, s); }, 12, {0x00, 0x10, 0, 0, 0, 0, 0, 0}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"Ptr", [](auto t, auto b, auto s) { return CopyInfoPtr(reinterpret_cast<const void*>(0xC0DE00001234u), t, b, s); }, 10, {0x34, 0x12, 0x00, 0x00, 0xDE, 0xC0, 0x00, 0x00}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"Bool8True", [](auto t, auto b, auto s) { return CopyInfoBool8(true, t, b, s); }, 11, {0x01}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"Bool8False", [](auto t, auto b, auto s) { return CopyInfoBool8(false, t, b, s); }, 11, {0x00}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"Bool8FromNonzeroByte", [](auto t, auto b, auto s) { return CopyInfoValue<bool8_t>(7, t, b, s); }, 11, {0x01}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"UInt64AsSize", [](auto t, auto b, auto s) { return CopyInfoValue(uint64_t{258}, INFO_DATATYPE_SIZET, t, b, s); }, 12, {0x02, 0x01, 0, 0, 0, 0, 0, 0}, NUMBER_TOO_SMALL, NUMBER_NO_SIZE},
        {"String", [](auto t, auto b, auto s) { return CopyInfoString("abc", t, b, s); }, 1, {'a', 'b', 'c', 0}, STRING_TOO_SMALL, NO_SIZE},
        {"EmbeddedNul", [](auto t, auto b, auto s) { return CopyInfoString(std::string("a\0b", 3), t, b, s); }, 1, {'a', 0, 'b', 0}, STRING_TOO_SMALL, NO_SIZE},
        {"EmptyString", [](auto t, auto b, auto s) { return CopyInfoString("", t, b, s); }, 1, {0}, STRING_TOO_SMALL, NO_SIZE},
        {"Block", [](auto t, auto b, auto s) { return CopyInfoBuffer(BLOCK, sizeof BLOCK, t, b, s); }, 13, {0x01, 0x02, 0x03}, BLOCK_TOO_SMALL, NO_SIZE},
        {"ID", [](auto, auto b, auto s) { return CopyIDString(static_cast<char*>(b), s, "Device_1"); }, UNTOUCHED_TYPE, {'D', 'e', 'v', 'i', 'c', 'e', '_', '1', 0}, ID_TOO_SMALL, NO_SIZE},
    };
    // clang-format on
}

// Every answer follows the same rules: asked without a buffer it gives its
// size, with one at least that large it writes itself and nothing beyond,
// and a refusal writes nothing at all.
TEST(InfoCommandHandlingTest, EveryAnswerFollowsTheGetInfoRules)
{
    for (const Case& row : Cases()) {
        SCOPED_TRACE(row.name);
        const bool numeric = row.no_size == NUMBER_NO_SIZE;
        const bool typed = row.type != UNTOUCHED_TYPE;
        Outputs out;
        out.size = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, row.call(&out.type, nullptr, &out.size));
        EXPECT_EQ(row.type, out.type);
        EXPECT_EQ(row.bytes.size(), out.size);
        for (size_t size : {row.bytes.size(), BUFFER_BYTES}) {
            out.size = size;
            ASSERT_EQ(GC_ERR_SUCCESS, row.call(&out.type, out.buffer.data(), &out.size));
            EXPECT_EQ(row.bytes.size(), out.size);
            EXPECT_EQ(row.bytes, out.Head(row.bytes.size()));
            EXPECT_EQ(UNTOUCHED, out.buffer[row.bytes.size()]);
        }

        Outputs refused;
        refused.size = row.bytes.size() - 1;
        EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL,
                  row.call(&refused.type, refused.buffer.data(), &refused.size));
        EXPECT_EQ(row.too_small, LastErrorText());
        EXPECT_EQ(row.bytes.size() - 1, refused.size);
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
                  row.call(&refused.type, refused.buffer.data(), nullptr));
        EXPECT_EQ(row.no_size, LastErrorText());
        refused.size = BUFFER_BYTES;
        EXPECT_EQ(typed ? GC_ERR_INVALID_PARAMETER : GC_ERR_SUCCESS,
                  row.call(nullptr, refused.buffer.data(), &refused.size));
        if (typed) {
            EXPECT_EQ(NO_TYPE, LastErrorText());
            refused.size = 0;  // the type pointer is checked before the buffer size
            EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
                      row.call(nullptr, refused.buffer.data(), &refused.size));
            EXPECT_TRUE(refused.Untouched());
        }

        // Relaxed checks accept a missing type pointer, and numbers a missing
        // size pointer beside a buffer, but never both missing.
        SetRelaxed(true);
        Outputs relaxed;
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, row.call(&relaxed.type, nullptr, nullptr));
        EXPECT_EQ(numeric ? GC_ERR_SUCCESS : GC_ERR_INVALID_PARAMETER,
                  row.call(&relaxed.type, relaxed.buffer.data(), nullptr));
        EXPECT_EQ(numeric ? row.bytes : Bytes(row.bytes.size(), UNTOUCHED),
                  relaxed.Head(row.bytes.size()));
        EXPECT_EQ(numeric ? row.type : UNTOUCHED_TYPE, relaxed.type);
        relaxed.buffer.assign(BUFFER_BYTES, UNTOUCHED);
        ASSERT_EQ(GC_ERR_SUCCESS, row.call(nullptr, relaxed.buffer.data(), &relaxed.size));
        EXPECT_EQ(row.bytes, relaxed.Head(row.bytes.size()));
        EXPECT_EQ(row.bytes.size(), relaxed.size);
        SetRelaxed(false);
    }
}

// A block answer without data is an internal fault, not a crash.
TEST(InfoCommandHandlingTest, EmptyBlockFailsTheAssertionAndAnswersAnErrorWithoutWriting)
{
    TestSupport::AssertionCounter assertions;
    Outputs out;
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(nullptr, 4, &out.type, out.buffer.data(), &out.size));
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(BLOCK, 0, &out.type, out.buffer.data(), &out.size));
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_TRUE(out.Untouched());
    EXPECT_EQ(BUFFER_BYTES, out.size);
}

}  // namespace
}  // namespace GenTLCore
