// SaturatingCast.h: floating-point to integer conversion that clamps to the
// target's range instead of being undefined; NaN gives 0.
#pragma once

#include <cmath>
#include <limits>

namespace GenTLCore::ZoTL {

// Truncates toward zero like a cast, within [min, max] of T.
template <class T>
T SaturatingCast(double value)
{
    if (std::isnan(value)) return 0;
    if (value <= static_cast<double>(std::numeric_limits<T>::lowest()))
        return std::numeric_limits<T>::lowest();
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

}  // namespace GenTLCore::ZoTL
