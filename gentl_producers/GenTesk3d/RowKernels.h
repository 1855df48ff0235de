// RowKernels.h: one profile's columns into a row of the scan planes, on the
// widest vector unit the machine offers, chosen once at run time. The
// kernels keep no state: any thread may call them on rows it owns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gentl_producers/GenTesk3d/FeatureCache.h"

namespace GenTLCore::ZoTL::RowKernels {

// One profile as the sensor library gives it, `width` entries each; the
// calls read and write exactly `width` columns.
struct ProfileColumns {
    const double* x;
    const double* z;
    const int* intensity;
    size_t width;
};

// The low 16 bits of each intensity.
void StoreIntensity(const ProfileColumns& profile, uint16_t* row);

// Coord3D_ABC32f: x, y and z of each point as floats; an empty point (x and
// z both 0) has y 0.
void StorePoints32(const ProfileColumns& profile, float y, float* row);

// Coord3D_ABC16: x and z scaled into the A and C axes of `table`, with b
// between them; all three 0 for an empty point or one outside either axis.
// Values go through Low16: clamped into int32, NaN as 0, the low 16 bits.
void StorePoints16(const ProfileColumns& profile, const FeatureCache::Coordinate (&table)[3],
                   uint16_t b, uint16_t* row);

}  // namespace GenTLCore::ZoTL::RowKernels
