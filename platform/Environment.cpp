#include "platform/Environment.h"

#include <cstdlib>

namespace Platform {
namespace {
constexpr uint64_t ULONG32_MAX = 0xFFFFFFFFu;

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of `c` as a digit of `base`, or -1.
int DigitValue(char c, unsigned base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'z')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        value = c - 'A' + 10;
    return (value >= 0 && static_cast<unsigned>(value) < base) ? value : -1;
}

// Detects the base from the prefix and moves `text` past "0x" when it is
// followed by a hexadecimal digit (otherwise the "0" alone is the number).
unsigned DetectBase(const char*& text)
{
    if (text[0] != '0')
        return 10;
    if ((text[1] == 'x' || text[1] == 'X') && DigitValue(text[2], 16) >= 0) {
        text += 2;
        return 16;
    }
    return 8;
}
}  // namespace

std::optional<std::string> GetEnvironmentVariable(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

uint32_t ParseULong32(const char* text)
{
    if (text == nullptr)
        return 0;
    while (IsSpace(*text))
        ++text;
    const bool negative = (*text == '-');
    if (*text == '-' || *text == '+')
        ++text;
    const unsigned base = DetectBase(text);
    uint64_t magnitude = 0;
    bool overflow = false;
    for (int digit = DigitValue(*text, base); digit >= 0; digit = DigitValue(*++text, base)) {
        magnitude = magnitude * base + static_cast<unsigned>(digit);
        // Stop growing once too big: the digits still count, the value is settled.
        if (magnitude > ULONG32_MAX) {
            overflow = true;
            magnitude = ULONG32_MAX;
        }
    }
    if (overflow)
        return static_cast<uint32_t>(ULONG32_MAX);
    const auto value = static_cast<uint32_t>(magnitude);
    return negative ? static_cast<uint32_t>(0u - value) : value;
}

}  // namespace Platform
