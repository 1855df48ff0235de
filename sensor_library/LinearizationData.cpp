#include "sensor_library/LinearizationData.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <new>

namespace {

constexpr std::size_t HEADER_BYTES = 8;
constexpr std::size_t CELL_DOUBLES = 16;
constexpr std::size_t GEOMETRY_BYTES = 44;
// Sensor images are far smaller; bounds the brute-force search on hostile geometry.
constexpr uint32_t MAX_PIXELS_PER_AXIS = 65536;

uint32_t LoadU32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof(value));
    return value;
}

void LoadDoubles(const uint8_t* p, std::size_t count, std::vector<double>& out)
{
    out.resize(count);
    std::memcpy(out.data(), p, count * sizeof(double));
}

// Interval i with knots[i] <= x <= knots[i + 1]. Needs knots[0] <= x <= knots[n];
// since knots[lo] <= x <= knots[hi] holds throughout and hi - lo shrinks, it
// ends even for knots that do not ascend.
uint32_t FindInterval(const double* knots, uint32_t n, double x)
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

// The interval of x, trying `hint` first. Only for strictly ascending
// knots: there x strictly inside an interval has no other, so the search
// would find the same one.
[[gnu::always_inline]] inline uint32_t FindIntervalFrom(const double* knots, uint32_t n, double x,
                                                        uint32_t& hint)
{
    if (hint < n && knots[hint] < x && x < knots[hint + 1])
        return hint;
    hint = FindInterval(knots, n, x);
    return hint;
}

bool StrictlyAscending(const std::vector<double>& knots)
{
    return std::adjacent_find(knots.begin(), knots.end(),
                              [](double a, double b) { return !(a < b); }) == knots.end();
}

// Coefficient k of power p of a cell, c[4p + k], at 4k + p.
void MakePlanar(const std::vector<double>& coefficients, std::vector<double>& planar)
{
    planar.resize(coefficients.size());
    for (std::size_t cell = 0; cell < coefficients.size(); cell += CELL_DOUBLES) {
        for (std::size_t p = 0; p < 4; ++p) {
            for (std::size_t k = 0; k < 4; ++k)
                planar[cell + 4 * k + p] = coefficients[cell + 4 * p + k];
        }
    }
}

using Pair = double __attribute__((vector_size(16)));

Pair LoadPair(const double* p)
{
    Pair pair;
    std::memcpy(&pair, p, sizeof(pair));
    return pair;
}

// Sum over p of dx^p (c[4p] + c[4p+1] dz + c[4p+2] dz dz + c[4p+3] dz dz dz),
// term by term from 0 in that order, two powers of dx at a time: every
// operation is the one the plain loop does, so the result has the same bits.
[[gnu::always_inline]] inline double EvaluateCell(const double* planar, const double* dx_powers,
                                                  double dz)
{
    const Pair d = {dz, dz};
    double terms[4];
    for (int half = 0; half < 2; ++half) {
        const double* c = planar + 2 * half;
        const Pair inner = LoadPair(c) + LoadPair(c + 4) * d + LoadPair(c + 8) * d * d +
                           LoadPair(c + 12) * d * d * d;
        const Pair term = LoadPair(dx_powers + 2 * half) * inner;
        terms[2 * half] = term[0];
        terms[2 * half + 1] = term[1];
    }
    double sum = 0.0;
    for (const double term : terms) sum += term;
    return sum;
}

uint64_t NextIdentity()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

struct Candidate {
    double distance;
    uint32_t pixel;
};

struct Nearest {
    bool found = false;
    Candidate best{0.0, 0};
    void Offer(double distance, uint32_t pixel)
    {
        if (!found || distance < best.distance)
            best = Candidate{distance, pixel};
        found = true;
    }
};

}  // namespace

LinearizationData::LinearizationData() : identity(NextIdentity())
{
    std::memset(&record, 0, sizeof(record));
}

void LinearizationData::FreeTables()
{
    identity = NextIdentity();
    x_storage = TableStorage();
    z_storage = TableStorage();
    for (LinearizationTable* table : {&record.x_table, &record.z_table})
        *table = LinearizationTable{};
}

int LinearizationData::ReadFromFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return LIN_CANNOT_OPEN;
    const std::streamoff size = in.tellg();
    if (size < 1)
        return LIN_READ_FAILED;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return LIN_NO_MEMORY_FOR_FILE;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size))
        return LIN_READ_FAILED;
    return ReadFromMemory(bytes.data(), bytes.size());
}

int LinearizationData::ReadFromMemory(const uint8_t* data, std::size_t size)
{
    record.serial_number = 0;
    record.x_table.loaded = 0;
    record.z_table.loaded = 0;
    record.geometry_loaded = 0;
    check_mode = false;
    identity = NextIdentity();
    if (data == nullptr || size <= HEADER_BYTES)
        return LIN_OK;
    if (std::strncmp(reinterpret_cast<const char*>(data), "LIN1DD", HEADER_BYTES) != 0)
        return LIN_BAD_MAGIC;
    return ReadRecords(data, size);
}

int LinearizationData::ReadRecords(const uint8_t* data, std::size_t size)
{
    std::size_t offset = HEADER_BYTES;
    while (offset < size) {
        if (size - offset < 8)
            return LIN_HEADER_PAST_END;
        const uint32_t type = LoadU32(data + offset);
        const std::size_t length = LoadU32(data + offset + 4);
        const uint8_t* payload = data + offset + 8;
        if (size - offset - 8 < length)
            return LIN_PAYLOAD_PAST_END;
        int result = LIN_OK;
        if (type == 1) {
            if (length != 8)
                return LIN_BAD_SERIAL;
            std::memcpy(&record.serial_number, payload, 8);
        } else if (type == 2) {
            if (length < GEOMETRY_BYTES)
                return LIN_SHORT_GEOMETRY;
            std::memcpy(&record.z_start, payload, GEOMETRY_BYTES);
            record.geometry_loaded = 1;
        } else if (type == 3) {
            result = ReadTables(payload, length);
        } else if (type == 7) {
            check_mode = true;
        }
        if (result != LIN_OK)
            return result;
        offset += 8 + length;
    }
    return LIN_OK;
}

int LinearizationData::ReadTables(const uint8_t* payload, std::size_t length)
{
    std::size_t x_bytes = 0;
    std::size_t z_bytes = 0;
    int result = ReadTable(payload, length, record.x_table, x_storage, x_bytes);
    if (result == LIN_OK)
        result = ReadTable(payload + x_bytes, length - x_bytes, record.z_table, z_storage, z_bytes);
    return result;
}

int LinearizationData::ReadTable(const uint8_t* data, std::size_t length,
                                 LinearizationTable& table, TableStorage& storage,
                                 std::size_t& consumed)
{
    if (length < 8)
        return LIN_SHORT_TABLE;
    const uint32_t nx = LoadU32(data);
    const uint32_t nz = LoadU32(data + 4);
    // A table needs one interval per axis; the sizes are checked by division,
    // so hostile counts cannot overflow into a small size.
    if (nx == 0 || nz == 0 || nx == UINT32_MAX || nz == UINT32_MAX)
        return LIN_SHORT_TABLE;
    const std::size_t columns = std::size_t{nx} + 1;
    const std::size_t rows = std::size_t{nz} + 1;
    std::size_t left = length - 8;
    if (columns > left / sizeof(double))
        return LIN_SHORT_TABLE;
    left -= columns * sizeof(double);
    if (rows > left / sizeof(double))
        return LIN_SHORT_TABLE;
    left -= rows * sizeof(double);
    const std::size_t cell_bytes = CELL_DOUBLES * sizeof(double);
    if (columns > left / cell_bytes / rows)
        return LIN_SHORT_TABLE;
    const std::size_t cells = columns * rows;
    const uint8_t* p = data + 8;
    try {
        LoadDoubles(p, columns, storage.column_knots);
        p += columns * sizeof(double);
        LoadDoubles(p, rows, storage.row_knots);
        p += rows * sizeof(double);
        LoadDoubles(p, cells * CELL_DOUBLES, storage.coefficients);
        MakePlanar(storage.coefficients, storage.planar);
        storage.row_pointers.resize(columns);
    } catch (const std::bad_alloc&) {
        storage = TableStorage();
        return LIN_NO_MEMORY_FOR_TABLE;
    }
    for (std::size_t i = 0; i < columns; ++i)
        storage.row_pointers[i] = storage.coefficients.data() + i * rows * CELL_DOUBLES;
    storage.rows_ascend = StrictlyAscending(storage.row_knots);
    table.nx = nx;
    table.nz = nz;
    table.column_knots = storage.column_knots.data();
    table.row_knots = storage.row_knots.data();
    table.row_pointers = storage.row_pointers.data();
    table.coefficients = storage.coefficients.data();
    table.loaded = 1;
    consumed = 8 + (columns + rows + cells * CELL_DOUBLES) * sizeof(double);
    return LIN_OK;
}

LinearizationData::ColumnPosition LinearizationData::PositionOf(const LinearizationTable& table,
                                                                const TableStorage& storage,
                                                                double x)
{
    ColumnPosition position;
    const double* columns = table.column_knots;
    if (!(x >= columns[0] && x <= columns[table.nx])) return position;
    const uint32_t i = FindInterval(columns, table.nx, x);
    const double dx = x - columns[i];
    position.cells = storage.planar.data() + std::size_t{i} * (table.nz + 1) * CELL_DOUBLES;
    position.dx_powers[0] = 1.0;
    position.dx_powers[1] = dx;
    position.dx_powers[2] = dx * dx;
    position.dx_powers[3] = dx * dx * dx;
    return position;
}

inline int LinearizationData::EvaluateAt(const LinearizationTable& table,
                                         const TableStorage& storage, const ColumnPosition& column,
                                         double z, uint32_t& row_hint, double& out)
{
    const double* rows = table.row_knots;
    if (column.cells == nullptr || !(z >= rows[0] && z <= rows[table.nz])) return 1;
    const uint32_t j = storage.rows_ascend ? FindIntervalFrom(rows, table.nz, z, row_hint)
                                           : FindInterval(rows, table.nz, z);
    out = EvaluateCell(column.cells + std::size_t{j} * CELL_DOUBLES, column.dx_powers, z - rows[j]);
    return 0;
}

int LinearizationData::EvaluateTable(const LinearizationTable& table, const TableStorage& storage,
                                     double x, double z, double& out)
{
    uint32_t row_hint = 0;
    return EvaluateAt(table, storage, PositionOf(table, storage, x), z, row_hint, out);
}

int LinearizationData::Linearize(double x, double z, double& x_mm, double& z_mm) const
{
    if (!HasTables()) {
        x_mm = 0.0;
        z_mm = 0.0;
        return -1;
    }
    const int result = EvaluateTable(record.x_table, x_storage, x, z, x_mm);
    if (result != 0)
        return result;
    return EvaluateTable(record.z_table, z_storage, x, z, z_mm);
}

void LinearizationData::Prepare(ColumnCache& cache, const EchoRows& rows) const
{
    if (cache.identity != identity || cache.x_offset != rows.x_offset ||
        cache.x_stride != rows.x_stride) {
        cache.identity = identity;
        cache.x_offset = rows.x_offset;
        cache.x_stride = rows.x_stride;
        cache.x_table.clear();
        cache.z_table.clear();
    }
    for (uint32_t c = static_cast<uint32_t>(cache.x_table.size()); c < rows.count; ++c) {
        const double x = rows.x_stride * c + rows.x_offset;
        cache.x_table.push_back(PositionOf(record.x_table, x_storage, x));
        cache.z_table.push_back(PositionOf(record.z_table, z_storage, x));
    }
}

void LinearizationData::LinearizeEcho(ColumnCache& cache, const EchoRows& rows, double* x_mm,
                                      double* z_mm) const
{
    if (!HasTables()) {
        std::fill_n(x_mm, rows.count, 0.0);
        std::fill_n(z_mm, rows.count, 0.0);
        return;
    }
    Prepare(cache, rows);
    uint32_t x_row_hint = 0;
    uint32_t z_row_hint = 0;
    for (uint32_t c = 0; c < rows.count; ++c) {
        x_mm[c] = 0.0;
        z_mm[c] = 0.0;
        if (rows.raw_z[c] == 0) continue;
        const double z = rows.z_stride * (rows.raw_z[c] * 0.03125) + rows.z_offset;
        if (EvaluateAt(record.x_table, x_storage, cache.x_table[c], z, x_row_hint, x_mm[c]) == 0)
            EvaluateAt(record.z_table, z_storage, cache.z_table[c], z, z_row_hint, z_mm[c]);
    }
}

double LinearizationData::GetPointOnTrapezEdgeCorrected(double x_start, double x_end,
                                                        double z_range, double dz)
{
    // A field of no depth has no slope; dividing by it would give inf or NaN.
    if (z_range == 0.0)
        return x_start * 0.5;
    return (x_end - x_start) * 0.5 / z_range * dz + x_start * 0.5;
}

int LinearizationData::ConvertMmToPix(double x1, double z1, double x2, double z2,
                                      PixelRegion& out) const
{
    const LinearizationRecord& r = record;
    const double x_min = std::min(x1, x2);
    const double x_max = std::max(x1, x2);
    const double z_lo = std::max(static_cast<double>(r.z_start), std::min(z1, z2));
    const double z_hi = std::min(static_cast<double>(r.z_start) + r.z_range, std::max(z1, z2));
    const double half_lo = GetPointOnTrapezEdgeCorrected(r.x_range_at_start, r.x_range_at_end,
                                                         r.z_range, z_lo - r.z_start);
    const double half_hi = GetPointOnTrapezEdgeCorrected(r.x_range_at_start, r.x_range_at_end,
                                                         r.z_range, z_hi - r.z_start);
    const uint32_t width_x = std::min(r.width_x, MAX_PIXELS_PER_AXIS);
    const uint32_t width_z = std::min(r.width_z, MAX_PIXELS_PER_AXIS);

    Nearest row_lo, row_hi;
    for (uint32_t row = 0; row < width_z; ++row) {
        double x_mm = 0.0, z_mm = 0.0;
        if (Linearize(r.width_x / 2, row, x_mm, z_mm) != 0)
            continue;
        row_lo.Offer(std::fabs(z_mm - z_lo), row);
        row_hi.Offer(std::fabs(z_mm - z_hi), row);
    }
    if (!row_lo.found)
        return -1;

    // Nearest columns to the left and right field edges along one row.
    const auto edges = [&](uint32_t row, double left_mm, double right_mm, Nearest& left,
                           Nearest& right) {
        for (uint32_t column = 0; column < width_x; ++column) {
            double x_mm = 0.0, z_mm = 0.0;
            if (Linearize(column, row, x_mm, z_mm) != 0)
                continue;
            left.Offer(std::fabs(x_mm - left_mm), column);
            right.Offer(std::fabs(x_mm - right_mm), column);
        }
        return left.found;
    };
    Nearest left_hi, right_hi, left_lo, right_lo;
    if (!edges(row_hi.best.pixel, std::max(-half_hi, x_min), std::min(half_hi, x_max), left_hi,
               right_hi))
        return -1;
    if (!edges(row_lo.best.pixel, std::max(-half_lo, x_min), std::min(half_lo, x_max), left_lo,
               right_lo))
        return -1;

    uint32_t left = std::max(left_hi.best.pixel, left_lo.best.pixel);
    uint32_t right = std::min(right_hi.best.pixel, right_lo.best.pixel);
    if (left > right) {
        left = std::min(left_hi.best.pixel, left_lo.best.pixel);
        right = std::max(right_hi.best.pixel, right_lo.best.pixel);
    }
    const int column_shift = r.width_x == 1280 ? 16 : 0;
    out.x_start = static_cast<int>(std::min(left, right)) + column_shift;
    out.x_end = static_cast<int>(std::max(left, right)) + column_shift;
    out.z_start = static_cast<int>(std::min(row_lo.best.pixel, row_hi.best.pixel)) - 12;
    out.z_end = static_cast<int>(std::max(row_lo.best.pixel, row_hi.best.pixel)) + 20;
    return 0;
}
