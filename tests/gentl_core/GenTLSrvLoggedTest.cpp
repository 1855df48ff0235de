// The call log's value forms against hand-written texts. Each row's bytes are
// a heap copy of exactly their size, so the address sanitizer catches a form
// that reads one byte more than the size it is given. Every operation's lines
// are written by consumer_frontend_tests.logged, which runs the consumer tests
// with the log on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CoreTestHelpers.h"
#include "gentl_core/CallLogFormat.h"

namespace {

using namespace GenTLCore;
using namespace CoreTestHelpers;
using Form = std::function<void(std::ostream&, const void* bytes, const size_t* size)>;

// A form written out: `out`, the row's `bytes` and their `size`.
#define FORM(...)                                             \
    [](std::ostream& out, [[maybe_unused]] const void* bytes, \
       [[maybe_unused]] const size_t* size) { __VA_ARGS__; }

Form Typed(INFO_DATATYPE type)
{
    return [type](std::ostream& out, const void* bytes, const size_t* size) {
        FormatBuffer(out, bytes, &type, size);
    };
}
template <typename T>
Form Pointee(T value)
{
    return [value](std::ostream& out, const void*, const size_t*) { FormatPointee(out, &value); };
}

TEST(CallLogFormatTest, CallerBuffersArePrintedInTheFormOfTheirTypeWithinTheirSize)
{
    const std::string x128(128, 'x');
    const Form input = FORM(FormatString(out, static_cast<const char*>(bytes)));
    const struct {
        const char* name;
        Form form;
        std::string expected;
        Bytes bytes = {};
        bool sized = true;  // else the size pointer is null
    } cases[] = {
        // clang-format off
        {"int16", Typed(INFO_DATATYPE_INT16), "-2", ValueBytes<int16_t>(-2)},
        {"uint16", Typed(INFO_DATATYPE_UINT16), "65535", Bytes{0xff, 0xff}},
        {"int32", Typed(INFO_DATATYPE_INT32), "-123456", ValueBytes<int32_t>(-123456)},
        {"uint32", Typed(INFO_DATATYPE_UINT32), "4294967295", Bytes(4, 0xff)},
        {"int64", Typed(INFO_DATATYPE_INT64), "-9223372036854775808", ValueBytes(INT64_MIN)},
        {"ptrdiff", Typed(INFO_DATATYPE_PTRDIFF), "-1", Bytes(8, 0xff)},
        {"uint64", Typed(INFO_DATATYPE_UINT64), "18446744073709551615", Bytes(8, 0xff)},
        {"size_t", Typed(INFO_DATATYPE_SIZET), "4096", ValueBytes<uint64_t>(4096)},
        {"float64", Typed(INFO_DATATYPE_FLOAT64), "0.123457", ValueBytes(0.1234567)},
        {"pointer", Typed(INFO_DATATYPE_PTR), "000001D2C49E2A10", ValueBytes<uint64_t>(0x1D2C49E2A10)},
        {"bool8 nonzero", Typed(INFO_DATATYPE_BOOL8), "1", Bytes{7}},
        {"dump", Typed(INFO_DATATYPE_BUFFER), "{ 01 02 03 04 05 06 07 ab }", Bytes{1, 2, 3, 4, 5, 6, 7, 0xab}},
        {"dump cut", Typed(INFO_DATATYPE_BUFFER), "{ 01 01 01 01 01 01 01 01 ... }", Bytes(9, 1)},
        {"text to zero", Typed(INFO_DATATYPE_STRING), "ab", BytesOf(std::string("ab\0c", 4))},
        {"text cut", Typed(INFO_DATATYPE_STRING), x128 + "...", BytesOf(x128 + '\0')},
        {"short text", Typed(INFO_DATATYPE_STRING), "ab...", BytesOf("ab" + std::string(198, '\0'))},
        // A size left too small by a failed call: dumped, never read as the number.
        {"uint64 in 1", Typed(INFO_DATATYPE_UINT64), "{ 2a }", Bytes{0x2a}},
        {"pointer in 4", Typed(INFO_DATATYPE_PTR), "{ 01 00 00 00 }", Bytes{1, 0, 0, 0}},
        {"bool8 in 0", Typed(INFO_DATATYPE_BOOL8), "{ }", Bytes{}},
        {"register 2", FormatRegisterValue, "{ 00 80 } [32768U, -32768S]", Bytes{0x00, 0x80}},
        {"register 8", FormatRegisterValue, "{ ff ff ff ff ff ff ff ff } [18446744073709551615U, -1S]", Bytes(8, 0xff)},
        {"register 3", FormatRegisterValue, "{ ff ff ff }", Bytes(3, 0xff)},
        {"input cut", input, x128 + "...", BytesOf(x128 + "x" + '\0')},
        // 2^64 / 8 entries of 8 bytes would wrap to 0 bytes and print "{ }".
        {"huge array", FORM(const size_t count = SIZE_MAX / 8 + 1; FormatArray(out, bytes, &count, 8)), "{ ee ee ee ee ee ee ee ee ... }", Bytes(8, 0xee)},
        {"null buffer", FORM(FormatBuffer(out, nullptr, nullptr, size)), "{ null }"},
        {"no type", FORM(FormatBuffer(out, bytes, nullptr, size)), "{ unknown command datatype }", {1}},
        {"uint64 unsized", Typed(INFO_DATATYPE_UINT64), "{ unknown buffer size }", {1}, false},
        {"text unsized", Typed(INFO_DATATYPE_STRING), "{ unknown buffer size }", {1}, false},
        {"register unsized", FormatRegisterValue, "{ unknown buffer size }", {1}, false},
        {"null register", FORM(FormatRegisterValue(out, nullptr, nullptr)), "{ null }"},
        {"array unsized", FORM(FormatArray(out, bytes, nullptr, 8)), "{ unknown buffer size }", {1}},
        {"null input", FORM(FormatString(out, nullptr)), "{ null }"},
        {"pointer value", FORM(FormatPointer(out, reinterpret_cast<void*>(0xabc))), "0000000000000ABC"},
        {"address", FORM(FormatAddress(out, 0xF000000)), "0xf000000"},
        {"size", Pointee(SIZE_MAX), "18446744073709551615"},
        {"handle", Pointee(reinterpret_cast<void*>(0xBEEF)), "000000000000BEEF"},
        {"flag set", Pointee(bool8_t{2}), "true"},
        {"error code", Pointee(GC_ERROR{GC_ERR_TIMEOUT}), "-1011 [GC_ERR_TIMEOUT]"},
        {"ambiguous", Pointee(GC_ERROR{GC_ERR_AMBIGUOUS}), "-1023 [GC_ERR_AMBIGUOUS]"},
        {"unknown error", Pointee(GC_ERROR{-1024}), "-1024 [Unknown]"},
        // The codes' difference once overflowed 32 bits.
        {"largest code", Pointee(GC_ERROR{INT32_MAX}), "2147483647 [Unknown]"},
        {"smallest code", Pointee(GC_ERROR{INT32_MIN}), "-2147483648 [Unknown]"},
        {"command", FORM(FormatCommand(out, 10, TL_INFO_NAMES)), "10 [TL_INFO_GENTL_VER_MINOR]"},
        {"command past the end", FORM(FormatCommand(out, 11, TL_INFO_NAMES)), "11 [Unknown]"},
        {"negative command", FORM(FormatCommand(out, -1, TL_INFO_NAMES)), "-1 [Unknown]"},
        {"command in a gap", FORM(FormatCommand(out, 1, FLOW_INFO_NAMES)), "1 [Unknown]"},
        // clang-format on
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        auto copy = std::make_unique<uint8_t[]>(row.bytes.size());
        std::copy(row.bytes.begin(), row.bytes.end(), copy.get());
        const size_t size = row.bytes.size();
        std::ostringstream out;
        row.form(out, copy.get(), row.sized ? &size : nullptr);
        EXPECT_EQ(row.expected, out.str());
    }
}

}  // namespace
