// A LIN1DD file from memory and from a file, then every linearization call
// at points taken from the input; a profile of them linearized as a whole
// must give, bit for bit, what each point gives alone.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "sensor_library/LinearizationData.h"

namespace {

void Linearize(const LinearizationData& lin, FuzzInput& points)
{
    double x_mm = 0;
    double z_mm = 0;
    for (int i = 0; i < 8; ++i) {
        const double x = points.Take<int16_t>() / 8.0;
        const double z = points.Take<int16_t>() / 8.0;
        lin.Linearize(x, z, x_mm, z_mm);
    }
    PixelRegion region;
    lin.ConvertMmToPix(points.Take<float>(), points.Take<float>(), points.Take<float>(),
                       points.Take<float>(), region);
    LinearizationData::GetPointOnTrapezEdgeCorrected(points.Take<float>(), points.Take<float>(),
                                                     points.Take<float>(), points.Take<float>());
}

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0 || (std::isnan(a) && std::isnan(b));
}

void LinearizeProfile(const LinearizationData& lin, FuzzInput& points)
{
    constexpr uint32_t COUNT = 27;  // three vectors of the widest target and a short one
    int32_t raw_z[COUNT];
    LinearizationData::EchoRows rows{points.Take<uint8_t>() * 1.0,
                                     points.Take<uint8_t>() % 4 + 1.0,
                                     points.Take<uint8_t>() * 1.0,
                                     points.Take<uint8_t>() % 4 + 1.0,
                                     raw_z,
                                     COUNT};
    for (int32_t& z : raw_z) z = points.Take<uint16_t>();
    double x_mm[COUNT];
    double z_mm[COUNT];
    LinearizationData::ColumnCache cache;
    lin.LinearizeEcho(cache, rows, x_mm, z_mm);
    for (uint32_t c = 0; c < COUNT; ++c) {
        double want_x = 0;
        double want_z = 0;
        if (raw_z[c] != 0)
            lin.Linearize(rows.x_stride * c + rows.x_offset,
                          rows.z_stride * (raw_z[c] * 0.03125) + rows.z_offset, want_x, want_z);
        if (!SameBits(want_x, x_mm[c]) || !SameBits(want_z, z_mm[c])) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The points come from the input's tail, so the file itself stays whole.
    const std::size_t tail = std::min<std::size_t>(size, 122);
    FuzzInput points(data + size - tail, tail);
    LinearizationData from_memory;
    from_memory.ReadFromMemory(data, size);
    Linearize(from_memory, points);
    LinearizeProfile(from_memory, points);

    static const std::string path = "/tmp/fuzz_lin_" + std::to_string(getpid()) + ".dat";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
        LinearizationData from_file;
        from_file.ReadFromFile(path);
        std::remove(path.c_str());
    }
    return 0;
}
