// Environment.h: the process environment and the number format of its values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Platform {

// The value of variable `name`, or nothing when it is not set. A variable set
// to the empty string is set.
std::optional<std::string> GetEnvironmentVariable(const std::string& name);

// Reads an unsigned 32-bit number as the producer's original platform did
// (strtoul with base 0 and a 32-bit unsigned long): leading white space, an
// optional sign, then "0x"/"0X" hexadecimal, "0" octal or decimal digits up
// to the first character that does not fit. No digits gives 0; a magnitude
// above 0xFFFFFFFF gives 0xFFFFFFFF; a "-" negates modulo 2^32. nullptr gives 0.
uint32_t ParseULong32(const char* text);

}  // namespace Platform
