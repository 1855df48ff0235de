// LeadingNumber.h: the number a text starts with, read the way the standard
// stoi and stod read it, but without throwing and whatever the locale.
#pragma once

#include <cctype>
#include <charconv>
#include <string>

// Blanks and a '+' may come first; anything after the number is ignored.
// False when the text does not start with a number of type T.
template <typename T>
bool LeadingNumber(const std::string& text, T& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    if (first < last && *first == '+')
        ++first;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr != first;
}
