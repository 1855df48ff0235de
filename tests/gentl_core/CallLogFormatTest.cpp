#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gentl_core/CallLogFormat.h"

namespace {

using namespace GenTLCore;

using Bytes = std::vector<uint8_t>;

// The little-endian bytes of `value`.
template <typename T>
Bytes BytesOf(T value)
{
    Bytes bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A heap copy of exactly `bytes.size()` bytes, so that the address sanitizer
// catches a read of one byte more.
std::unique_ptr<uint8_t[]> ExactCopy(const Bytes& bytes)
{
    auto copy = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return copy;
}

// Names a parameterised case after its `name` field.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

template <typename Format>
std::string Written(const Format& format)
{
    std::ostringstream out;
    format(out);
    return out.str();
}

// ---- Typed caller buffers ----

struct TypedBufferCase {
    const char* name;
    INFO_DATATYPE type;
    Bytes bytes;  // the whole buffer; its size is the size given
    std::string expected;
};

void PrintTo(const TypedBufferCase& c, std::ostream* out)
{
    *out << c.name;
}

class CallLogBufferTest : public ::testing::TestWithParam<TypedBufferCase> {};

TEST_P(CallLogBufferTest, PrintsTheFormOfItsTypeWithinItsSize)
{
    const TypedBufferCase& c = GetParam();
    const auto buffer = ExactCopy(c.bytes);
    const size_t size = c.bytes.size();
    EXPECT_EQ(c.expected,
              Written([&](std::ostream& out) { FormatBuffer(out, buffer.get(), &c.type, &size); }));
}

const std::string X128(128, 'x');

INSTANTIATE_TEST_SUITE_P(
    Numbers, CallLogBufferTest,
    ::testing::Values(
        TypedBufferCase{"Int16", INFO_DATATYPE_INT16, BytesOf<int16_t>(-2), "-2"},
        TypedBufferCase{"Uint16", INFO_DATATYPE_UINT16, Bytes{0xff, 0xff}, "65535"},
        TypedBufferCase{"Int32", INFO_DATATYPE_INT32, BytesOf<int32_t>(-123456), "-123456"},
        TypedBufferCase{"Uint32", INFO_DATATYPE_UINT32, Bytes(4, 0xff), "4294967295"},
        TypedBufferCase{"Int64", INFO_DATATYPE_INT64, BytesOf(std::numeric_limits<int64_t>::min()),
                        "-9223372036854775808"},
        TypedBufferCase{"Ptrdiff", INFO_DATATYPE_PTRDIFF, Bytes(8, 0xff), "-1"},
        TypedBufferCase{"Uint64", INFO_DATATYPE_UINT64, Bytes(8, 0xff), "18446744073709551615"},
        TypedBufferCase{"SizeT", INFO_DATATYPE_SIZET, BytesOf<uint64_t>(4096), "4096"},
        TypedBufferCase{"Float64", INFO_DATATYPE_FLOAT64, BytesOf(1.5), "1.5"},
        TypedBufferCase{"Float64SixDigits", INFO_DATATYPE_FLOAT64, BytesOf(0.1234567), "0.123457"},
        TypedBufferCase{"Float64Exponent", INFO_DATATYPE_FLOAT64, BytesOf(1e20), "1e+20"},
        TypedBufferCase{"Pointer", INFO_DATATYPE_PTR, BytesOf<uint64_t>(0x1D2C49E2A10),
                        "000001D2C49E2A10"},
        TypedBufferCase{"Bool8True", INFO_DATATYPE_BOOL8, Bytes{1}, "1"},
        TypedBufferCase{"Bool8NonzeroIsTrue", INFO_DATATYPE_BOOL8, Bytes{7}, "1"},
        TypedBufferCase{"Bool8False", INFO_DATATYPE_BOOL8, Bytes{0}, "0"}),
    CaseName<TypedBufferCase>);

INSTANTIATE_TEST_SUITE_P(
    Dumps, CallLogBufferTest,
    ::testing::Values(
        TypedBufferCase{"EightBytes", INFO_DATATYPE_BUFFER, Bytes{1, 2, 3, 4, 5, 6, 7, 0xab},
                        "{ 01 02 03 04 05 06 07 ab }"},
        TypedBufferCase{"NineBytes", INFO_DATATYPE_BUFFER, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9},
                        "{ 01 02 03 04 05 06 07 08 ... }"},
        TypedBufferCase{"NoBytes", INFO_DATATYPE_BUFFER, Bytes{}, "{ }"},
        TypedBufferCase{"UnknownType", INFO_DATATYPE_UNKNOWN, Bytes{10, 11, 12}, "{ 0a 0b 0c }"},
        TypedBufferCase{"TypeTwo", 2, Bytes{0x54, 0x65}, "{ 54 65 }"},
        TypedBufferCase{"NegativeType", -1, Bytes{0}, "{ 00 }"},
        TypedBufferCase{"CustomType", INFO_DATATYPE_CUSTOM_ID, Bytes{0xff}, "{ ff }"}),
    CaseName<TypedBufferCase>);

INSTANTIATE_TEST_SUITE_P(
    Texts, CallLogBufferTest,
    ::testing::Values(TypedBufferCase{"StopsAtZero", INFO_DATATYPE_STRING,
                                      Text(std::string("abc\0def", 7)), "abc"},
                      TypedBufferCase{"WithoutZeroStopsAtSize", INFO_DATATYPE_STRING, Text("hello"),
                                      "hello"},
                      TypedBufferCase{"Exactly128Bytes", INFO_DATATYPE_STRING, Text(X128), X128},
                      TypedBufferCase{"Text128WithItsZero", INFO_DATATYPE_STRING,
                                      Text(X128 + std::string(1, '\0')), X128 + "..."},
                      TypedBufferCase{"Size200Holding199", INFO_DATATYPE_STRING,
                                      Text(std::string(199, 'y') + std::string(1, '\0')),
                                      std::string(128, 'y') + "..."},
                      TypedBufferCase{"ShortTextInLargeBuffer", INFO_DATATYPE_STRING,
                                      Text("abc" + std::string(197, '\0')), "abc..."},
                      TypedBufferCase{"EmptyBuffer", INFO_DATATYPE_STRING, Bytes{}, ""}),
    CaseName<TypedBufferCase>);

// A number wider than the size left after a failed call is dumped, never read whole.
INSTANTIATE_TEST_SUITE_P(
    TooSmallForTheType, CallLogBufferTest,
    ::testing::Values(
        TypedBufferCase{"Uint64InOneByte", INFO_DATATYPE_UINT64, Bytes{0x2a}, "{ 2a }"},
        TypedBufferCase{"Int64InSevenBytes", INFO_DATATYPE_INT64, Bytes(7, 0x11),
                        "{ 11 11 11 11 11 11 11 }"},
        TypedBufferCase{"Int32InThreeBytes", INFO_DATATYPE_INT32, Bytes{1, 2, 3}, "{ 01 02 03 }"},
        TypedBufferCase{"Uint16InOneByte", INFO_DATATYPE_UINT16, Bytes{9}, "{ 09 }"},
        TypedBufferCase{"Float64InNoBytes", INFO_DATATYPE_FLOAT64, Bytes{}, "{ }"},
        TypedBufferCase{"PointerInFourBytes", INFO_DATATYPE_PTR, Bytes{1, 0, 0, 0},
                        "{ 01 00 00 00 }"},
        TypedBufferCase{"Bool8InNoBytes", INFO_DATATYPE_BOOL8, Bytes{}, "{ }"}),
    CaseName<TypedBufferCase>);

class CallLogBufferMissingPartsTest : public ::testing::Test {
protected:
    std::string Format(const void* buffer, const INFO_DATATYPE* type, const size_t* size)
    {
        return Written([&](std::ostream& out) { FormatBuffer(out, buffer, type, size); });
    }

    uint64_t value = 42;
    size_t size = sizeof(value);
};

TEST_F(CallLogBufferMissingPartsTest, NullBufferThenTypeThenSizeAreNamed)
{
    const INFO_DATATYPE uint64_type = INFO_DATATYPE_UINT64;
    EXPECT_EQ("{ null }", Format(nullptr, &uint64_type, &size));
    EXPECT_EQ("{ null }", Format(nullptr, nullptr, nullptr));
    EXPECT_EQ("{ unknown command datatype }", Format(&value, nullptr, &size));
    const INFO_DATATYPE types[] = {INFO_DATATYPE_STRING, INFO_DATATYPE_UINT64, INFO_DATATYPE_INT16,
                                   INFO_DATATYPE_BUFFER, INFO_DATATYPE_BOOL8,  2};
    for (INFO_DATATYPE type : types) {
        EXPECT_EQ("{ unknown buffer size }", Format(&value, &type, nullptr)) << "type " << type;
    }
}

// ---- Input strings ----

class CallLogInputStringTest : public ::testing::TestWithParam<size_t> {};

TEST_P(CallLogInputStringTest, IsCutAfter128Characters)
{
    const size_t length = GetParam();
    const std::string text(length, 's');
    auto copy = std::make_unique<char[]>(length + 1);
    std::memcpy(copy.get(), text.c_str(), length + 1);
    const std::string expected = length > 128 ? std::string(128, 's') + "..." : text;
    EXPECT_EQ(expected, Written([&](std::ostream& out) { FormatString(out, copy.get()); }));
}

INSTANTIATE_TEST_SUITE_P(Lengths, CallLogInputStringTest,
                         ::testing::Values(0, 1, 127, 128, 129, 200));

TEST(CallLogInputStringNullTest, NullStringIsNull)
{
    EXPECT_EQ("{ null }", Written([](std::ostream& out) { FormatString(out, nullptr); }));
}

// ---- Register values ----

struct RegisterCase {
    const char* name;
    Bytes bytes;
    std::string expected;
};

void PrintTo(const RegisterCase& c, std::ostream* out)
{
    *out << c.name;
}

class CallLogRegisterValueTest : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(CallLogRegisterValueTest, AddsBothReadingsOnlyForTwoFourAndEightBytes)
{
    const RegisterCase& c = GetParam();
    const auto buffer = ExactCopy(c.bytes);
    const size_t size = c.bytes.size();
    EXPECT_EQ(c.expected,
              Written([&](std::ostream& out) { FormatRegisterValue(out, buffer.get(), &size); }));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CallLogRegisterValueTest,
    ::testing::Values(
        RegisterCase{"TwoBytes", Bytes{0x34, 0x12}, "{ 34 12 } [4660U, 4660S]"},
        RegisterCase{"TwoBytesNegative", Bytes{0x00, 0x80}, "{ 00 80 } [32768U, -32768S]"},
        RegisterCase{"FourBytesAllSet", Bytes(4, 0xff), "{ ff ff ff ff } [4294967295U, -1S]"},
        RegisterCase{"FourBytesZero", Bytes(4, 0), "{ 00 00 00 00 } [0U, 0S]"},
        RegisterCase{"EightBytesAllSet", Bytes(8, 0xff),
                     "{ ff ff ff ff ff ff ff ff } [18446744073709551615U, -1S]"},
        RegisterCase{"OneByte", Bytes{0x80}, "{ 80 }"},
        RegisterCase{"ThreeBytes", Bytes(3, 0xff), "{ ff ff ff }"},
        RegisterCase{"SixteenBytes", Bytes(16, 1), "{ 01 01 01 01 01 01 01 01 ... }"},
        RegisterCase{"NoBytes", Bytes{}, "{ }"}),
    CaseName<RegisterCase>);

TEST(CallLogRegisterValueMissingPartsTest, NullSizeOrBufferGivesNoReading)
{
    const uint32_t value = 1;
    const size_t size = sizeof(value);
    EXPECT_EQ("{ unknown buffer size }",
              Written([&](std::ostream& out) { FormatRegisterValue(out, &value, nullptr); }));
    EXPECT_EQ("{ null }",
              Written([&](std::ostream& out) { FormatRegisterValue(out, nullptr, &size); }));
}

// ---- Arrays ----

TEST(CallLogArrayTest, IsSizedByCountTimesEntrySize)
{
    const Bytes entries = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const auto buffer = ExactCopy(entries);
    const auto format = [&](const size_t* count, size_t entry_size) {
        return Written(
            [&](std::ostream& out) { FormatArray(out, buffer.get(), count, entry_size); });
    };
    const size_t none = 0;
    const size_t one = 1;
    const size_t two = 2;
    EXPECT_EQ("{ }", format(&none, 8));
    EXPECT_EQ("{ 01 02 03 04 05 06 07 08 }", format(&one, 8));
    EXPECT_EQ("{ 01 02 03 04 05 06 07 08 ... }", format(&two, 8));
    EXPECT_EQ("{ 01 02 03 04 05 06 07 08 ... }", format(&one, 16));
    EXPECT_EQ("{ unknown buffer size }", format(nullptr, 8));
}

TEST(CallLogArrayTest, HugeCountDoesNotWrapToASmallSize)
{
    const Bytes entries(24, 0xee);
    const auto buffer = ExactCopy(entries);
    // 2^64 / 8 entries of 8 bytes would wrap to 0 and print "{ }".
    const size_t count = (std::numeric_limits<size_t>::max() / 8) + 1;
    EXPECT_EQ("{ ee ee ee ee ee ee ee ee ... }",
              Written([&](std::ostream& out) { FormatArray(out, buffer.get(), &count, 8); }));
}

TEST(CallLogArrayTest, NullEntriesAreNullEvenWithoutCount)
{
    EXPECT_EQ("{ null }",
              Written([](std::ostream& out) { FormatArray(out, nullptr, nullptr, 24); }));
}

// ---- Scalars ----

TEST(CallLogPointerFormTest, IsSixteenUpperCaseHexDigits)
{
    const auto form = [](uintptr_t value) {
        return Written(
            [&](std::ostream& out) { FormatPointer(out, reinterpret_cast<const void*>(value)); });
    };
    EXPECT_EQ("0000000000000000", form(0));
    EXPECT_EQ("0000000000000ABC", form(0xabc));
    EXPECT_EQ("000001D2C49E2A10", form(0x1D2C49E2A10));
    EXPECT_EQ("FFFFFFFFFFFFFFFF", form(std::numeric_limits<uintptr_t>::max()));
}

TEST(CallLogAddressFormTest, IsLowerCaseHexAndLeavesTheStreamDecimal)
{
    const auto form = [](uint64_t address) {
        return Written([&](std::ostream& out) {
            FormatAddress(out, address);
            out << "," << 16;
        });
    };
    EXPECT_EQ("0x0,16", form(0));
    EXPECT_EQ("0xf000000,16", form(0x0F000000));
    EXPECT_EQ("0xffffffffffffffff,16", form(std::numeric_limits<uint64_t>::max()));
}

TEST(CallLogPointeeFormTest, PrintsEachKindOrNull)
{
    const size_t size = std::numeric_limits<size_t>::max();
    const uint32_t count = std::numeric_limits<uint32_t>::max();
    void* const handle = reinterpret_cast<void*>(uintptr_t{0xBEEF});
    const bool8_t set = 2;
    const bool8_t clear = 0;
    const GC_ERROR error = GC_ERR_TIMEOUT;
    const auto form = [](const auto* pointer) {
        return Written([&](std::ostream& out) { FormatPointee(out, pointer); });
    };
    EXPECT_EQ("18446744073709551615", form(&size));
    EXPECT_EQ("4294967295", form(&count));
    EXPECT_EQ("000000000000BEEF", form(&handle));
    EXPECT_EQ("true", form(&set));
    EXPECT_EQ("false", form(&clear));
    EXPECT_EQ("-1011 [GC_ERR_TIMEOUT]", form(&error));
    EXPECT_EQ("{ null }", form(static_cast<const size_t*>(nullptr)));
    EXPECT_EQ("{ null }", form(static_cast<const uint32_t*>(nullptr)));
    EXPECT_EQ("{ null }", form(static_cast<void* const*>(nullptr)));
    EXPECT_EQ("{ null }", form(static_cast<const bool8_t*>(nullptr)));
    EXPECT_EQ("{ null }", form(static_cast<const GC_ERROR*>(nullptr)));
}

// ---- Names ----

struct NameCase {
    NameTable table;
    int32_t value;
    const char* expected;
};

class CallLogNameTableTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(CallLogNameTableTest, NamesListedValuesAndCallsTheRestUnknown)
{
    EXPECT_STREQ(GetParam().expected, LookUpName(GetParam().table, GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, CallLogNameTableTest,
    ::testing::Values(
        NameCase{TL_INFO_NAMES, 0, "TL_INFO_ID"},
        NameCase{TL_INFO_NAMES, 10, "TL_INFO_GENTL_VER_MINOR"},
        NameCase{TL_INFO_NAMES, 11, "Unknown"}, NameCase{TL_INFO_NAMES, 1000, "Unknown"},
        NameCase{TL_INFO_NAMES, -1, "Unknown"},
        NameCase{BUFFER_INFO_NAMES, 31, "BUFFER_INFO_IS_COMPOSITE"},
        NameCase{BUFFER_INFO_NAMES, 32, "Unknown"},
        NameCase{BUFFER_PART_INFO_NAMES, 13, "BUFFER_PART_INFO_DATA_PURPOSE_ID"},
        NameCase{STREAM_INFO_NAMES, 15, "STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR"},
        NameCase{DEVICE_INFO_NAMES, 9, "DEVICE_INFO_TIMESTAMP_FREQUENCY"},
        NameCase{INTERFACE_INFO_NAMES, 2, "INTERFACE_INFO_TLTYPE"},
        NameCase{SEGMENT_INFO_NAMES, 4, "SEGMENT_INFO_DATA_SIZE"},
        NameCase{FLOW_INFO_NAMES, 0, "FLOW_INFO_SIZE"}, NameCase{FLOW_INFO_NAMES, 1, "Unknown"},
        NameCase{PORT_INFO_NAMES, 12, "PORT_INFO_PORTNAME"},
        NameCase{URL_INFO_NAMES, 10, "URL_INFO_FILENAME"},
        NameCase{EVENT_INFO_NAMES, 4, "EVENT_INFO_DATA_SIZE_MAX"},
        NameCase{EVENT_DATA_INFO_NAMES, 2, "EVENT_DATA_NUMID"},
        NameCase{EVENT_TYPE_NAMES, 5, "EVENT_MODULE"}, NameCase{EVENT_TYPE_NAMES, 6, "Unknown"},
        NameCase{DEVICE_ACCESS_NAMES, 4, "DEVICE_ACCESS_EXCLUSIVE"},
        NameCase{ACQ_QUEUE_NAMES, 4, "ACQ_QUEUE_ALL_DISCARD"},
        NameCase{ACQ_START_NAMES, 0, "ACQ_START_FLAGS_DEFAULT"},
        NameCase{ACQ_STOP_NAMES, 1, "ACQ_STOP_FLAGS_KILL"},
        NameCase{INFO_DATATYPE_NAMES, 1, "INFO_DATATYPE_STRING"},
        NameCase{INFO_DATATYPE_NAMES, 2, "Unknown"},
        NameCase{INFO_DATATYPE_NAMES, 3, "INFO_DATATYPE_INT16"},
        NameCase{INFO_DATATYPE_NAMES, 14, "INFO_DATATYPE_PTRDIFF"},
        NameCase{INFO_DATATYPE_NAMES, 15, "Unknown"}));

struct ErrorNameCase {
    GC_ERROR code;
    const char* expected;
};

class CallLogErrorNameTest : public ::testing::TestWithParam<ErrorNameCase> {};

TEST_P(CallLogErrorNameTest, NamesSuccessAndTheStandardErrorsOnly)
{
    EXPECT_STREQ(GetParam().expected, FormatErrorName(GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CallLogErrorNameTest,
    ::testing::Values(ErrorNameCase{0, "GC_ERR_SUCCESS"}, ErrorNameCase{-1001, "GC_ERR_ERROR"},
                      ErrorNameCase{-1009, "GC_ERR_INVALID_PARAMETER"},
                      ErrorNameCase{-1022, "GC_ERR_BUSY"}, ErrorNameCase{-1023, "GC_ERR_AMBIGUOUS"},
                      ErrorNameCase{-1024, "Unknown"}, ErrorNameCase{-1000, "Unknown"},
                      ErrorNameCase{-10000, "Unknown"}, ErrorNameCase{7, "Unknown"},
                      ErrorNameCase{-2000, "Unknown"}));

}  // namespace
