// Compiled once per vector target by foreach_target.h; the exported entry
// points dispatch to the best one the processor supports. Every lane gives
// the bits of the plain per-point conversion.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "gentl_producers/GenTesk3d/RowKernels.cpp"
#include "gentl_producers/GenTesk3d/RowKernels.h"

#include <hwy/cache_control.h>
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace GenTLCore::ZoTL::RowKernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using DF = hn::Rebind<float, D>;
using DI = hn::Rebind<int32_t, D>;
using DU16 = hn::Rebind<uint16_t, D>;
using M = hn::Mask<D>;

// Rows go to buffers a consumer cycles through, long out of cache, and are
// too short for the processor's own prefetch to get ahead of the stores.
constexpr uintptr_t PREFETCH_AHEAD_BYTES = 2048;

// Runs step(inputs, out) over the row a vector of LANES columns at a time,
// OUT values per column; the last few columns go through zero-padded
// lanes, so no step reads or writes beyond the row.
template <size_t LANES, size_t OUT, typename In, size_t K, typename Out, class Step>
void ForEachVector(const In* const (&in)[K], size_t width, Out* out, const Step& step)
{
    const In* at[K];
    size_t c = 0;
    for (; c + LANES <= width; c += LANES) {
        for (size_t k = 0; k < K; ++k) at[k] = in[k] + c;
        // A prefetch never faults, so one beyond the row is harmless.
        hwy::Prefetch(reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(out + OUT * c) +
                                                       PREFETCH_AHEAD_BYTES));
        step(at, out + OUT * c);
    }
    if (c == width) return;
    In lanes[K][LANES] = {};
    Out tail[OUT * LANES];
    for (size_t k = 0; k < K; ++k) {
        std::memcpy(lanes[k], in[k] + c, (width - c) * sizeof(In));
        at[k] = lanes[k];
    }
    step(at, tail);
    std::memcpy(out + OUT * c, tail, OUT * (width - c) * sizeof(Out));
}

// The plain cast: Highway's scalar target saturates at the float range
// where every vector unit gives infinity.
HWY_INLINE hn::Vec<DF> ToFloat(hn::Vec<D> v)
{
#if HWY_TARGET == HWY_SCALAR
    return hn::Set(DF(), static_cast<float>(hn::GetLane(v)));
#else
    return hn::DemoteTo(DF(), v);
#endif
}

// A mask over the doubles as one over their floats.
HWY_INLINE hn::Mask<DF> FloatMask(M m)
{
    const D d;
    const DF df;
    return hn::Ne(hn::DemoteTo(df, hn::IfThenElseZero(m, hn::Set(d, 1.0))), hn::Zero(df));
}

HWY_INLINE M InAxis(const FeatureCache::Coordinate& axis, hn::Vec<D> v)
{
    const D d;
    return hn::And(hn::Ge(v, hn::Set(d, double{axis.axis_min})),
                   hn::Le(v, hn::Set(d, double{axis.axis_max})));
}

// (v - offset) / scale in float, clamped into int32 (NaN as 0) and truncated.
HWY_INLINE hn::Vec<DI> ScaleToInt(const FeatureCache::Coordinate& axis, hn::Vec<D> v)
{
    const DF df;
    const auto scaled =
        hn::Div(hn::Sub(ToFloat(v), hn::Set(df, axis.offset)), hn::Set(df, axis.scale));
    const auto clamped =
        hn::Min(hn::Max(scaled, hn::Set(df, -2147483648.0f)), hn::Set(df, 2147483520.0f));
    return hn::ConvertTo(DI(), hn::IfThenElseZero(hn::Eq(scaled, scaled), clamped));
}

HWY_INLINE hn::Vec<DU16> Low16(hn::Vec<DI> v)
{
    return hn::TruncateTo(DU16(), hn::BitCast(hn::RebindToUnsigned<DI>(), v));
}

void StoreIntensity(const ProfileColumns& profile, uint16_t* row)
{
    const hn::ScalableTag<int32_t> di;
    const hn::Rebind<uint16_t, decltype(di)> du16;
    const int* const in[1] = {profile.intensity};
    ForEachVector<hn::MaxLanes(di), 1>(
        in, profile.width, row, [&](const int* const* at, uint16_t* out) {
            const auto v = hn::BitCast(hn::RebindToUnsigned<decltype(di)>(), hn::LoadU(di, at[0]));
            hn::StoreU(hn::TruncateTo(du16, v), du16, out);
        });
}

// step(x, z, point, out) over the points a vector at a time, three values
// each; `point` marks those not empty (x and z not both 0).
template <typename Out, class Step>
void ForEachPoint(const ProfileColumns& profile, Out* row, const Step& step)
{
    const D d;
    const double* const in[2] = {profile.x, profile.z};
    ForEachVector<hn::MaxLanes(d), 3>(
        in, profile.width, row, [&](const double* const* at, Out* out) {
            const auto x = hn::LoadU(d, at[0]);
            const auto z = hn::LoadU(d, at[1]);
            const M point = hn::Not(hn::And(hn::Eq(x, hn::Zero(d)), hn::Eq(z, hn::Zero(d))));
            step(x, z, point, out);
        });
}

void StorePoints32(const ProfileColumns& profile, float y, float* row)
{
    const DF df;
    ForEachPoint(profile, row, [&](hn::Vec<D> x, hn::Vec<D> z, M point, float* out) {
        hn::StoreInterleaved3(ToFloat(x), hn::IfThenElseZero(FloatMask(point), hn::Set(df, y)),
                              ToFloat(z), df, out);
    });
}

void StorePoints16(const ProfileColumns& profile, const FeatureCache::Coordinate (&table)[3],
                   uint16_t b, uint16_t* row)
{
    const DI di;
    const FeatureCache::Coordinate& a_axis = table[FeatureCache::COORD_A];
    const FeatureCache::Coordinate& c_axis = table[FeatureCache::COORD_C];
    ForEachPoint(profile, row, [&](hn::Vec<D> x, hn::Vec<D> z, M point, uint16_t* out) {
        const M keep = hn::And(point, hn::And(InAxis(a_axis, x), InAxis(c_axis, z)));
        const auto keep_int = hn::RebindMask(di, FloatMask(keep));
        hn::StoreInterleaved3(Low16(hn::IfThenElseZero(keep_int, ScaleToInt(a_axis, x))),
                              Low16(hn::IfThenElseZero(keep_int, hn::Set(di, b))),
                              Low16(hn::IfThenElseZero(keep_int, ScaleToInt(c_axis, z))), DU16(),
                              out);
    });
}

}  // namespace HWY_NAMESPACE
}  // namespace GenTLCore::ZoTL::RowKernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace GenTLCore::ZoTL::RowKernels {

HWY_EXPORT(StoreIntensity);
HWY_EXPORT(StorePoints32);
HWY_EXPORT(StorePoints16);

void StoreIntensity(const ProfileColumns& profile, uint16_t* row)
{
    HWY_DYNAMIC_DISPATCH(StoreIntensity)(profile, row);
}

void StorePoints32(const ProfileColumns& profile, float y, float* row)
{
    HWY_DYNAMIC_DISPATCH(StorePoints32)(profile, y, row);
}

void StorePoints16(const ProfileColumns& profile, const FeatureCache::Coordinate (&table)[3],
                   uint16_t b, uint16_t* row)
{
    HWY_DYNAMIC_DISPATCH(StorePoints16)(profile, table, b, row);
}

}  // namespace GenTLCore::ZoTL::RowKernels
#endif
