// Compiled once per vector target by foreach_target.h; the exported entry
// points dispatch to the best one the processor supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "sensor_library/ColumnKernels.cpp"
#include "sensor_library/ColumnKernels.h"

#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <bit>
#include <cstring>

HWY_BEFORE_NAMESPACE();
namespace ColumnKernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// A table as one echo walks it; the hint follows the rows from point to point.
struct TableWalk {
    const TableView& table;
    uint32_t row_hint = 0;
};

// Sum over p of dx^p (c[4p] + c[4p+1] dz + c[4p+2] dz dz + c[4p+3] dz dz dz),
// term by term from 0 in that order; no step is fused or regrouped, so every
// lane has the bits of the plain evaluation.
HWY_INLINE V EvaluateCell(D d, const double* c, V dz, const V (&dx_powers)[3])
{
    V sum = hn::Zero(d);
    HWY_UNROLL(4)
    for (int p = 0; p < 4; ++p) {
        const double* k = c + 4 * p;
        const V inner = hn::Add(hn::Add(hn::Add(hn::Set(d, k[0]), hn::Mul(hn::Set(d, k[1]), dz)),
                                        hn::Mul(hn::Mul(hn::Set(d, k[2]), dz), dz)),
                                hn::Mul(hn::Mul(hn::Mul(hn::Set(d, k[3]), dz), dz), dz));
        sum = hn::Add(sum, p == 0 ? inner : hn::Mul(dx_powers[p - 1], inner));
    }
    return sum;
}

// Points of the group that lie inside the table.
HWY_INLINE M Inside(D d, const TableView& table, std::size_t c0, V z)
{
    const double* rows = table.row_knots;
    return hn::And(hn::Ge(hn::LoadU(d, table.columns.first_cell + c0), hn::Zero(d)),
                   hn::And(hn::Ge(z, hn::Set(d, rows[0])), hn::Le(z, hn::Set(d, rows[table.nz]))));
}

// The row interval the search gives z, trying the last one first.
HWY_INLINE uint32_t FindRow(TableWalk& walk, double z)
{
    const TableView& t = walk.table;
    if (t.knot_interval == nullptr) return FindInterval(t.row_knots, t.nz, z);
    const double* k = t.row_knots;
    const uint32_t hint = walk.row_hint;
    if (k[hint] < z && z < k[hint + 1]) return hint;
    if (z == k[hint]) return t.knot_interval[hint];
    if (z == k[hint + 1]) return t.knot_interval[hint + 1];
    walk.row_hint = FindInterval(k, t.nz, z);
    return walk.row_hint;
}

// Points of the group that the search puts into row interval j: with
// strictly ascending knots, those inside it and those on a knot the search
// gives to it; otherwise only the point the interval was searched for.
HWY_INLINE M RowMembers(D d, const TableView& t, uint32_t j, V z, std::size_t lane)
{
    if (t.knot_interval == nullptr)
        return hn::Eq(hn::Iota(d, 0.0), hn::Set(d, static_cast<double>(lane)));
    const V low = hn::Set(d, t.row_knots[j]);
    const V high = hn::Set(d, t.row_knots[j + 1]);
    const M above = t.knot_interval[j] == j ? hn::Ge(z, low) : hn::Gt(z, low);
    const M below = t.knot_interval[j + 1] == j ? hn::Le(z, high) : hn::Lt(z, high);
    return hn::And(above, below);
}

// The table at the active points of the group, 0 elsewhere. One cell per
// round, its coefficients broadcast: the first point left picks the cell,
// and every other point the search puts into the same row and column
// interval shares it.
HWY_INLINE V EvaluateTable(D d, TableWalk& walk, std::size_t c0, V z, M active)
{
    const TableView& t = walk.table;
    const V first_cell = hn::LoadU(d, t.columns.first_cell + c0);
    const V dx_powers[3] = {hn::LoadU(d, t.columns.dx + c0), hn::LoadU(d, t.columns.dx2 + c0),
                            hn::LoadU(d, t.columns.dx3 + c0)};
    double z_lanes[MAX_LANES];
    double cell_lanes[MAX_LANES];
    hn::StoreU(z, d, z_lanes);
    hn::StoreU(first_cell, d, cell_lanes);
    V result = hn::Zero(d);
    M left = active;
    while (!hn::AllFalse(d, left)) {
        const std::size_t lane = static_cast<std::size_t>(hn::FindFirstTrue(d, left));
        const uint32_t j = FindRow(walk, z_lanes[lane]);
        const M same = hn::And(hn::And(left, RowMembers(d, t, j, z, lane)),
                               hn::Eq(first_cell, hn::Set(d, cell_lanes[lane])));
        const std::size_t cell = static_cast<std::size_t>(cell_lanes[lane]) + j;
        const V dz = hn::Sub(z, hn::Set(d, t.row_knots[j]));
        result = hn::IfThenElse(
            same, EvaluateCell(d, t.coefficients + cell * CELL_DOUBLES, dz, dx_powers), result);
        left = hn::AndNot(same, left);
    }
    return result;
}

// The first n lanes from p, the rest 0: a profile's last group is short.
template <class DT, typename T>
HWY_INLINE hn::Vec<DT> LoadFirst(DT d, const T* p, std::size_t n)
{
    constexpr std::size_t N = hn::MaxLanes(DT());
    if (n == N) return hn::LoadU(d, p);
    T lanes[N] = {};
    std::memcpy(lanes, p, n * sizeof(T));
    return hn::LoadU(d, lanes);
}

template <class DT, typename T>
HWY_INLINE void StoreFirst(hn::Vec<DT> v, DT d, T* p, std::size_t n)
{
    constexpr std::size_t N = hn::MaxLanes(DT());
    if (n == N) return hn::StoreU(v, d, p);
    T lanes[N];
    hn::StoreU(v, d, lanes);
    std::memcpy(p, lanes, n * sizeof(T));
}

void LinearizeEcho(const EchoJob& job)
{
    const D d;
    constexpr std::size_t N = hn::MaxLanes(D());
    static_assert(N <= MAX_LANES);
    TableWalk x_walk{job.x_table};
    TableWalk z_walk{job.z_table};
    for (std::size_t c0 = 0; c0 < job.count; c0 += N) {
        const std::size_t n = std::min<std::size_t>(N, job.count - c0);
        const V raw = hn::PromoteTo(d, LoadFirst(hn::Rebind<int32_t, D>(), job.raw_z + c0, n));
        const V z = hn::Add(hn::Mul(hn::Set(d, job.z_stride), hn::Mul(raw, hn::Set(d, 0.03125))),
                            hn::Set(d, job.z_offset));
        const M point = hn::And(hn::FirstN(d, n), hn::Ne(raw, hn::Zero(d)));
        const M in_x = hn::And(point, Inside(d, job.x_table, c0, z));
        StoreFirst(EvaluateTable(d, x_walk, c0, z, in_x), d, job.x_mm + c0, n);
        const M in_z = hn::And(in_x, Inside(d, job.z_table, c0, z));
        StoreFirst(EvaluateTable(d, z_walk, c0, z, in_z), d, job.z_mm + c0, n);
    }
}

void DecodeRawColumns(const uint8_t* points, uint32_t count, int32_t* raw_z, int32_t* intensity,
                      int32_t* width)
{
    static_assert(std::endian::native == std::endian::little, "points are little-endian words");
    const hn::ScalableTag<uint32_t> du;
    const hn::RebindToSigned<decltype(du)> di;
    constexpr std::size_t N = hn::MaxLanes(du);
    for (std::size_t c0 = 0; c0 < count; c0 += N) {
        const std::size_t n = std::min<std::size_t>(N, count - c0);
        // Bytes, not words, from the profile: its points need no alignment.
        uint32_t words[N] = {};
        if (n == N)
            std::memcpy(words, points + 4 * c0, sizeof(words));
        else
            std::memcpy(words, points + 4 * c0, n * 4);
        const auto v = hn::LoadU(du, words);
        const auto z = hn::And(v, hn::Set(du, 0xFFFFu));
        const auto high = hn::ShiftLeft<2>(hn::And(hn::ShiftRight<16>(v), hn::Set(du, 0xFFu)));
        const auto low = hn::ShiftRight<24>(v);
        StoreFirst(hn::BitCast(di, z), di, raw_z + c0, n);
        StoreFirst(hn::BitCast(di, hn::Add(high, hn::ShiftRight<6>(low))), di, intensity + c0, n);
        StoreFirst(hn::BitCast(di, hn::And(low, hn::Set(du, 63u))), di, width + c0, n);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace ColumnKernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ColumnKernels {

HWY_EXPORT(LinearizeEcho);
HWY_EXPORT(DecodeRawColumns);

void LinearizeEcho(const EchoJob& job)
{
    HWY_DYNAMIC_DISPATCH(LinearizeEcho)(job);
}

void DecodeRawColumns(const uint8_t* points, uint32_t count, int32_t* raw_z, int32_t* intensity,
                      int32_t* width)
{
    HWY_DYNAMIC_DISPATCH(DecodeRawColumns)(points, count, raw_z, intensity, width);
}

}  // namespace ColumnKernels
#endif
