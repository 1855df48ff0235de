#include "sensor_library/LinearizationData.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <new>

#include "sensor_library/ColumnKernels.h"

namespace {

constexpr std::size_t HEADER_BYTES = 8;
using ColumnKernels::CELL_DOUBLES;
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

bool SameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool StrictlyAscending(const std::vector<double>& knots)
{
    return std::adjacent_find(knots.begin(), knots.end(),
                              [](double a, double b) { return !(a < b); }) == knots.end();
}

// Sum over p of dx^p (c[4p] + c[4p+1] dz + c[4p+2] dz dz + c[4p+3] dz dz dz),
// term by term from 0 in that order.
double EvaluateCell(const double* c, double dx, double dz)
{
    const double dx_powers[4] = {1.0, dx, dx * dx, dx * dx * dx};
    double sum = 0.0;
    for (int p = 0; p < 4; ++p)
        sum += dx_powers[p] * (c[4 * p] + c[4 * p + 1] * dz + c[4 * p + 2] * dz * dz +
                               c[4 * p + 3] * dz * dz * dz);
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
    knots_shared = false;
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
    knots_shared = result == LIN_OK && SameBits(x_storage.column_knots, z_storage.column_knots) &&
                   SameBits(x_storage.row_knots, z_storage.row_knots);
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
        storage.row_pointers.resize(columns);
        storage.knot_interval.resize(StrictlyAscending(storage.row_knots) ? rows : 0);
    } catch (const std::bad_alloc&) {
        // The table may point into what was just released.
        storage = TableStorage();
        table = LinearizationTable{};
        return LIN_NO_MEMORY_FOR_TABLE;
    }
    for (std::size_t i = 0; i < columns; ++i)
        storage.row_pointers[i] = storage.coefficients.data() + i * rows * CELL_DOUBLES;
    for (std::size_t k = 0; k < storage.knot_interval.size(); ++k)
        storage.knot_interval[k] =
            ColumnKernels::FindInterval(storage.row_knots.data(), nz, storage.row_knots[k]);
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
                                                                double x)
{
    ColumnPosition position;
    const double* columns = table.column_knots;
    if (!(x >= columns[0] && x <= columns[table.nx])) return position;
    const uint32_t i = ColumnKernels::FindInterval(columns, table.nx, x);
    position.first_cell = double(i) * (table.nz + 1);
    position.dx = x - columns[i];
    return position;
}

int LinearizationData::EvaluateTable(const LinearizationTable& table, double x, double z,
                                     double& out)
{
    const ColumnPosition column = PositionOf(table, x);
    const double* rows = table.row_knots;
    if (column.first_cell < 0 || !(z >= rows[0] && z <= rows[table.nz])) return 1;
    const uint32_t j = ColumnKernels::FindInterval(rows, table.nz, z);
    const std::size_t cell = static_cast<std::size_t>(column.first_cell) + j;
    out = EvaluateCell(table.coefficients + cell * CELL_DOUBLES, column.dx, z - rows[j]);
    return 0;
}

int LinearizationData::Linearize(double x, double z, double& x_mm, double& z_mm) const
{
    if (!HasTables()) {
        x_mm = 0.0;
        z_mm = 0.0;
        return -1;
    }
    const int result = EvaluateTable(record.x_table, x, z, x_mm);
    if (result != 0)
        return result;
    return EvaluateTable(record.z_table, x, z, z_mm);
}

void LinearizationData::ColumnCache::Columns::Place(uint32_t column, const ColumnPosition& at)
{
    first_cell[column] = at.first_cell;
    dx[column] = at.dx;
    dx2[column] = at.dx * at.dx;
    dx3[column] = at.dx * at.dx * at.dx;
}

void LinearizationData::ColumnCache::Columns::Resize(std::size_t count)
{
    for (std::vector<double>* values : {&first_cell, &dx, &dx2, &dx3}) values->resize(count);
}

ColumnKernels::TableView LinearizationData::ColumnCache::Columns::View(
    const LinearizationTable& table, const TableStorage& storage) const
{
    const uint32_t* knot_interval =
        storage.knot_interval.empty() ? nullptr : storage.knot_interval.data();
    return ColumnKernels::TableView{table.row_knots,
                                    table.nz,
                                    knot_interval,
                                    table.coefficients,
                                    {first_cell.data(), dx.data(), dx2.data(), dx3.data()}};
}

// Whole vectors of columns, so the kernels never read past what is built.
void LinearizationData::Prepare(ColumnCache& cache, const EchoRows& rows) const
{
    if (cache.identity != identity || cache.x_offset != rows.x_offset ||
        cache.x_stride != rows.x_stride) {
        cache.identity = identity;
        cache.x_offset = rows.x_offset;
        cache.x_stride = rows.x_stride;
        cache.built = 0;
    }
    const uint32_t needed = static_cast<uint32_t>(ColumnKernels::PaddedCount(rows.count));
    if (cache.built >= needed) return;
    cache.x_table.Resize(needed);
    cache.rows.resize(needed);
    cache.x_rounds.resize(needed);
    // With shared knots the kernels read the X table's columns and rounds for both.
    if (!knots_shared) {
        cache.z_table.Resize(needed);
        cache.z_rounds.resize(needed);
    }
    for (uint32_t c = cache.built; c < needed; ++c) {
        const double x = rows.x_stride * c + rows.x_offset;
        cache.x_table.Place(c, PositionOf(record.x_table, x));
        if (!knots_shared) cache.z_table.Place(c, PositionOf(record.z_table, x));
    }
    cache.built = needed;
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
    // With the same knots a column lies at the same place in both tables.
    const ColumnCache::Columns& z_columns = knots_shared ? cache.x_table : cache.z_table;
    ColumnKernels::LinearizeEcho(
        ColumnKernels::EchoJob{cache.x_table.View(record.x_table, x_storage),
                               z_columns.View(record.z_table, z_storage),
                               rows.z_offset,
                               rows.z_stride,
                               rows.raw_z,
                               rows.count,
                               knots_shared,
                               x_mm,
                               z_mm,
                               {cache.rows.data(), cache.x_rounds.data(), cache.z_rounds.data()}});
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
