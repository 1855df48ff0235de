// ColumnKernels.h: whole-column arithmetic of a profile (raw point decoding,
// linearization through the tables), run on the widest vector unit the
// machine offers, chosen once at run time.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace ColumnKernels {

// Column arrays are read in whole vectors: callers size them to a multiple
// of this many entries.
constexpr std::size_t MAX_LANES = 16;
constexpr std::size_t CELL_DOUBLES = 16;

constexpr std::size_t PaddedCount(std::size_t count)
{
    return (count + MAX_LANES - 1) / MAX_LANES * MAX_LANES;
}

// Interval i with knots[i] <= x <= knots[i + 1]. Needs knots[0] <= x <= knots[n];
// since knots[lo] <= x <= knots[hi] holds throughout and hi - lo shrinks, it
// ends even for knots that do not ascend.
inline uint32_t FindInterval(const double* knots, uint32_t n, double x)
{
    uint32_t lo = 0;
    uint32_t hi = n;
    for (;;) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (knots[mid] > x)
            hi = mid;
        else if (x > knots[mid + 1])
            lo = mid;
        else
            return mid;
    }
}

// Where the columns of a profile lie in one table, one entry per column:
// the first cell of the column's interval (-1 outside the column knots) and
// the offset into that interval with its square and cube.
struct TableColumns {
    const double* first_cell;
    const double* dx;
    const double* dx2;
    const double* dx3;
};

// One table with the columns of a profile in it.
struct TableView {
    const double* row_knots;  // nz + 1
    uint32_t nz;
    // Per row knot, the interval the search gives a point on it; null
    // unless the row knots strictly ascend.
    const uint32_t* knot_interval;
    const double* coefficients;  // CELL_DOUBLES per cell
    TableColumns columns;        // PaddedCount(count) entries
};

// One round of evaluation: the points of a vector of columns that lie in
// the same cell of a table.
struct CellRound {
    std::size_t cell;  // its coefficients start at cell * CELL_DOUBLES
    double row_knot;   // the cell's first row knot
    uint32_t column;   // the vector's first column
    uint8_t lanes;     // one bit per point of the vector
    bool first;        // the vector's first round: its other points are 0
};

// Work space of one reader, PaddedCount(count) entries each.
struct EchoScratch {
    double* rows;  // each point's pixel row
    CellRound* x_rounds;
    CellRound* z_rounds;  // unused when the tables share their knots
};

// One echo of a raw profile: point c lies at row z_stride * raw_z[c] / 32 +
// z_offset of its column.
struct EchoJob {
    TableView x_table;
    TableView z_table;
    double z_offset;
    double z_stride;
    const int32_t* raw_z;  // 1/32 pixel; 0 is no point
    uint32_t count;
    // The tables' knots are the same, bit for bit: a point lies in the same
    // cell of each, and the Z table's columns may be the X table's.
    bool knots_shared;
    double* x_mm;
    double* z_mm;
    EchoScratch scratch;
};

// X, then Z only where X succeeded, for every point; 0 for no point and for
// a point outside a table. Bit for bit what evaluating point by point gives.
void LinearizeEcho(const EchoJob& job);

// Points of 4 bytes (Z as u16, intensity high byte, intensity low bits and
// width) into their values.
void DecodeRawColumns(const uint8_t* points, uint32_t count, int32_t* raw_z, int32_t* intensity,
                      int32_t* width);

// Linearized points of three words each (Z, intensity and width, X) and
// the scale that turns the words into millimetres.
struct LinearColumns {
    const uint16_t* words;  // 3 per point
    uint32_t count;
    bool has_intensity;
    bool packed_intensity;
    double z_factor;
    double z_shift;
    double x_factor;
    double x_shift;
    int32_t* raw_z;
    int32_t* intensity;
    int32_t* width;
    double* z_mm;
    double* x_mm;
};

// X as profiles are sorted by it: NaN would break the ordering, so it goes last.
inline double SortKey(double x)
{
    return std::isnan(x) ? std::numeric_limits<double>::infinity() : x;
}

// Whether the SortKey of the columns with a point (a Z other than 0 in
// either array; a null array has none) never falls.
bool PointsAscend(const double* x, const double* const (&z)[2], uint32_t count);

// Z = word * z_factor + z_shift, X likewise; intensity and width from the
// middle word as the sensor packs them.
void DecodeLinearColumns(const LinearColumns& job);

}  // namespace ColumnKernels
