// LinearizationData.h: a sensor's "LIN1DD" linearization data (serial number,
// pixel-to-millimetre tables, field geometry), its readers and the pixel /
// millimetre conversions built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sensor_library/ColumnKernels.h"

// One lookup table as the record shows it. The pointers lead into the
// LinearizationData that owns the record.
struct LinearizationTable {
    uint32_t loaded;
    uint32_t nx;  // intervals along the pixel columns
    uint32_t nz;  // intervals along the pixel rows
    uint32_t padding;
    double* column_knots;    // nx + 1
    double* row_knots;       // nz + 1
    double** row_pointers;   // nx + 1, each to its nz + 1 cells
    double* coefficients;    // (nx + 1) * (nz + 1) cells of 16
};

// The 152-byte record callers copy out (serial, two tables, geometry).
struct LinearizationRecord {
    uint64_t serial_number;
    LinearizationTable x_table;
    LinearizationTable z_table;
    uint32_t geometry_loaded;
    float z_start;           // mm
    float z_range;           // mm
    float x_range_at_start;  // mm, full field width at z_start
    float x_range_at_end;    // mm, full field width at z_start + z_range
    uint32_t geometry_unread_4;
    uint32_t width_x;        // pixel columns
    uint32_t width_z;        // pixel rows
    uint32_t geometry_unread_7_to_10[4];
};
static_assert(sizeof(LinearizationRecord) == 152, "the record is copied out whole");

// Pixel region of interest computed from a millimetre rectangle.
struct PixelRegion {
    int x_start = 0;
    int z_start = 0;
    int x_end = 0;
    int z_end = 0;
};

// Reader result codes.
enum : int {
    LIN_OK = 0,
    LIN_CANNOT_OPEN = -1,
    LIN_READ_FAILED = -2,
    LIN_NO_MEMORY_FOR_FILE = -3,
    LIN_BAD_MAGIC = -4,
    LIN_HEADER_PAST_END = -5,
    LIN_PAYLOAD_PAST_END = -6,
    LIN_BAD_SERIAL = 1,
    LIN_SHORT_GEOMETRY = 2,
    LIN_SHORT_TABLE = 3,
    LIN_NO_MEMORY_FOR_TABLE = 13,
};

// Owns the tables its record points into; neither copied nor moved, so the
// pointers stay valid for its life. Connections share it read-only once read.
//
// Threads: the readers on one thread before sharing; the const members from
// any thread at once.
class LinearizationData {
public:
    LinearizationData();
    LinearizationData(const LinearizationData&) = delete;
    LinearizationData& operator=(const LinearizationData&) = delete;

    int ReadFromMemory(const uint8_t* data, std::size_t size);
    int ReadFromFile(const std::string& path);
    // Releases the tables and clears both loaded flags.
    void FreeTables();

    const LinearizationRecord& Record() const { return record; }
    // A record of type 7 was met by the last read.
    bool CheckMode() const { return check_mode; }
    bool HasTables() const { return record.x_table.loaded != 0 && record.z_table.loaded != 0; }

    // Pixel (column x, row z) to millimetres: 0, 1 when outside the tables
    // (the failing output unchanged), -1 without tables (outputs 0).
    int Linearize(double x, double z, double& x_mm, double& z_mm) const;

    class ColumnCache;
    // Where the pixel rows of one echo of a profile lie: point c at column
    // x_offset + c * x_stride, row z_offset + z_stride * raw_z[c] / 32.
    struct EchoRows {
        double x_offset;
        double x_stride;
        double z_offset;
        double z_stride;
        const int32_t* raw_z;  // 1/32 pixel; 0 is no point
        uint32_t count;
    };
    // Every point of the echo as Linearize gives it, with 0 for a raw Z of 0
    // and for an output Linearize leaves unchanged. `cache` is rebuilt here
    // when it was built for other data or another region.
    void LinearizeEcho(ColumnCache& cache, const EchoRows& rows, double* x_mm, double* z_mm) const;

    // Millimetre rectangle to the pixel region the sensor can use: 0, or -1
    // when no pixel of the field linearizes.
    int ConvertMmToPix(double x1, double z1, double x2, double z2, PixelRegion& out) const;

    // Half the field width dz millimetres beyond its start.
    static double GetPointOnTrapezEdgeCorrected(double x_start, double x_end, double z_range,
                                                double dz);

private:
    struct TableStorage {
        std::vector<double> column_knots;
        std::vector<double> row_knots;
        std::vector<double*> row_pointers;
        std::vector<double> coefficients;
        // Only strictly ascending knots leave one interval per point off the
        // knots: then per row knot the interval the search gives it, so a
        // vector of points finds their intervals by comparison alone.
        std::vector<uint32_t> knot_interval;
    };
    struct ColumnPosition;

    // One table at pixel (x, z): 0, or 1 outside its knots (out unchanged).
    static int EvaluateTable(const LinearizationTable& table, double x, double z, double& out);
    static ColumnPosition PositionOf(const LinearizationTable& table, double x);
    void Prepare(ColumnCache& cache, const EchoRows& rows) const;

    int ReadRecords(const uint8_t* data, std::size_t size);
    int ReadTables(const uint8_t* payload, std::size_t length);
    static int ReadTable(const uint8_t* data, std::size_t length, LinearizationTable& table,
                         TableStorage& storage, std::size_t& consumed);

    LinearizationRecord record;
    TableStorage x_storage;
    TableStorage z_storage;
    bool check_mode = false;
    // Both tables have the same knots, bit for bit: a point lies in the same
    // cell of each.
    bool knots_shared = false;
    // New whenever the tables may have changed, so a cache never outlives
    // the tables it was built for, even at the same address.
    uint64_t identity = 0;
};

// Where one pixel column lies in one table.
struct LinearizationData::ColumnPosition {
    double first_cell = -1;  // i * (nz + 1) for column interval i; -1 outside the knots
    double dx = 0;           // offset into the interval
};

// A reader's positions of a profile's pixel columns in both tables: for a
// given column the table interval and the powers of the offset into it never
// change, so they are kept from scan to scan while the data and the region
// stay. With them the work space of the kernels, sized once. Owned by one
// reader; not shared between threads.
class LinearizationData::ColumnCache {
private:
    friend class LinearizationData;
    // One array per value, as the column kernels read them.
    struct Columns {
        std::vector<double> first_cell;
        std::vector<double> dx;
        std::vector<double> dx2;
        std::vector<double> dx3;
        void Place(uint32_t column, const ColumnPosition& at);
        void Resize(std::size_t count);
        ColumnKernels::TableView View(const LinearizationTable& table,
                                      const TableStorage& storage) const;
    };
    uint64_t identity = 0;
    double x_offset = 0;
    double x_stride = 0;
    uint32_t built = 0;  // columns placed, a whole number of vectors
    Columns x_table;
    Columns z_table;  // empty while the tables share their knots
    // The kernels' work space, as many entries as columns placed (z_rounds
    // none while the tables share their knots).
    std::vector<double> rows;
    std::vector<ColumnKernels::CellRound> x_rounds;
    std::vector<ColumnKernels::CellRound> z_rounds;
};
