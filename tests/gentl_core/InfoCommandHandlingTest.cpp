// InfoCommandHandlingTest.cpp: the typed outputs behind every info and ID query.
#include <gtest/gtest.h>

#include <functional>

#include "CoreTestHelpers.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/InfoCommandHandling.h"
#include "support/AssertionCounter.h"

namespace GenTLCore {
namespace {

using namespace CoreTestHelpers;
constexpr uint8_t UNTOUCHED = 0xAA;
constexpr INFO_DATATYPE UNTOUCHED_TYPE = 77;
using InfoCall = std::function<GC_ERROR(INFO_DATATYPE*, void*, size_t*)>;

struct RelaxedBranding : DefaultBranding {
    bool RelaxedPointerChecks() const override { return true; }
};

// clang-format off
const std::string NUMBER = "A buffer passed to the get-info function is too small to hold given numeric value.";
const std::string STRING = "A buffer passed to the get-info function is too small to hold given string value.";
const std::string BLOCK = "A buffer passed to the get-info function is too small to hold given buffer data.";
const std::string ID = "A string buffer passed to the function is too small to hold given string value.";
const std::string NUMBER_NO_SIZE = "Invalid buffer size pointer in a get-info function.";
const std::string NO_SIZE = "Output buffer size pointer set to NULL in a get-info function.";
const std::string NO_TYPE = "Pointer for datatype value set to NULL in a get-info function.";
// clang-format on
const uint8_t DATA[] = {0x01, 0x02, 0x03};

// Every answer follows the same rules: asked without a buffer it gives its
// size, with one at least that large it writes itself and nothing beyond,
// and a refusal writes nothing at all. Relaxed checks accept a missing type
// pointer, and numbers a missing size pointer beside a buffer, never both missing.
TEST(InfoCommandHandlingTest, EveryAnswerFollowsTheGetInfoRules)
{
    // clang-format off
    const struct { const char* name; InfoCall call; INFO_DATATYPE type;  /* UNTOUCHED_TYPE: no type output */ Bytes bytes;  /* little-endian, by hand */ std::string too_small; } rows[] = {
        {"Int32", [](auto t, auto b, auto s) { return CopyInfoInt32(-5, t, b, s); }, 5, {0xFB, 0xFF, 0xFF, 0xFF}, NUMBER},
        {"UInt32", [](auto t, auto b, auto s) { return CopyInfoUInt32(0x11223344u, t, b, s); }, 6, {0x44, 0x33, 0x22, 0x11}, NUMBER},
        {"UInt64", [](auto t, auto b, auto s) { return CopyInfoUInt64(0x0102030405060708u, t, b, s); }, 8, {8, 7, 6, 5, 4, 3, 2, 1}, NUMBER},
        {"SizeT", [](auto t, auto b, auto s) { return CopyInfoSizeT(4096, t, b, s); }, 12, {0x00, 0x10, 0, 0, 0, 0, 0, 0}, NUMBER},
        {"Ptr", [](auto t, auto b, auto s) { return CopyInfoPtr(reinterpret_cast<const void*>(0xC0DE00001234u), t, b, s); }, 10, {0x34, 0x12, 0x00, 0x00, 0xDE, 0xC0, 0x00, 0x00}, NUMBER},
        {"Bool8True", [](auto t, auto b, auto s) { return CopyInfoBool8(true, t, b, s); }, 11, {0x01}, NUMBER},
        {"Bool8False", [](auto t, auto b, auto s) { return CopyInfoBool8(false, t, b, s); }, 11, {0x00}, NUMBER},
        {"Bool8FromNonzeroByte", [](auto t, auto b, auto s) { return CopyInfoValue<bool8_t>(7, t, b, s); }, 11, {0x01}, NUMBER},
        {"UInt64AsSize", [](auto t, auto b, auto s) { return CopyInfoValue(uint64_t{258}, INFO_DATATYPE_SIZET, t, b, s); }, 12, {0x02, 0x01, 0, 0, 0, 0, 0, 0}, NUMBER},
        {"String", [](auto t, auto b, auto s) { return CopyInfoString("abc", t, b, s); }, 1, {'a', 'b', 'c', 0}, STRING},
        {"EmbeddedNul", [](auto t, auto b, auto s) { return CopyInfoString(std::string("a\0b", 3), t, b, s); }, 1, {'a', 0, 'b', 0}, STRING},
        {"EmptyString", [](auto t, auto b, auto s) { return CopyInfoString("", t, b, s); }, 1, {0}, STRING},
        {"Block", [](auto t, auto b, auto s) { return CopyInfoBuffer(DATA, sizeof DATA, t, b, s); }, 13, {0x01, 0x02, 0x03}, BLOCK},
        {"ID", [](auto, auto b, auto s) { return CopyIDString(static_cast<char*>(b), s, "Device_1"); }, UNTOUCHED_TYPE, {'D', 'e', 'v', 'i', 'c', 'e', '_', '1', 0}, ID},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool numeric = row.too_small == NUMBER, typed = row.type != UNTOUCHED_TYPE;
        const size_t n = row.bytes.size();
        Bytes expected = row.bytes, untouched(16, UNTOUCHED);
        expected.resize(16, UNTOUCHED);
        for (const bool relaxed : {false, true}) {
            BrandingControl::Instance()->Initialize(
                relaxed ? SharedPtr<GenTLBranding>(new RelaxedBranding)
                        : SharedPtr<GenTLBranding>());
            // (type pointer given, buffer given, size given, size value) -> result, size after
            // clang-format off
            const struct { bool type, buffer, size; size_t value; GC_ERROR result; size_t after; std::string text; } probes[] = {
                {true, false, true, 0, GC_ERR_SUCCESS, n, ""},
                {true, true, true, n, GC_ERR_SUCCESS, n, ""},
                {true, true, true, 16, GC_ERR_SUCCESS, n, ""},
                {true, true, true, n - 1, GC_ERR_BUFFER_TOO_SMALL, n - 1, row.too_small},
                {true, false, false, 0, GC_ERR_INVALID_PARAMETER, 0, numeric ? NUMBER_NO_SIZE : NO_SIZE},
                {true, true, false, 0, relaxed && numeric ? GC_ERR_SUCCESS : GC_ERR_INVALID_PARAMETER, 0, relaxed ? "" : numeric ? NUMBER_NO_SIZE : NO_SIZE},
                {false, true, true, 16, typed && !relaxed ? GC_ERR_INVALID_PARAMETER : GC_ERR_SUCCESS, typed && !relaxed ? 16 : n, typed && !relaxed ? NO_TYPE : ""},
                {false, true, true, 0, typed && !relaxed ? GC_ERR_INVALID_PARAMETER : GC_ERR_BUFFER_TOO_SMALL, 0, typed && !relaxed ? NO_TYPE : row.too_small},
            };
            // clang-format on
            for (const auto& probe : probes) {
                SCOPED_TRACE(std::to_string(relaxed) + std::to_string(probe.value) + probe.text);
                INFO_DATATYPE type = UNTOUCHED_TYPE;
                Bytes buffer = untouched;
                size_t size = probe.value;
                EXPECT_EQ(probe.result, row.call(probe.type ? &type : nullptr,
                                                 probe.buffer ? buffer.data() : nullptr,
                                                 probe.size ? &size : nullptr));
                const bool written = probe.result == GC_ERR_SUCCESS && probe.buffer;
                EXPECT_EQ(written ? expected : untouched, buffer);
                EXPECT_EQ(probe.result == GC_ERR_SUCCESS && probe.type ? row.type : UNTOUCHED_TYPE,
                          type);
                EXPECT_EQ(probe.size ? probe.after : probe.value, size);
                EXPECT_EQ(probe.text, probe.text.empty() ? "" : LastErrorText());
            }
        }
        BrandingControl::Instance()->Initialize(SharedPtr<GenTLBranding>());
    }
    // A block answer without data is an internal fault, not a crash.
    TestSupport::AssertionCounter assertions;
    Bytes buffer(16, UNTOUCHED);
    size_t size = 16;
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(nullptr, 4, nullptr, buffer.data(), &size));
    EXPECT_EQ(GC_ERR_ERROR, CopyInfoBuffer(DATA, 0, nullptr, buffer.data(), &size));
    EXPECT_EQ("A get-info function was given no buffer data to return.", LastErrorText());
    EXPECT_EQ(2, assertions.Failures());
    EXPECT_EQ(Bytes(16, UNTOUCHED), buffer);
}

}  // namespace
}  // namespace GenTLCore
