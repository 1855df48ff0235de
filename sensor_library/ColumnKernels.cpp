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
#include <limits>

static_assert(std::endian::native == std::endian::little, "points are little-endian words");

HWY_BEFORE_NAMESPACE();
namespace ColumnKernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;

// A table as one echo walks it: the rounds fill as the vectors are
// planned, and the cell of the last round is tried first, since the
// points of a profile mostly follow on in the same cell.
struct TableWalk {
    const TableView& table;
    CellRound* rounds;
    std::size_t round_count = 0;
    uint32_t row = 0;
    double first_cell = -1;  // no cell yet
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

// Points of the vector that the search puts into the walk's cell; only for
// strictly ascending row knots: those inside its row interval and those on
// a knot the search gives to it, in its column interval.
HWY_INLINE M InCell(D d, const TableWalk& walk, V first_cell, V z)
{
    const TableView& t = walk.table;
    const uint32_t j = walk.row;
    const V low = hn::Set(d, t.row_knots[j]);
    const V high = hn::Set(d, t.row_knots[j + 1]);
    const M above = t.knot_interval[j] == j ? hn::Ge(z, low) : hn::Gt(z, low);
    const M below = t.knot_interval[j + 1] == j ? hn::Le(z, high) : hn::Lt(z, high);
    return hn::And(hn::And(above, below), hn::Eq(first_cell, hn::Set(d, walk.first_cell)));
}

// The interval the search gives z, looked for next to the walk's row first;
// only for strictly ascending row knots.
HWY_INLINE uint32_t FindRowNear(const TableView& t, double z, uint32_t near)
{
    const double* k = t.row_knots;
    for (const uint32_t h : {near, near + 1, near - 1}) {
        if (h >= t.nz || !(k[h] <= z && z <= k[h + 1])) continue;
        if (z == k[h]) return t.knot_interval[h];
        if (z == k[h + 1]) return t.knot_interval[h + 1];
        return h;
    }
    return FindInterval(k, t.nz, z);
}

// The pixel row of point c, as the vectors compute it.
HWY_INLINE double RowOf(const EchoJob& job, std::size_t c)
{
    return job.z_stride * (job.raw_z[c] * 0.03125) + job.z_offset;
}

// The points `lanes` of the vector at c0 in the walk's cell.
HWY_INLINE void AddRound(D d, TableWalk& walk, std::size_t c0, M lanes, bool first)
{
    CellRound& round = walk.rounds[walk.round_count++];
    round = CellRound{static_cast<std::size_t>(walk.first_cell) + walk.row,
                      walk.table.row_knots[walk.row], static_cast<uint32_t>(c0), 0, first};
    hn::StoreMaskBits(d, lanes, &round.lanes);
}

// Splits the points of the vector at c0 that lie inside the table into
// rounds, one per cell: the last round's cell takes the points that lie in
// it; else the first point left is searched for, and every point in its
// cell goes with it (without ascending knots, it alone). `inside` gets
// those points; false when there are none.
HWY_INLINE bool PlanRounds(D d, const EchoJob& job, TableWalk& walk, std::size_t c0, V z, M points,
                           M& inside)
{
    const TableView& t = walk.table;
    const bool ascending = t.knot_interval != nullptr;
    const V first_cell = hn::LoadU(d, t.columns.first_cell + c0);
    // Mostly every point lies in the last round's cell, so inside the table.
    if (ascending && walk.first_cell >= 0 && !hn::AllFalse(d, points) &&
        hn::AllFalse(d, hn::AndNot(InCell(d, walk, first_cell, z), points))) {
        inside = points;
        AddRound(d, walk, c0, points, true);
        return true;
    }
    inside = hn::And(points, Inside(d, t, c0, z));
    bool first = true;
    for (M left = inside; !hn::AllFalse(d, left); first = false) {
        M same = ascending ? hn::And(left, InCell(d, walk, first_cell, z)) : hn::FirstN(d, 0);
        if (hn::AllFalse(d, same)) {
            const std::size_t lane = static_cast<std::size_t>(hn::FindFirstTrue(d, left));
            const double z_lane = RowOf(job, c0 + lane);
            walk.row = ascending ? FindRowNear(t, z_lane, walk.row)
                                 : FindInterval(t.row_knots, t.nz, z_lane);
            walk.first_cell = t.columns.first_cell[c0 + lane];
            same = ascending ? hn::And(left, InCell(d, walk, first_cell, z))
                             : hn::Eq(hn::Iota(d, 0.0), hn::Set(d, static_cast<double>(lane)));
        }
        AddRound(d, walk, c0, same, first);
        left = hn::AndNot(same, left);
    }
    return !first;
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

// Every round of a walk, through each table whose cells it names; the
// rounds share no state but their vector's output, so they overlap freely.
template <std::size_t TABLES>
void EvaluateRounds(D d, const EchoJob& job, const TableWalk& walk,
                    const double* const (&coefficients)[TABLES], double* const (&out)[TABLES])
{
    const TableColumns& columns = walk.table.columns;
    for (std::size_t r = 0; r < walk.round_count; ++r) {
        const CellRound& round = walk.rounds[r];
        const std::size_t c0 = round.column;
        const std::size_t n = std::min<std::size_t>(hn::MaxLanes(d), job.count - c0);
        const V dx_powers[3] = {hn::LoadU(d, columns.dx + c0), hn::LoadU(d, columns.dx2 + c0),
                                hn::LoadU(d, columns.dx3 + c0)};
        const V dz = hn::Sub(hn::LoadU(d, job.scratch.rows + c0), hn::Set(d, round.row_knot));
        const M lanes = hn::LoadMaskBits(d, &round.lanes);
        for (std::size_t t = 0; t < TABLES; ++t) {
            const V value =
                EvaluateCell(d, coefficients[t] + round.cell * CELL_DOUBLES, dz, dx_powers);
            const V others = round.first ? hn::Zero(d) : LoadFirst(d, out[t] + c0, n);
            StoreFirst(hn::IfThenElse(lanes, value, others), d, out[t] + c0, n);
        }
    }
}

// First the rounds of every vector are planned, then evaluated: the
// search's branches stay out of the arithmetic.
void LinearizeEcho(const EchoJob& job)
{
    const D d;
    constexpr std::size_t N = hn::MaxLanes(D());
    static_assert(N <= MAX_LANES && N <= 8, "a round's lanes fit one byte");
    TableWalk x_walk{job.x_table, job.scratch.x_rounds};
    TableWalk z_walk{job.z_table, job.scratch.z_rounds};
    for (std::size_t c0 = 0; c0 < job.count; c0 += N) {
        const std::size_t n = std::min<std::size_t>(N, job.count - c0);
        const V raw = hn::PromoteTo(d, LoadFirst(hn::Rebind<int32_t, D>(), job.raw_z + c0, n));
        const V z = hn::Add(hn::Mul(hn::Set(d, job.z_stride), hn::Mul(raw, hn::Set(d, 0.03125))),
                            hn::Set(d, job.z_offset));
        hn::StoreU(z, d, job.scratch.rows + c0);
        const M point = hn::And(hn::FirstN(d, n), hn::Ne(raw, hn::Zero(d)));
        M in_x, in_z;
        const bool x_planned = PlanRounds(d, job, x_walk, c0, z, point, in_x);
        if (!x_planned) StoreFirst(hn::Zero(d), d, job.x_mm + c0, n);
        // Shared knots: the points inside the Z table are those inside the X
        // table, in the same cells.
        const bool z_planned =
            job.knots_shared ? x_planned : PlanRounds(d, job, z_walk, c0, z, in_x, in_z);
        if (!z_planned) StoreFirst(hn::Zero(d), d, job.z_mm + c0, n);
    }
    if (job.knots_shared) {
        EvaluateRounds<2>(d, job, x_walk, {job.x_table.coefficients, job.z_table.coefficients},
                          {job.x_mm, job.z_mm});
    } else {
        EvaluateRounds<1>(d, job, x_walk, {job.x_table.coefficients}, {job.x_mm});
        EvaluateRounds<1>(d, job, z_walk, {job.z_table.coefficients}, {job.z_mm});
    }
}

// n little-endian words from bytes that need no alignment, the rest 0.
template <class DU>
HWY_INLINE hn::Vec<DU> LoadWords(DU du, const uint8_t* bytes, std::size_t n)
{
#if HWY_TARGET == HWY_SCALAR
    (void)n;
    uint32_t word;
    std::memcpy(&word, bytes, sizeof(word));
    return hn::Set(du, word);
#else
    return hn::BitCast(du, LoadFirst(hn::Repartition<uint8_t, DU>(), bytes, 4 * n));
#endif
}

void DecodeRawColumns(const uint8_t* points, uint32_t count, int32_t* raw_z, int32_t* intensity,
                      int32_t* width)
{
    const hn::ScalableTag<uint32_t> du;
    const hn::RebindToSigned<decltype(du)> di;
    constexpr std::size_t N = hn::MaxLanes(du);
    for (std::size_t c0 = 0; c0 < count; c0 += N) {
        const std::size_t n = std::min<std::size_t>(N, count - c0);
        const auto v = LoadWords(du, points + 4 * c0, n);
        const auto z = hn::And(v, hn::Set(du, 0xFFFFu));
        const auto high = hn::ShiftLeft<2>(hn::And(hn::ShiftRight<16>(v), hn::Set(du, 0xFFu)));
        const auto low = hn::ShiftRight<24>(v);
        StoreFirst(hn::BitCast(di, z), di, raw_z + c0, n);
        StoreFirst(hn::BitCast(di, hn::Add(high, hn::ShiftRight<6>(low))), di, intensity + c0, n);
        StoreFirst(hn::BitCast(di, hn::And(low, hn::Set(du, 63u))), di, width + c0, n);
    }
}

void DecodeLinearColumns(const LinearColumns& job)
{
    const D d;
    const hn::Rebind<int32_t, D> di;
    const hn::Rebind<uint16_t, D> d16;
    constexpr std::size_t N = hn::MaxLanes(D());
    const auto low_byte = hn::Set(di, 0xFF);
    const auto width_bits = hn::Set(di, 63);
    for (std::size_t c0 = 0; c0 < job.count; c0 += N) {
        const std::size_t n = std::min<std::size_t>(N, job.count - c0);
        hn::Vec<decltype(d16)> z_word, iw_word, x_word;
        if (n == N) {
            hn::LoadInterleaved3(d16, job.words + 3 * c0, z_word, iw_word, x_word);
        } else {
            uint16_t words[3 * N] = {};
            std::memcpy(words, job.words + 3 * c0, 3 * n * sizeof(uint16_t));
            hn::LoadInterleaved3(d16, words, z_word, iw_word, x_word);
        }
        const auto z = hn::PromoteTo(di, z_word);
        const auto iw = hn::PromoteTo(di, iw_word);
        StoreFirst(z, di, job.raw_z + c0, n);
        StoreFirst(hn::Add(hn::Mul(hn::PromoteTo(d, z), hn::Set(d, job.z_factor)),
                           hn::Set(d, job.z_shift)),
                   d, job.z_mm + c0, n);
        StoreFirst(
            hn::Add(hn::Mul(hn::PromoteTo(d, hn::PromoteTo(di, x_word)), hn::Set(d, job.x_factor)),
                    hn::Set(d, job.x_shift)),
            d, job.x_mm + c0, n);
        const auto intensity =
            job.packed_intensity
                ? hn::Or(hn::ShiftLeft<2>(hn::And(iw, low_byte)), hn::ShiftRight<14>(iw))
                : hn::ShiftRight<6>(iw);
        StoreFirst(job.has_intensity ? intensity : hn::Zero(di), di, job.intensity + c0, n);
        StoreFirst(hn::And(job.packed_intensity ? hn::ShiftRight<8>(iw) : iw, width_bits), di,
                   job.width + c0, n);
    }
}

// Vectors whose columns all hold points compare each X with its left
// neighbour's; the others, and the ends, go column by column.
bool PointsAscend(const double* x, const double* const (&z)[2], uint32_t count)
{
    const D d;
    constexpr std::size_t N = hn::MaxLanes(D());
    constexpr double LAST = std::numeric_limits<double>::infinity();
    const auto key = [&](V v) { return hn::IfThenElse(hn::IsNaN(v), hn::Set(d, LAST), v); };
    double last = -LAST;
    const auto ascends_at = [&](std::size_t c) {
        const bool point = (z[0] != nullptr && z[0][c] != 0) || (z[1] != nullptr && z[1][c] != 0);
        const double value = SortKey(x[c]);
        if (point && value < last) return false;
        last = point ? value : last;
        return true;
    };
    std::size_t c = 0;
    if (count > 0 && !ascends_at(c++)) return false;
    for (; c + N <= count; c += N) {
        M point = hn::FirstN(d, 0);
        for (const double* column_z : z)
            if (column_z != nullptr)
                point = hn::Or(point, hn::Ne(hn::LoadU(d, column_z + c), hn::Zero(d)));
        if (!hn::AllTrue(d, point)) {
            for (std::size_t lane = 0; lane < N; ++lane)
                if (!ascends_at(c + lane)) return false;
            continue;
        }
        // The first lane's left neighbour may hold no point: it goes by `last`.
        const V before =
            hn::IfThenElse(hn::FirstN(d, 1), hn::Set(d, last), key(hn::LoadU(d, x + c - 1)));
        if (!hn::AllTrue(d, hn::Ge(key(hn::LoadU(d, x + c)), before))) return false;
        last = SortKey(x[c + N - 1]);
    }
    for (; c < count; ++c)
        if (!ascends_at(c)) return false;
    return true;
}

}  // namespace HWY_NAMESPACE
}  // namespace ColumnKernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace ColumnKernels {

HWY_EXPORT(LinearizeEcho);
HWY_EXPORT(DecodeRawColumns);
HWY_EXPORT(DecodeLinearColumns);
HWY_EXPORT(PointsAscend);

void LinearizeEcho(const EchoJob& job)
{
    HWY_DYNAMIC_DISPATCH(LinearizeEcho)(job);
}

void DecodeRawColumns(const uint8_t* points, uint32_t count, int32_t* raw_z, int32_t* intensity,
                      int32_t* width)
{
    HWY_DYNAMIC_DISPATCH(DecodeRawColumns)(points, count, raw_z, intensity, width);
}

void DecodeLinearColumns(const LinearColumns& job)
{
    HWY_DYNAMIC_DISPATCH(DecodeLinearColumns)(job);
}

bool PointsAscend(const double* x, const double* const (&z)[2], uint32_t count)
{
    return HWY_DYNAMIC_DISPATCH(PointsAscend)(x, z, count);
}

}  // namespace ColumnKernels
#endif
